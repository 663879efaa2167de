// The orientation_replay command: options in any order, its output row by
// row as the rows come in, and its errors: what is printed, what is not, and
// the exit status.
#include "replay_command.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "orientation_filter.h"
#include "robust_orientation_filter.h"

namespace {

using Args = std::vector<std::string>;

struct Result {
    int status;
    std::string out, err;
};

Result run(const Args& args, const std::string& standardInput = "") {
    std::stringbuf in(standardInput, std::ios::in);
    std::ostringstream out, err;
    const int status = Replay::runCommand(args, in, out, err);
    return {status, out.str(), err.str()};
}

const char kHeader[] = "t_s,acc_x,acc_y,acc_z,gyr_x,gyr_y,gyr_z,mag_x,mag_y,mag_z";

std::string recording(int rows) {
    std::string text = std::string(kHeader) + "\n";
    for (int k = 0; k < rows; ++k) {
        char row[160];
        std::snprintf(row, sizeof row, "%.4f,0.5,-1.2,9.7,0.3,-0.1,0.2,20,%d,-40\n", k * 0.0035,
                      k % 7);
        text += row;
    }
    return text;
}

// A recording with a ground truth: the sensor at rest, level, facing north,
// whose true sensor-to-ENU quaternion is a turn of 90 degrees about z.
std::string scored(int rows, const std::string& truth = "0.7071068,0,0,0.7071068",
                   const char* movement = "1") {
    std::string text = std::string(kHeader) + ",gt_qw,gt_qx,gt_qy,gt_qz,movement\n";
    for (int k = 0; k < rows; ++k)
        text +=
            std::to_string(k * 0.01) + ",0,0,9.81,0,0,0,20,0,-40," + truth + "," + movement + "\n";
    return text;
}

class TempFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("replay_command_test." +
                std::to_string(::testing::UnitTest::GetInstance()->current_test_info()->line()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string file(const std::string& name, const std::string& contents) {
        const std::string path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary) << contents;
        return path;
    }
    std::filesystem::path dir_;
};

// The output is what the filter writes into the samples, row by row, in a
// form that reads back to the same floats.
template <class Filter>
void expectFilterOutput(const std::string& input, const std::string& output) {
    std::istringstream lines(output);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "t_s,qw,qx,qy,qz");
    Filter direct;
    std::istringstream rows(input);
    std::getline(rows, line);  // header
    int count = 0;
    float last = 1;
    while (std::getline(rows, line)) {
        double t;
        SensorSample s{};
        ASSERT_EQ(std::sscanf(line.c_str(), "%lf,%f,%f,%f,%f,%f,%f,%f,%f,%f", &t, &s.acc[0],
                              &s.acc[1], &s.acc[2], &s.gyr[0], &s.gyr[1], &s.gyr[2], &s.mag[0],
                              &s.mag[1], &s.mag[2]),
                  10);
        s.timestamp = static_cast<uint32_t>(std::nearbyint(t * 10000));
        SensorSample expected = s;
        direct.update(&s, &expected, 1.0);
        ASSERT_TRUE(std::getline(lines, line));
        double outT;
        float q[4];
        ASSERT_EQ(std::sscanf(line.c_str(), "%lf,%f,%f,%f,%f", &outT, &q[0], &q[1], &q[2], &q[3]),
                  5)
            << line;
        EXPECT_EQ(outT, t);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(q[i], expected.quat[i]) << "row " << count;
        last = q[0];
        ++count;
    }
    EXPECT_FALSE(std::getline(lines, line)) << "one row per sample";
    EXPECT_NE(last, 1.0f) << "past the warm-up the filter turns";
}

TEST(ReplayCommand, WritesTheFiltersOrientationWhateverTheOptionOrder) {
    const std::string input = recording(50);
    const Result standard = run({"-"}, input);
    ASSERT_EQ(standard.status, 0) << standard.err;
    expectFilterOutput<Quorvane::OrientationFilter>(input, standard.out);

    const Result robust = run({"--profile", "robust", "-"}, input);
    ASSERT_EQ(robust.status, 0) << robust.err;
    expectFilterOutput<Quorvane::RobustOrientationFilter>(input, robust.out);
    for (const Args& args : {Args{"-", "--profile", "robust"}, Args{"--profile=robust", "-"},
                             Args{"--profile", "robust", "--", "-"}}) {
        const Result r = run(args, input);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, robust.out) << args[0];
    }
    EXPECT_EQ(run({"-", "--profile", "default"}, input).out, standard.out);
}

