#include "replay_command.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <utility>

#include "accuracy.h"
#include "host_filter.h"
#include "replay_csv.h"
#include "text_excerpt.h"

namespace Replay {

const char kUsage[] =
    R"(Usage: orientation_replay [--profile default|robust] FILE
       orientation_replay [--profile default|robust] --accuracy FILE...
       orientation_replay --help

Runs the tracker's host orientation filter over a recording, exactly as the
library runs it on a live tracker (a fresh filter, jitter reduction off), and
writes the orientation it would put into every sample. Options and files may
come in any order; after --, every argument is a file.

Input: a CSV file (FILE, or - for standard input) with one header line. The
columns are found by name, in any order; other columns are ignored:
  t_s                   time in seconds; it becomes the device timestamp in
                        100 us ticks (rounded, wrapping at 2^32 like the clock)
  acc_x, acc_y, acc_z   accelerometer, m/s^2 (specific force: +9.81 upwards at rest)
  gyr_x, gyr_y, gyr_z   gyroscope, rad/s
  mag_x, mag_y, mag_z   magnetometer, any unit
Fields are numbers ("nan" and "inf" are accepted; the filter skips such
readings). Blank lines are ignored. A line may be up to 1 MiB long. The input
is read row by row, so a recording of any size takes little memory.

Output (standard output): CSV with the header t_s,qw,qx,qy,qz and one row per
input row, written as the rows are read: t_s as read and the quaternion Q_SW
(w, x, y, z), which maps world vectors into the sensor frame; the world has x
towards magnetic north, y west and z up. The first 5 rows are the identity
while the filter warms up.

--profile default|robust
  The host filter to run: default (the tracker's standard filter, also when
  the option is absent) or robust (the opt-in filter profile 1: gyroscope
  bias estimation, motion-robust inclination, heading-only magnetometer
  correction with magnetic disturbance rejection).

--accuracy FILE...
  For recordings that also carry a ground truth: columns gt_qw, gt_qx, gt_qy,
  gt_qz (a unit quaternion mapping sensor vectors into an East-North-Up world,
  nan in all four where unknown) and optionally movement (1 = moving). Prints,
  per file, the RMSE in degrees of the total, heading and inclination error
  over the moving samples with a known truth, measured as defined for the BROAD
  benchmark: D. Laidig, M. Caruso, A. Cereatti, T. Seel, "BROAD - A Benchmark
  for Robust Inertial Orientation Estimation", Data 6(7):72, 2021,
  doi:10.3390/data6070072 (data licence CC BY 4.0). Every file is scored
  before the first line is printed. A truth that is not a unit quaternion,
  and a file without a single moving sample with a known truth, are errors.

Errors: a file that cannot be opened or read (a directory, a read error), a
missing or duplicated column, a line longer than 1 MiB, a row whose field count
differs from the header, a malformed number or a negative time stop the run
with a message naming the file, line and column, and exit status 1. The rows
before the faulty one have been written by then; nothing after it is. With
--accuracy nothing is printed at all. Usage errors exit with status 2.
)";

namespace {

class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct Invocation {
    bool help = false;
    bool accuracy = false;
    Quorvane::FilterProfile profile = Quorvane::StandardProfile;
    std::vector<std::string> files;
};

Quorvane::FilterProfile profileNamed(const std::string& name) {
    if (name == "default") return Quorvane::StandardProfile;
    if (name == "robust") return Quorvane::RobustProfile;
    throw UsageError("--profile expects default or robust, not " + excerpt(name));
}

Invocation parseArguments(const std::vector<std::string>& args) {
    Invocation result;
    bool profileGiven = false;
    bool options = true;  // until --
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!options || arg == "-" || arg.empty() || arg[0] != '-') {
            result.files.push_back(arg);
        } else if (arg == "--") {
            options = false;
        } else if (arg == "--help" || arg == "-h") {
            result.help = true;
        } else if (arg == "--accuracy") {
            result.accuracy = true;
        } else if (arg == "--profile" || arg.rfind("--profile=", 0) == 0) {
            if (profileGiven) throw UsageError("--profile given twice");
            profileGiven = true;
            if (arg == "--profile") {
                if (i + 1 >= args.size()) throw UsageError("--profile needs default or robust");
                result.profile = profileNamed(args[++i]);
            } else {
                result.profile = profileNamed(arg.substr(sizeof "--profile=" - 1));
            }
        } else {
            throw UsageError("unknown option " + excerpt(arg));
        }
    }
    if (result.help) return result;
    if (result.files.empty()) throw UsageError("no input file");
    if (!result.accuracy && result.files.size() > 1)
        throw UsageError("one input file, or --accuracy for several");
    std::size_t standardInputs = 0;
    for (const std::string& f : result.files) standardInputs += f == "-";
    if (standardInputs > 1) throw UsageError("standard input (-) can be read only once");
    return result;
}

