#include "calibration_quality.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "mag_calibration.h"

namespace CalibrationQuality {

namespace {

constexpr double kPi = 3.14159265358979323846;

Eigen::Vector3d field(const SensorSample& s) {
    return {s.mag[0], s.mag[1], s.mag[2]};
}

// Below this share of the sectors, an implausible fit is blamed on the
// directions the user turned the tracker through.
constexpr double kPoorCoverage = 0.5;

}  // namespace

int sectorOf(const Eigen::Vector3d& v) {
    const double n = v.norm();
    if (!(n > 0)) return -1;
    const double sinElevation = std::clamp(v.z() / n, -1.0, 1.0);
    const int band = std::min(kBands - 1, static_cast<int>((sinElevation + 1) / 2 * kBands));
    double azimuth = std::atan2(v.y(), v.x());
    if (azimuth < 0) azimuth += 2 * kPi;
    const int sector = std::min(kAzimuths - 1, static_cast<int>(azimuth / (2 * kPi) * kAzimuths));
    return band * kAzimuths + sector;
}

double coverage(const std::vector<SensorSample>& samples, const Eigen::Vector3d& centre) {
    std::array<bool, kSectors> seen{};
    for (const SensorSample& s : samples) {
        const int sector = sectorOf(field(s) - centre);
        if (sector >= 0) seen[sector] = true;
    }
    return static_cast<double>(std::count(seen.begin(), seen.end(), true)) / kSectors;
}

Eigen::Vector3d midrangeCentre(const std::vector<SensorSample>& samples) {
    if (samples.empty()) return Eigen::Vector3d::Zero();
    Eigen::Vector3d low = field(samples[0]), high = low;
    for (const SensorSample& s : samples) {
        low = low.cwiseMin(field(s));
        high = high.cwiseMax(field(s));
    }
    return (low + high) / 2;
}

std::vector<std::string> missingDirections(const std::vector<SensorSample>& samples,
                                           const Eigen::Vector3d& centre) {
    const double cos45 = std::sqrt(0.5);
    std::array<bool, 6> reached{};  // +X, -X, +Y, -Y, +Z, -Z
    for (const SensorSample& s : samples) {
        const Eigen::Vector3d d = field(s) - centre;
        const double n = d.norm();
        if (!(n > 0)) continue;
        for (int axis = 0; axis < 3; ++axis) {
            if (d[axis] / n >= cos45) reached[2 * axis] = true;
            if (-d[axis] / n >= cos45) reached[2 * axis + 1] = true;
        }
    }
    static const char* const kNames[6] = {"+X", "-X", "+Y", "-Y", "+Z", "-Z"};
    std::vector<std::string> out;
    for (int i = 0; i < 6; ++i)
        if (!reached[i]) out.emplace_back(kNames[i]);
    return out;
}

Spread magnitudeSpread(const std::vector<SensorSample>& samples, const MagParameters& p,
                       int magDiv) {
    Spread out;
    if (samples.empty()) return out;
    const double counts = 4096.0 / GuiCommon::magDivider(magDiv);
    Eigen::Matrix3d r;
    for (int i = 0; i < 9; ++i) r(i / 3, i % 3) = p.MR[i];
    const Eigen::Vector3d k(p.Mk[0], p.Mk[1], p.Mk[2]);
    const Eigen::Vector3d b(p.Mb[0], p.Mb[1], p.Mb[2]);
    const Eigen::Matrix3d transform = r * k.asDiagonal();
    double sum = 0, sumSquares = 0;
    for (const SensorSample& s : samples) {
        const double m = (transform * (counts * field(s) - b)).norm();
        sum += m;
        sumSquares += m * m;
    }
    const double n = static_cast<double>(samples.size());
    out.mean = sum / n;
    if (!(out.mean > 0) || !std::isfinite(out.mean)) return out;
    const double variance = std::max(0.0, sumSquares / n - out.mean * out.mean);
    out.relative = std::sqrt(variance) / out.mean;
    out.valid = true;
    return out;
}

Report assess(const std::vector<SensorSample>& samples, int magDiv, const MagParameters& before) {
    Report report;
    report.before = magnitudeSpread(samples, before, magDiv);
    if (samples.size() < 9) {
        report.reason = "too few samples to fit (" + std::to_string(samples.size()) + ")";
        return report;
    }
    const Eigen::Vector3d centre = GuiCommon::ellipsoidCentre(samples);
    report.coverage = coverage(samples, centre);

    const GuiCommon::MagCalibration fit = GuiCommon::fitMagnetometer(samples, magDiv);
    MagParameters after;
    std::copy(fit.MR, fit.MR + 9, after.MR.begin());
    std::copy(fit.Mk, fit.Mk + 3, after.Mk.begin());
    std::copy(fit.Mb, fit.Mb + 3, after.Mb.begin());
    report.after = magnitudeSpread(samples, after, magDiv);

    // MR is the transpose of the normalised alignment.
    Eigen::Matrix3d wn;
    for (int i = 0; i < 9; ++i) wn(i % 3, i / 3) = fit.MR[i];
    const Eigen::Matrix3d deviation = wn - Eigen::Matrix3d::Identity();
    report.alignmentDeviation = deviation.cwiseAbs().maxCoeff();
    report.plausible = fit.plausible;
    if (!report.plausible) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "the fitted alignment deviates %.3f from the identity (at most %.2f "
                      "allowed)",
                      report.alignmentDeviation, GuiCommon::kAlignmentTolerance);
        report.reason = text;
        if (!std::isfinite(report.alignmentDeviation)) report.reason = "the fit has no solution";
        if (report.coverage < kPoorCoverage)
            report.reason += "; the field visited only " +
                             std::to_string(static_cast<int>(std::lround(report.coverage * 100))) +
                             " % of the directions";
    }
    return report;
}

}  // namespace CalibrationQuality
