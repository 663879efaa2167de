// Replaying recordings through the host orientation filter: reading the
// sensor columns of a CSV recording, running a fresh filter over them and
// writing the orientation as CSV.
//
// A recording is a CSV file with one header line naming the columns; columns
// are found by name and the others are ignored. Fields are numbers as C
// writes them ("nan" and "inf" included, the filter skips such readings);
// blank lines are ignored. Anything else stops the reading with an Error that
// names the file, the line and the column.
#pragma once

#include <cstddef>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "host_filter.h"
#include "quorvane.h"

namespace Replay {

// A recording that cannot be read; the message names the file and, where
// there is one, the line and the column.
class Error : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Numeric columns picked from a CSV text by name.
struct Columns {
    // One vector per requested name, in the order requested; an optional
    // column that the header lacks gives an empty vector.
    std::vector<std::vector<double>> values;
    // 1-based line number of every row, for messages about the rows.
    std::vector<std::size_t> lines;
    std::size_t rows() const { return lines.size(); }
};

// Reads the columns named in required (each must be in the header) and in
// optional (may be absent) from text. source names the text in messages.
// Throws Error for a missing or duplicated column, a row with fewer fields
// than the header and a field of a requested column that is not a number.
Columns readColumns(const std::string& text, const std::string& source,
                    const std::vector<std::string>& required,
                    const std::vector<std::string>& optional = {});

// The whole file as text; throws Error naming the file and the reason.
std::string readFile(const std::string& path);

// The columns a recording must have, in this order: t_s (s), acc_x, acc_y,
// acc_z (m/s^2), gyr_x, gyr_y, gyr_z (rad/s), mag_x, mag_y, mag_z (any unit).
const std::vector<std::string>& sensorColumns();

struct Recording {
    std::vector<double> seconds;        // t_s as read, s
    std::vector<SensorSample> samples;  // quat zero until replay() fills it
};

// Builds the samples from columns whose first ten are sensorColumns(). The
// device timestamp is t_s in 100 us ticks, rounded, modulo 2^32 like the
// device clock. Throws Error naming the line when t_s is negative or not
// finite.
Recording recordingFrom(const Columns& columns, const std::string& source);

// Runs one fresh host filter of the profile over the samples in order
// (process-noise gain 1, jitter reduction off) and stores its Q_SW into each
// sample's quat.
void replay(std::vector<SensorSample>& samples,
            Quorvane::FilterProfile profile = Quorvane::StandardProfile);

// Writes the header "t_s,qw,qx,qy,qz" and one row per sample: t_s as read,
// then the quaternion in the shortest form that reads back to the same float.
void writeOrientations(std::ostream& out, const Recording& recording);

}  // namespace Replay