// Rows go out before the command waits for more input: a recording arriving
// through a pipe is answered as it arrives.
TEST(ReplayCommand, RowsGoOutAsTheyAreRead) {
    class RowByRow : public std::streambuf {
      public:
        RowByRow(const std::string& text, const std::ostringstream& out) : out_(out) {
            std::istringstream lines(text);
            for (std::string line; std::getline(lines, line);) rows_.push_back(line + "\n");
        }
        std::vector<std::size_t> outputLinesSeen;  // at each request for more input

      protected:
        int_type underflow() override {
            const std::string o = out_.str();
            outputLinesSeen.push_back(
                static_cast<std::size_t>(std::count(o.begin(), o.end(), '\n')));
            if (next_ >= rows_.size()) return traits_type::eof();
            std::string& row = rows_[next_++];
            setg(row.data(), row.data(), row.data() + row.size());
            return traits_type::to_int_type(row[0]);
        }

      private:
        const std::ostringstream& out_;
        std::vector<std::string> rows_;
        std::size_t next_ = 0;
    };
    std::ostringstream out, err;
    RowByRow in(recording(20), out);
    ASSERT_EQ(Replay::runCommand({"-"}, in, out, err), 0) << err.str();
    // Asked for line k + 1 (k >= 2), the output holds its header and k - 1 rows.
    ASSERT_EQ(in.outputLinesSeen.size(), 22u);
    for (std::size_t k = 2; k < in.outputLinesSeen.size(); ++k)
        EXPECT_EQ(in.outputLinesSeen[k], k) << "asking for line " << k + 1;
}

TEST(ReplayCommand, UsageErrors) {
    const struct {
        Args args;
        const char* says;
    } cases[] = {
        {{}, "no input file"},
        {{"--profile"}, "--profile needs"},
        {{"--profile", "fast", "-"}, "not 'fast'"},
        {{"--profile", "robust", "--profile", "default", "-"}, "given twice"},
        {{"--bogus", "-"}, "unknown option '--bogus'"},
        {{"-", "--\x1b[31m"}, "unknown option '--\\x1B[31m'"},
        {{"a.csv", "b.csv"}, "one input file"},
        {{"--accuracy", "-", "-"}, "only once"},
        {{"--accuracy"}, "no input file"},
    };
    for (const auto& c : cases) {
        const Result r = run(c.args);
        EXPECT_EQ(r.status, 2) << c.says;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("Try 'orientation_replay --help'"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    const Result help = run({"-", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: orientation_replay"), std::string::npos);
}

TEST_F(TempFiles, AccuracyScoresEveryFileBeforePrintingAny) {
    const std::string good = file("good.csv", scored(40));
    const Result ok = run({"--accuracy", good, "--profile", "robust"});
    ASSERT_EQ(ok.status, 0) << ok.err;
    EXPECT_EQ(ok.out.rfind(good + ": total ", 0), 0u) << ok.out;
    EXPECT_NE(ok.out.find("over 40 samples"), std::string::npos) << ok.out;

    const struct {
        const char* name;
        std::string contents;
        const char* says;
    } bad[] = {
        {"nothing moves", scored(40, "0.7071068,0,0,0.7071068", "0"), "nothing to score"},
        {"truth unknown throughout", scored(40, "nan,nan,nan,nan"), "nothing to score"},
        {"no rows", scored(0), "nothing to score"},
        {"zero truth", scored(40, "0,0,0,0"), "its norm is 0"},
        {"truth twice too long", scored(40, "2,0,0,0"), "its norm is 2"},
        {"truth partly unknown", scored(40, "nan,0,0,1"), "unit quaternion"},
        {"truth infinite", scored(40, "inf,0,0,0"), "unit quaternion"},
    };
    for (const auto& c : bad) {
        SCOPED_TRACE(c.name);
        const std::string path = file("bad.csv", c.contents);
        // The good file comes first: its score must not be printed either.
        const Result r = run({"--accuracy", good, path});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(path), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
    const std::string zero = file("zero.csv", scored(40, "0,0,0,0"));
    EXPECT_NE(run({"--accuracy", zero}).err.find("zero.csv:2: columns gt_qw..gt_qz"),
              std::string::npos);
}

TEST_F(TempFiles, InputsThatCannotBeRead) {
    const std::string missing = (dir_ / "missing.csv").string();
    const struct {
        Args args;
        std::string says;
    } cases[] = {
        {{dir_.string()}, dir_.string() + ": is a directory"},
        {{"--accuracy", dir_.string()}, "is a directory"},
        {{missing}, missing + ": cannot open: No such file"},
        {{(dir_ / "a\x1b]0;x\x07.csv").string()}, "a\\x1B]0;x\\x07.csv': cannot open"},
    };
    for (const auto& c : cases) {
        const Result r = run(c.args);
        EXPECT_EQ(r.status, 1) << c.says;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

// A faulty row stops the run: the rows before it are out, nothing after it.
TEST(ReplayCommand, FaultyRowStopsTheOutputThere) {
    const std::string input =
        recording(10) + "0.5,0,0,x,0,0,0,20,0,-40\n" + recording(3).substr(sizeof kHeader);
    const Result r = run({"-"}, input);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("standard input:12: column 'acc_z': malformed number 'x'"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 11);
}

}  // namespace
