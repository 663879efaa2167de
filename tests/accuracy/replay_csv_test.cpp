// Reading recordings for the replay tool: columns by name, row by row in
// bounded memory, clear errors that name the line and column and quote no
// more than a safe excerpt, timestamps from t_s, and the CSV it writes.
#include "replay_csv.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "line_reader.h"
#include "orientation_filter.h"
#include "text_excerpt.h"

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

// Hands out a text a few bytes per read, as a pipe does, then either ends or
// fails the way a file buffer reports a read error: by throwing.
class TrickleBuf : public std::streambuf {
  public:
    explicit TrickleBuf(std::string text, std::size_t piece = 1, bool failAtEnd = false)
        : text_(std::move(text)), piece_(piece), failAtEnd_(failAtEnd) {}
    std::size_t handedOut() const { return at_; }

  protected:
    int_type underflow() override {
        if (at_ >= text_.size()) {
            if (failAtEnd_) throw std::ios_base::failure("simulated read error");
            return traits_type::eof();
        }
        const std::size_t n = std::min(piece_, text_.size() - at_);
        char* p = text_.data() + at_;
        setg(p, p, p + n);
        at_ += n;
        return traits_type::to_int_type(*p);
    }

  private:
    std::string text_;
    std::size_t piece_;
    bool failAtEnd_;
    std::size_t at_ = 0;
};

// Endless input of one byte, like /dev/zero; counts what it hands out.
class EndlessBuf : public std::streambuf {
  public:
    explicit EndlessBuf(char c) : block_(1 << 16, c) {}
    std::size_t handedOut() const { return count_; }

  protected:
    int_type underflow() override {
        setg(block_.data(), block_.data(), block_.data() + block_.size());
        count_ += block_.size();
        return traits_type::to_int_type(block_[0]);
    }

  private:
    std::string block_;
    std::size_t count_ = 0;
};

const char kHeader[] = "t_s,acc_x,acc_y,acc_z,gyr_x,gyr_y,gyr_z,mag_x,mag_y,mag_z\n";

struct Read {
    std::vector<double> seconds;
    std::vector<SensorSample> samples;
};

Read readSensors(std::streambuf& in) {
    Replay::CsvReader row(in, "rec.csv", Replay::sensorColumns());
    Read r;
    while (row.next()) {
        r.seconds.push_back(row[0]);
        r.samples.push_back(Replay::sensorSample(row));
    }
    return r;
}

Read readSensors(const std::string& text) {
    std::stringbuf in(text, std::ios::in);
    return readSensors(in);
}

TEST(ReplayCsv, FindsColumnsByNameAndIgnoresTheOthers) {
    const std::string text =
        "note, mag_z ,mag_y,mag_x,gyr_z,gyr_y,gyr_x,acc_z,acc_y,acc_x,t_s\r\n"
        "first,-40,0.5,30,0.3,0.2,0.1,9.81,-0.25,0.125,0.0035\r\n"
        "\r\n"
        "x,+1e1,nan,-inf,0,0,0,1,2,3,2.00005";  // the last line may lack its break
    const Read r = readSensors(text);
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

    // The same text arriving a byte or a few at a time reads the same.
    for (std::size_t piece : {1, 3, 7}) {
        TrickleBuf trickle(text, piece);
        const Read t = readSensors(trickle);
        EXPECT_EQ(t.seconds, r.seconds) << piece;
    }
}

