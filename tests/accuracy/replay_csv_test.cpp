// Reading recordings for the replay tool: columns by name, clear errors that
// name the line and column, timestamps from t_s, and the CSV it writes.
#include "replay_csv.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "orientation_filter.h"

namespace {

using Replay::Error;

// Runs f, which must throw Error whose message contains every one of parts.
template <class F>
::testing::AssertionResult failsWith(F&& f, const std::vector<std::string>& parts) {
    try {
        f();
    } catch (const Error& e) {
        for (const std::string& p : parts)
            if (std::string(e.what()).find(p) == std::string::npos)
                return ::testing::AssertionFailure()
                       << "\"" << e.what() << "\" lacks \"" << p << "\"";
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "no Error thrown";
}

const char kHeader[] = "t_s,acc_x,acc_y,acc_z,gyr_x,gyr_y,gyr_z,mag_x,mag_y,mag_z\n";

Replay::Recording read(const std::string& text) {
    const Replay::Columns c = Replay::readColumns(text, "rec.csv", Replay::sensorColumns());
    return Replay::recordingFrom(c, "rec.csv");
}

TEST(ReplayCsv, FindsColumnsByNameAndIgnoresTheOthers) {
    const std::string text =
        "note, mag_z ,mag_y,mag_x,gyr_z,gyr_y,gyr_x,acc_z,acc_y,acc_x,t_s\r\n"
        "first,-40,0.5,30,0.3,0.2,0.1,9.81,-0.25,0.125,0.0035\r\n"
        "\r\n"
        "x,+1e1,nan,-inf,0,0,0,1,2,3,2.00005\n";
    const Replay::Recording r = read(text);
    ASSERT_EQ(r.samples.size(), 2u);
    EXPECT_EQ(r.seconds, (std::vector<double>{0.0035, 2.00005}));
    const SensorSample& s = r.samples[0];
    EXPECT_EQ(s.timestamp, 35u);
    EXPECT_EQ(s.acc[0], 0.125f);
    EXPECT_EQ(s.acc[1], -0.25f);
    EXPECT_EQ(s.acc[2], 9.81f);
    EXPECT_EQ(s.gyr[0], 0.1f);
    EXPECT_EQ(s.gyr[2], 0.3f);
    EXPECT_EQ(s.mag[0], 30.0f);
    EXPECT_EQ(s.mag[1], 0.5f);
    EXPECT_EQ(s.mag[2], -40.0f);
    // 2.00005 s is 20000.5 ticks: rounded. "nan" and "inf" are readings the
    // filter knows to skip, so they pass.
    EXPECT_EQ(r.samples[1].timestamp, 20000u);
    EXPECT_EQ(r.samples[1].mag[2], 10.0f);
    EXPECT_TRUE(std::isnan(r.samples[1].mag[1]));
    EXPECT_EQ(r.samples[1].mag[0], -INFINITY);
}

TEST(ReplayCsv, TimestampsWrapLikeTheDeviceClock) {
    // 2^32 ticks are 429496.7296 s.
    const Replay::Recording r = read(std::string(kHeader) +
                                     "429496.7295,0,0,9.81,0,0,0,30,0,-40\n"
                                     "429496.7296,0,0,9.81,0,0,0,30,0,-40\n"
                                     "429496.7331,0,0,9.81,0,0,0,30,0,-40\n");
    EXPECT_EQ(r.samples[0].timestamp, 4294967295u);
    EXPECT_EQ(r.samples[1].timestamp, 0u);
    EXPECT_EQ(r.samples[2].timestamp, 35u);
}

TEST(ReplayCsv, ErrorsNameTheFileLineAndColumn) {
    const std::string row = "0.1,0,0,9.81,0,0,0,30,0,-40\n";
    const struct {
        const char* name;
        std::string text;
        std::vector<std::string> parts;
    } cases[] = {
        {"empty file", "", {"rec.csv", "no header"}},
        {"blank file", "\n \n", {"rec.csv", "no header"}},
        {"missing column",
         "t_s,acc_x,acc_y,acc_z,gyr_x,gyr_y,gyr_z,mag_x,mag_y\n",
         {"rec.csv:1:", "missing column 'mag_z'"}},
        {"duplicated column",
         "t_s,acc_x,acc_y,acc_z,gyr_x,gyr_y,gyr_z,mag_x,mag_y,mag_z,acc_y\n",
         {"rec.csv:1:", "'acc_y' appears twice"}},
        {"malformed number",
         kHeader + row + "0.2,0,0,9.81,0,0.1x,0,30,0,-40\n",
         {"rec.csv:3:", "column 'gyr_y'", "malformed number '0.1x'"}},
        {"empty field",
         kHeader + row + row + "0.3,0,0,,0,0,0,30,0,-40\n",
         {"rec.csv:4:", "column 'acc_z'", "empty field"}},
        {"decimal comma",
         kHeader + std::string("0.1,0,0,9,81,0,0,0,30,0,-40\n"),
         {"rec.csv:2:", "11 fields, but the header has 10"}},
        {"short row", kHeader + std::string("0.1,0,0,9.81\n"), {"rec.csv:2:", "4 fields"}},
        {"out of range",
         kHeader + std::string("0.1,0,0,1e999,0,0,0,30,0,-40\n"),
         {"rec.csv:2:", "column 'acc_z'", "out of range"}},
        {"negative time",
         kHeader + row + "-0.1,0,0,9.81,0,0,0,30,0,-40\n",
         {"rec.csv:3:", "column 't_s'", "not negative"}},
        {"time not a number",
         kHeader + std::string("nan,0,0,9.81,0,0,0,30,0,-40\n"),
         {"rec.csv:2:", "column 't_s'", "finite"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(failsWith([&] { read(c.text); }, c.parts));
    }
    EXPECT_TRUE(failsWith([] { Replay::readFile("/nonexistent/rec.csv"); },
                          {"/nonexistent/rec.csv", "cannot open", "No such file"}));
}

TEST(ReplayCsv, OptionalColumnsMayBeAbsent) {
    const Replay::Columns c = Replay::readColumns("b,a\n1,2\n3,4\n", "x", {"a"}, {"c", "b"});
    ASSERT_EQ(c.values.size(), 3u);
    EXPECT_EQ(c.values[0], (std::vector<double>{2, 4}));
    EXPECT_TRUE(c.values[1].empty());
    EXPECT_EQ(c.values[2], (std::vector<double>{1, 3}));
    EXPECT_EQ(c.lines, (std::vector<std::size_t>{2, 3}));
}

// The tool's output is what the filter writes into the samples, row by row,
// in a form that reads back to the same floats.
TEST(ReplayCsv, WritesTheFiltersOrientation) {
    std::string text = kHeader;
    for (int k = 0; k < 50; ++k) {
        char row[160];
        std::snprintf(row, sizeof row, "%.4f,0.5,-1.2,9.7,0.3,-0.1,0.2,20,%d,-40\n", k * 0.0035,
                      k % 7);
        text += row;
    }
    Replay::Recording r = read(text);
    Replay::replay(r.samples);

    Quorvane::OrientationFilter direct;
    const Replay::Recording fresh = read(text);
    std::ostringstream out;
    Replay::writeOrientations(out, r);
    std::istringstream lines(out.str());
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "t_s,qw,qx,qy,qz");
    for (size_t k = 0; k < fresh.samples.size(); ++k) {
        SensorSample expected = fresh.samples[k];
        direct.update(&fresh.samples[k], &expected, 1.0);
        ASSERT_TRUE(std::getline(lines, line));
        double t;
        float q[4];
        ASSERT_EQ(std::sscanf(line.c_str(), "%lf,%f,%f,%f,%f", &t, &q[0], &q[1], &q[2], &q[3]), 5)
            << line;
        EXPECT_EQ(t, r.seconds[k]);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(q[i], expected.quat[i]) << "row " << k;
    }
    EXPECT_FALSE(std::getline(lines, line)) << "one row per sample";
    EXPECT_NE(r.samples.back().quat[0], 1.0f) << "past the warm-up the filter turns";
}

}  // namespace
