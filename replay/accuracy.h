// Orientation error against a ground truth, as the BROAD benchmark measures
// it (D. Laidig, M. Caruso, A. Cereatti, T. Seel, "BROAD - A Benchmark for
// Robust Inertial Orientation Estimation", Data 6(7):72, 2021,
// doi:10.3390/data6070072; data licence CC BY 4.0).
//
// Quaternions are (w, x, y, z), Hamilton product. The benchmark's quaternions
// map sensor vectors into an East-North-Up world; the filter's Q_SW maps
// world vectors (x north, y west, z up) into the sensor frame.
#pragma once

#include <cstddef>
#include <streambuf>
#include <string>
#include <vector>

#include "quaternion.h"
#include "replay_csv.h"

namespace Replay {

using Quat = Filtering::Quatd;

// Q_SW in the benchmark's convention, sensor to East-North-Up:
//   q_ENU = [1/sqrt(2), 0, 0, 1/sqrt(2)] (x) conj(Q_SW)
Quat enuFromSensorWorld(const Quat& qSW);

// Angles between an estimate and the truth, both sensor-to-ENU, in rad.
struct OrientationError {
    double total;        // whole rotation between them
    double heading;      // its part about the vertical
    double inclination;  // its part about horizontal axes
};

// d = q_est (x) conj(q_true), normalised; total = 2 acos(min(1, |d_w|)),
// heading = 2 atan(|d_z / d_w|), inclination = 2 acos(min(1, sqrt(d_w^2 + d_z^2))).
// Both quaternions are normalised first.
OrientationError orientationError(const Quat& estimateENU, const Quat& truthENU);

// Root mean square of the errors, in degrees.
struct Rmse {
    double total = 0, heading = 0, inclination = 0;  // degrees
    std::size_t samples = 0;                         // errors that entered
};

class RmseAccumulator {
  public:
    void add(const OrientationError& e);
    Rmse result() const;

  private:
    double total_ = 0, heading_ = 0, inclination_ = 0;  // sums of squares, rad^2
    std::size_t count_ = 0;
};

// Runs the filter over a recording with the benchmark's columns (the sensor
// columns plus gt_qw, gt_qx, gt_qy, gt_qz and, if present, movement) and
// scores it: samples with movement == 1 (all samples without that column)
// whose truth is not nan. The recording is read row by row, never held.
// source names it in messages; throws Error like CsvReader, and for a truth
// that is not a unit quaternion and a recording without a single sample to
// score. profile picks the filter (replay_csv.h).
Rmse scoreRecording(std::streambuf& in, const std::string& source,
                    Quorvane::FilterProfile profile = Quorvane::StandardProfile);
// The same for a recording held in memory.
Rmse scoreRecording(const std::string& text, const std::string& source,
                    Quorvane::FilterProfile profile = Quorvane::StandardProfile);

// "total T, heading H, inclination I deg RMSE over N samples"
std::string describe(const Rmse& r);

}  // namespace Replay