TEST(ReplayCsv, TimestampsWrapLikeTheDeviceClock) {
    // 2^32 ticks are 429496.7296 s.
    const Read r = readSensors(std::string(kHeader) +
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
        {"terminal escape in a field",
         kHeader + std::string("0.1,0,0,9.81,\x1b[2J\x07,0,0,30,0,-40\n"),
         {"rec.csv:2:", "column 'gyr_x'", "'\\x1B[2J\\x07'"}},
        {"long header line",
         std::string(Replay::kMaxLineBytes + 1, 'a') + "\n" + row,
         {"rec.csv:1:", "line longer than 1048576 bytes"}},
        {"long row",
         kHeader + row + std::string(Replay::kMaxLineBytes + 1, '1') + "\n",
         {"rec.csv:3:", "line longer than"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(failsWith([&] { readSensors(c.text); }, c.parts));
    }
    EXPECT_TRUE(failsWith([] { Replay::readFile("/nonexistent/rec.csv"); },
                          {"/nonexistent/rec.csv", "cannot open", "No such file"}));
}

// A message quotes a short excerpt of a huge field, and nothing in it can
// reach the terminal as a control sequence.
TEST(ReplayCsv, MessagesQuoteAShortEscapedExcerpt) {
    std::string field(500000, '7');
    field[3] = '\x1b';
    const std::string text = kHeader + std::string("0.1,0,0,") + field + ",0,0,0,30,0,-40\n";
    try {
        readSensors(text);
        FAIL() << "accepted a malformed field";
    } catch (const Error& e) {
        const std::string message = e.what();
        EXPECT_LT(message.size(), 160u) << message;
        EXPECT_NE(message.find("'777\\x1B777"), std::string::npos) << message;
        EXPECT_NE(message.find("(500000 bytes)"), std::string::npos) << message;
        for (const char c : message) EXPECT_GE(static_cast<unsigned char>(c), 0x20) << message;
    }
    EXPECT_EQ(Replay::excerpt("it's \\ fine"), "'it\\x27s \\x5C fine'");
    EXPECT_EQ(Replay::printable("/data/run 1.csv"), "/data/run 1.csv");
    EXPECT_EQ(Replay::printable("run\n1.csv"), "'run\\x0A1.csv'");
}

// An endless input without a line break (/dev/zero) is refused after about
// one line's bound, not read on until memory runs out.
TEST(ReplayCsv, EndlessLineFailsAfterTheLineBound) {
    for (char c : {'\0', 'x'}) {
        EndlessBuf endless(c);
        EXPECT_TRUE(failsWith([&] { readSensors(endless); }, {"rec.csv:1:", "line longer"}));
        EXPECT_LT(endless.handedOut(), Replay::kMaxLineBytes + (1u << 17));
    }
}

// A read error is an error, never the end of a shorter recording.
TEST(ReplayCsv, ReadErrorIsNotTheEnd) {
    const std::string text = kHeader + std::string("0.1,0,0,9.81,0,0,0,30,0,-40\n");
    TrickleBuf failing(text, 5, true);
    EXPECT_TRUE(failsWith([&] { readSensors(failing); }, {"rec.csv", "read error after line 2"}));
}

TEST(ReplayCsv, LineBoundCountsNeitherLineBreak) {
    const struct {
        std::string text;
        std::vector<std::string> lines;  // empty: too long
    } cases[] = {
        {"abcd\nabcd", {"abcd", "abcd"}},
        {"abcd\r\nab\r\n", {"abcd", "ab"}},
        {"abcd\r", {"abcd"}},
        {"abcde\n", {}},
        {"ab\nabcde", {}},
    };
    for (const auto& c : cases) {
        for (std::size_t piece : {1, 2, 100}) {
            SCOPED_TRACE(c.text + " by " + std::to_string(piece));
            TrickleBuf in(c.text, piece);
            Replay::LineReader reader(in, "t", 4);
            std::vector<std::string> lines;
            try {
                std::string_view line;
                while (reader.next(line)) lines.emplace_back(line);
                EXPECT_EQ(lines, c.lines);
            } catch (const Error& e) {
                EXPECT_TRUE(c.lines.empty()) << e.what();
            }
        }
    }
}

TEST(ReplayCsv, OptionalColumnsMayBeAbsent) {
    std::stringbuf in("b,a\n1,2\n3,4\n", std::ios::in);
    Replay::CsvReader row(in, "x", {"a"}, {"c", "b"});
    std::vector<double> a, b;
    std::vector<std::uint64_t> lines;
    while (row.next()) {
        EXPECT_FALSE(row.has(1));
        EXPECT_TRUE(std::isnan(row[1]));
        a.push_back(row[0]);
        b.push_back(row[2]);
        lines.push_back(row.line());
    }
    EXPECT_EQ(a, (std::vector<double>{2, 4}));
    EXPECT_EQ(b, (std::vector<double>{1, 3}));
    EXPECT_EQ(lines, (std::vector<std::uint64_t>{2, 3}));
}

}  // namespace