// The input named on the command line: standard input for "-", else a file.
class Input {
  public:
    Input(const std::string& path, std::streambuf& standardInput)
        : source_(path == "-" ? "standard input" : printable(path)) {
        if (path == "-") {
            buffer_ = &standardInput;
            return;
        }
        std::error_code ignored;
        if (std::filesystem::is_directory(path, ignored))
            throw Error(source_ + ": is a directory, not a recording");
        errno = 0;
        if (!file_.open(path, std::ios::in | std::ios::binary))
            throw Error(source_ + ": cannot open" +
                        (errno != 0 ? std::string(": ") + std::strerror(errno) : std::string()));
        buffer_ = &file_;
    }
    std::streambuf& buffer() { return *buffer_; }
    const std::string& source() const { return source_; }

  private:
    std::string source_;
    std::filebuf file_;
    std::streambuf* buffer_ = nullptr;
};

// Replays one recording, writing every row as it is computed.
void replayToOutput(Input& input, Quorvane::FilterProfile profile, std::ostream& out) {
    CsvReader row(input.buffer(), input.source(), sensorColumns());
    OrientationWriter writer(out);
    // Rows computed so far go out before the reader waits for more input, so
    // a recording arriving through a pipe is answered as it arrives.
    row.beforeRead([&] { writer.flush(); });
    Quorvane::HostFilter filter(profile);
    try {
        while (row.next()) {
            SensorSample sample = sensorSample(row);
            const SensorSample reading = sample;
            filter.update(&reading, &sample, 1.0);
            writer.write(row[0], sample);
        }
    } catch (const Error&) {
        // The rows before a faulty one are good: they go out, the error after.
        try {
            writer.flush();
        } catch (const Error&) {
            // The faulty row is the error to report, not a failing output.
        }
        throw;
    }
    writer.flush();
}

void printScores(const Invocation& call, std::streambuf& standardInput, std::ostream& out) {
    std::vector<std::pair<std::string, Rmse>> scores;
    for (const std::string& path : call.files) {
        Input input(path, standardInput);
        scores.emplace_back(path == "-" ? "-" : input.source(),
                            scoreRecording(input.buffer(), input.source(), call.profile));
    }
    for (const auto& [name, rmse] : scores) out << name << ": " << describe(rmse) << "\n";
    out.flush();
    if (!out) throw Error(std::string("cannot write the output: ") + std::strerror(errno));
}

}  // namespace

int runCommand(const std::vector<std::string>& args, std::streambuf& standardInput,
               std::ostream& out, std::ostream& err) {
    Invocation call;
    try {
        call = parseArguments(args);
    } catch (const UsageError& e) {
        err << "orientation_replay: " << e.what() << "\n"
            << "Try 'orientation_replay --help'.\n";
        return 2;
    }
    if (call.help) {
        out << kUsage;
        out.flush();
        return out ? 0 : 1;
    }
    try {
        if (call.accuracy) {
            printScores(call, standardInput, out);
        } else {
            Input input(call.files[0], standardInput);
            replayToOutput(input, call.profile, out);
        }
    } catch (const std::exception& e) {
        err << "orientation_replay: " << e.what() << "\n";
        return 1;
    }
    return 0;
}

}  // namespace Replay
