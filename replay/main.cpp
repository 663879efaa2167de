// orientation_replay: runs the host orientation filter over a recording.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "accuracy.h"
#include "replay_csv.h"

namespace {

const char kUsage[] =
    R"(Usage: orientation_replay [--profile default|robust] FILE
       orientation_replay [--profile default|robust] --accuracy FILE...
       orientation_replay --help

Runs the tracker's host orientation filter over a recording, exactly as the
library runs it on a live tracker (a fresh filter, jitter reduction off), and
writes the orientation it would put into every sample.

Input: a CSV file (FILE, or - for standard input) with one header line. The
columns are found by name, in any order; other columns are ignored:
  t_s                   time in seconds; it becomes the device timestamp in
                        100 us ticks (rounded, wrapping at 2^32 like the clock)
  acc_x, acc_y, acc_z   accelerometer, m/s^2 (specific force: +9.81 upwards at rest)
  gyr_x, gyr_y, gyr_z   gyroscope, rad/s
  mag_x, mag_y, mag_z   magnetometer, any unit
Fields are numbers ("nan" and "inf" are accepted; the filter skips such
readings). Blank lines are ignored.

Output (standard output): CSV with the header t_s,qw,qx,qy,qz and one row per
input row: t_s as read and the quaternion Q_SW (w, x, y, z), which maps world
vectors into the sensor frame; the world has x towards magnetic north, y west
and z up. The first 5 rows are the identity while the filter warms up.

--profile default|robust
  The host filter to run: default (the tracker's standard filter, also when
  the option is absent) or robust (the opt-in filter profile 1: gyroscope
  bias estimation, motion-robust inclination, heading-only magnetometer
  correction with magnetic disturbance rejection).

--accuracy FILE...
  For recordings that also carry a ground truth: columns gt_qw, gt_qx, gt_qy,
  gt_qz (a unit quaternion mapping sensor vectors into an East-North-Up world,
  nan where unknown) and optionally movement (1 = moving). Prints, per file,
  the RMSE in degrees of the total, heading and inclination error over the
  moving samples with a known truth, measured as defined for the BROAD
  benchmark: D. Laidig, M. Caruso, A. Cereatti, T. Seel, "BROAD - A Benchmark
  for Robust Inertial Orientation Estimation", Data 6(7):72, 2021,
  doi:10.3390/data6070072 (data licence CC BY 4.0).

Errors: a file that cannot be read, a missing or duplicated column, a row
whose field count differs from the header, a malformed number or a negative
time stop the run with a message naming the file, line and column, exit
status 1, and no output at all. Usage errors exit with status 2.
)";

std::string readInput(const std::string& path) {
    if (path != "-") return Replay::readFile(path);
    std::string text(std::istreambuf_iterator<char>(std::cin), {});
    if (std::cin.bad()) throw Replay::Error("standard input: read error");
    return text;
}

int usageError(const std::string& message) {
    std::cerr << "orientation_replay: " << message << "\n"
              << "Try 'orientation_replay --help'.\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << kUsage;
        return 0;
    }
    Quorvane::FilterProfile profile = Quorvane::StandardProfile;
    if (!args.empty() && args[0] == "--profile") {
        if (args.size() < 2) return usageError("--profile needs default or robust");
        if (args[1] == "robust")
            profile = Quorvane::RobustProfile;
        else if (args[1] != "default")
            return usageError("unknown profile '" + args[1] + "'");
        args.erase(args.begin(), args.begin() + 2);
    }
    const bool accuracy = !args.empty() && args[0] == "--accuracy";
    if (accuracy) args.erase(args.begin());
    for (const std::string& a : args)
        if (a.size() > 1 && a[0] == '-') return usageError("unknown option '" + a + "'");
    if (args.empty()) return usageError("no input file");
    if (!accuracy && args.size() > 1) return usageError("one input file, please");

    try {
        if (accuracy) {
            for (const std::string& path : args)
                std::cout << path << ": "
                          << Replay::describe(Replay::scoreRecording(
                                 readInput(path), path == "-" ? "stdin" : path, profile))
                          << "\n";
        } else {
            const std::string source = args[0] == "-" ? "standard input" : args[0];
            const Replay::Columns columns =
                Replay::readColumns(readInput(args[0]), source, Replay::sensorColumns());
            Replay::Recording recording = Replay::recordingFrom(columns, source);
            Replay::replay(recording.samples, profile);
            Replay::writeOrientations(std::cout, recording);
        }
        std::cout.flush();
        if (!std::cout) {
            std::cerr << "orientation_replay: cannot write the output: " << std::strerror(errno)
                      << "\n";
            return 1;
        }
    } catch (const std::exception& e) {
        std::cerr << "orientation_replay: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
