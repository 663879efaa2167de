// How good a magnetometer calibration run was, from the samples it kept:
// which directions the field took (coverage), how much the calibrated
// field's magnitude varies before and after the fit (it should be constant),
// and whether the fit is plausible, with the reason when it is not.
#pragma once

#include <Eigen/Dense>
#include <array>
#include <string>
#include <vector>

#include "quorvane.h"

namespace CalibrationQuality {

// The sphere is cut into 4 bands of equal area (equal steps of sin of the
// elevation) and 8 azimuth sectors: 32 sectors of equal area.
constexpr int kBands = 4;
constexpr int kAzimuths = 8;
constexpr int kSectors = kBands * kAzimuths;

// Sector of a direction, 0 .. kSectors - 1; -1 for the zero vector.
int sectorOf(const Eigen::Vector3d& v);

// Share (0 to 1) of the sectors that the field directions m - centre visit.
double coverage(const std::vector<SensorSample>& samples, const Eigen::Vector3d& centre);

// A quick hard-iron estimate for use while collecting: the middle of the
// readings' range on each axis.
Eigen::Vector3d midrangeCentre(const std::vector<SensorSample>& samples);

// The sensor axes ("+X", "-X", "+Y", "-Y", "+Z", "-Z") that no field
// direction m - centre came within 45 degrees of.
std::vector<std::string> missingDirections(const std::vector<SensorSample>& samples,
                                           const Eigen::Vector3d& centre);

struct MagParameters {
    std::array<float, 9> MR{};
    std::array<float, 3> Mk{};
    std::array<float, 3> Mb{};
};

// Spread of |MR diag(Mk) ((4096 / divider) m - Mb)| over the samples:
// standard deviation over mean. Not valid for parameters that scale every
// reading to nothing (never read from a device) or without samples.
struct Spread {
    bool valid = false;
    double mean = 0;
    double relative = 0;
};
Spread magnitudeSpread(const std::vector<SensorSample>& samples, const MagParameters& parameters,
                       int magDiv);

struct Report {
    double coverage = 0;
    Spread before, after;
    bool plausible = false;
    // Largest deviation of the normalised alignment from the identity.
    double alignmentDeviation = 0;
    // Why the fit is not plausible; empty when it is.
    std::string reason;
};

// Fits the samples as the calibration run does and judges the result;
// `before` holds the parameters in effect during the run.
Report assess(const std::vector<SensorSample>& samples, int magDiv, const MagParameters& before);

}  // namespace CalibrationQuality
