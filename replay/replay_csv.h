// Replaying recordings through the host orientation filter: reading the
// sensor columns of a CSV recording row by row, running a fresh filter over
// them and writing the orientation as CSV.
//
// A recording is a CSV file with one header line naming the columns; columns
// are found by name and the others are ignored. Fields are numbers as C
// writes them ("nan" and "inf" included, the filter skips such readings);
// blank lines are ignored. Anything else stops the reading with an Error that
// names the file, the line and the column.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include "host_filter.h"
#include "line_reader.h"
#include "quorvane.h"
#include "replay_error.h"

namespace Replay {

// Longest line of a recording, in bytes: far more than any row of numbers,
// and the most the reader ever holds.
constexpr std::size_t kMaxLineBytes = 1 << 20;

// Numeric columns picked by name from a CSV text, one row at a time.
class CsvReader {
  public:
    // Reads the header: the columns named in required must be in it, those in
    // optional may be absent. source names the text in messages. Throws Error
    // for a text without a header line and a missing or duplicated column.
    CsvReader(std::streambuf& in, const std::string& source,
              const std::vector<std::string>& required,
              const std::vector<std::string>& optional = {});

    // Reads the next row; false at the end of the text. Throws Error for a
    // row whose field count differs from the header's, a field of a requested
    // column that is not a number, and a read error.
    bool next();

    // The row's value of the column requested at index (required ones first,
    // then the optional ones); nan for an absent optional column.
    double operator[](std::size_t index) const { return values_[index]; }
    bool has(std::size_t index) const { return fieldOf_[index] >= 0; }

    // Number of the current row's line, from 1, and "source:line: " for messages.
    std::uint64_t line() const { return lines_.lineNumber(); }
    std::string where() const;

    // See LineReader::beforeRead.
    void beforeRead(std::function<void()> callback) { lines_.beforeRead(std::move(callback)); }

  private:
    LineReader lines_;
    std::string source_;
    std::vector<std::string> names_;
    std::vector<long> fieldOf_;  // field index of every requested column, -1 if absent
    std::size_t fieldCount_ = 0;
    std::vector<std::string_view> fields_;
    std::vector<double> values_;
};

// The columns a recording must have, in this order: t_s (s), acc_x, acc_y,
// acc_z (m/s^2), gyr_x, gyr_y, gyr_z (rad/s), mag_x, mag_y, mag_z (any unit).
const std::vector<std::string>& sensorColumns();

// The sample of the current row of a reader whose first ten columns are
// sensorColumns(); quat is zero. The device timestamp is t_s in 100 us ticks,
// rounded, modulo 2^32 like the device clock. Throws Error naming the line
// when t_s is negative or not finite.
SensorSample sensorSample(const CsvReader& row);

// The whole file as text; throws Error naming the file and the reason.
std::string readFile(const std::string& path);

// Runs one fresh host filter of the profile over the samples in order
// (process-noise gain 1, jitter reduction off) and stores its Q_SW into each
// sample's quat.
void replay(std::vector<SensorSample>& samples,
            Quorvane::FilterProfile profile = Quorvane::StandardProfile);

// The tool's output: the header "t_s,qw,qx,qy,qz", then per sample t_s as
// read and the quaternion in the shortest form that reads back to the same
// float. Rows are gathered and handed to the stream in pieces.
class OrientationWriter {
  public:
    explicit OrientationWriter(std::ostream& out);
    void write(double seconds, const SensorSample& sample);
    // Hands the gathered rows to the stream and flushes it; throws Error when
    // the stream fails.
    void flush();

  private:
    std::ostream& out_;
    std::string buffer_;
};

}  // namespace Replay
