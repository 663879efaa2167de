#include "mag_calibration.h"

#include <algorithm>
#include <cmath>

namespace GuiCommon {

std::array<float, 3> calibratedAcceleration(const float acc[3], const CalibrationData& cal) {
    const float d[3] = {acc[0] - cal.Ab[0], acc[1] - cal.Ab[1], acc[2] - cal.Ab[2]};
    std::array<float, 3> a;
    for (int i = 0; i < 3; ++i)
        a[i] = cal.Ak[i] *
               (cal.AR[3 * i] * d[0] + cal.AR[3 * i + 1] * d[1] + cal.AR[3 * i + 2] * d[2]);
    return a;
}

double gravityDeviation(float magnitude) {
    return std::fabs(magnitude - kGravity) / kGravity;
}

bool withinGravityTolerance(double deviation) {
    return deviation <= kGravityTolerance;
}

float magDivider(int magDiv) {
    return std::pow(2.0f, static_cast<float>(magDiv + 5));
}

double alignmentTarget(float divider) {
    return -kGravityCounts / divider;
}

Eigen::VectorXd leastSquares(const Eigen::MatrixXd& a, const Eigen::VectorXd& b) {
    Eigen::JacobiSVD<Eigen::MatrixXd> svd(a, Eigen::ComputeThinU | Eigen::ComputeThinV);
    svd.setThreshold(1e-11);
    return svd.solve(b);
}

namespace {

Eigen::Vector3d magOf(const SensorSample& s) {
    return {s.mag[0], s.mag[1], s.mag[2]};
}

}  // namespace

Eigen::Vector3d ellipsoidCentre(const std::vector<SensorSample>& samples) {
    const Eigen::Index n = static_cast<Eigen::Index>(samples.size());
    Eigen::MatrixXd d(n, 9);
    for (Eigen::Index r = 0; r < n; ++r) {
        const Eigen::Vector3d m = magOf(samples[r]);
        d.row(r) << m.x() * m.x(), m.y() * m.y(), m.z() * m.z(), 2 * m.x() * m.y(),
            2 * m.x() * m.z(), 2 * m.y() * m.z(), 2 * m.x(), 2 * m.y(), 2 * m.z();
    }
    const Eigen::VectorXd v = leastSquares(d, Eigen::VectorXd::Ones(n));
    Eigen::Matrix3d a;
    a << v[0], v[3], v[4], v[3], v[1], v[5], v[4], v[5], v[2];
    return leastSquares(-a, Eigen::Vector3d(v[6], v[7], v[8]));
}

Eigen::Matrix3d alignment(const std::vector<SensorSample>& samples, const Eigen::Vector3d& centre,
                          double target) {
    const Eigen::Index n = static_cast<Eigen::Index>(samples.size());
    Eigen::MatrixXd e(n, 9);
    for (Eigen::Index r = 0; r < n; ++r) {
        const Eigen::Vector3d m = magOf(samples[r]) - centre;
        const SensorSample& s = samples[r];
        for (int j = 0; j < 3; ++j)
            for (int i = 0; i < 3; ++i) e(r, 3 * j + i) = m[j] * static_cast<double>(s.acc[i]);
    }
    const Eigen::VectorXd w = leastSquares(e, Eigen::VectorXd::Constant(n, target));
    Eigen::Matrix3d result;
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) result(j, i) = w[3 * j + i];
    return result;
}

std::array<double, 3> scaleFactors(const std::array<double, 3>& rowNorms) {
    const double f = kMagScale / std::min(rowNorms[0], rowNorms[1]);
    return {rowNorms[0] * f, rowNorms[1] * f, rowNorms[2] * f};
}

bool plausibleAlignment(const Eigen::Matrix3d& wn) {
    const Eigen::Matrix3d deviation = wn - Eigen::Matrix3d::Identity();
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            if (!(std::fabs(deviation(r, c)) <= kAlignmentTolerance)) return false;
    return true;
}

MagCalibration fitMagnetometer(const std::vector<SensorSample>& samples, int magDiv,
                               const std::function<void()>& step) {
    step();
    MagCalibration out{};
    if (samples.size() < 9) {
        // Nine unknowns: fewer samples cannot determine a calibration.
        for (int i = 0; i < 3; ++i) step();
        out.plausible = false;
        return out;
    }
    const Eigen::Vector3d p = ellipsoidCentre(samples);
    step();
    const float divider = magDivider(magDiv);
    Eigen::Matrix3d wn = alignment(samples, p, alignmentTarget(divider));
    step();
    std::array<double, 3> norms;
    for (int j = 0; j < 3; ++j) {
        norms[j] = wn.row(j).norm();
        wn.row(j) /= norms[j];
    }
    const std::array<double, 3> k = scaleFactors(norms);
    const float unitsPerCount = 4096.0f / divider;

    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) out.MR[3 * r + c] = static_cast<float>(wn(c, r));
        out.Mb[r] = static_cast<float>(p[r] * unitsPerCount);
        out.Mk[r] = static_cast<float>(k[r]);
    }
    out.plausible = plausibleAlignment(wn);
    step();
    return out;
}

}  // namespace GuiCommon
