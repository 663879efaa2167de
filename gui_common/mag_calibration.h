// The magnetometer calibration's arithmetic: which samples it keeps and the
// fit of MR, Mb and Mk to them. The tracker maps a RAW reading H to
//   H_calib = MR diag(Mk) ((4096 / divider) H - Mb),  divider = 2^(magDiv + 5).
// The fit uses two facts about a calibrated tracker at rest: the readings lie
// on an ellipsoid around the hard-iron offset, and the calibrated field keeps
// its angle to gravity, so their dot product is the same for every sample.
#pragma once

#include <Eigen/Dense>
#include <array>
#include <functional>
#include <vector>

#include "quorvane.h"

namespace GuiCommon {

constexpr int kCalibrationSamples = 3000;
constexpr double kGravity = 9.81;
constexpr double kGravityTolerance = 0.1;  // relative deviation of |a| from kGravity
// 9.81 * 16384: gravity in accelerometer counts.
constexpr double kGravityCounts = 160727.04;
// The smaller of the first two scale factors becomes this.
constexpr double kMagScale = 0.0263133;
// Largest deviation of the normalised alignment from the identity a
// plausible fit may have.
constexpr double kAlignmentTolerance = 0.1;

// diag(Ak) AR (acc - Ab) with the accelerometer groups of `cal`: the scale
// multiplies the rotated value.
std::array<float, 3> calibratedAcceleration(const float acc[3], const CalibrationData& cal);

// |n - 9.81| / 9.81 for a magnitude n (single precision, as computed).
double gravityDeviation(float magnitude);
// A sample is kept while it is not being accelerated: deviation at most
// 0.1 (inclusive). Anything not a number is refused.
bool withinGravityTolerance(double deviation);

// 2^(magDiv + 5) in single precision.
float magDivider(int magDiv);
// The constant dot product the alignment is fitted to: -160727.04 / divider.
double alignmentTarget(float divider);

// Least squares through an SVD: singular values not above 1e-11 times the
// largest count as zero, giving the minimum-norm solution of a rank-deficient
// system.
Eigen::VectorXd leastSquares(const Eigen::MatrixXd& a, const Eigen::VectorXd& b);

// Centre p of the ellipsoid through the magnetometer readings.
Eigen::Vector3d ellipsoidCentre(const std::vector<SensorSample>& samples);

// W with (m - p)^T W a = alignmentTarget for every sample, least squares;
// a is the sample's (calibrated) acceleration.
Eigen::Matrix3d alignment(const std::vector<SensorSample>& samples, const Eigen::Vector3d& centre,
                          double target);

// From the row norms s of W: f = 0.0263133 / min(s0, s1), k = s f.
std::array<double, 3> scaleFactors(const std::array<double, 3>& rowNorms);

// Passes unless an element of wn - I lies outside [-0.1, 0.1]; anything not a
// number fails.
bool plausibleAlignment(const Eigen::Matrix3d& wn);

struct MagCalibration {
    float MR[9];
    float Mb[3];
    float Mk[3];
    bool plausible;
};

// The whole fit. `step` runs after each of its four stages (start, centre,
// alignment, end), for progress reports.
MagCalibration fitMagnetometer(
    const std::vector<SensorSample>& samples, int magDiv,
    const std::function<void()>& step = [] {});

}  // namespace GuiCommon
