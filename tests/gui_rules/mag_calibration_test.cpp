// The magnetometer calibration's arithmetic: the acceleration gate, the
// least-squares rule, the scale and plausibility rules, and the whole fit on
// readings built from a known distortion.
#include "mag_calibration.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace {

using namespace GuiCommon;

TEST(CalibrationGate, KeepsSamplesWithinATenthOfGravity) {
    EXPECT_TRUE(withinGravityTolerance(0.1));  // exactly the tolerance
    EXPECT_FALSE(withinGravityTolerance(std::nextafter(0.1, 1.0)));
    EXPECT_TRUE(withinGravityTolerance(gravityDeviation(10.79f)));  // 0.0999...
    EXPECT_FALSE(withinGravityTolerance(gravityDeviation(10.80f)));
    EXPECT_TRUE(withinGravityTolerance(gravityDeviation(8.83f)));
    EXPECT_FALSE(withinGravityTolerance(gravityDeviation(8.82f)));
    EXPECT_FALSE(withinGravityTolerance(gravityDeviation(std::numeric_limits<float>::quiet_NaN())));
}

TEST(CalibrationGate, AccelerationIsScaledAfterTheRotation) {
    CalibrationData cal{};
    const float rotation[9] = {0, 1, 0, 1, 0, 0, 0, 0, 1};  // swaps x and y
    std::copy(rotation, rotation + 9, cal.AR);
    cal.Ab[0] = 1;
    cal.Ak[0] = 2;
    cal.Ak[1] = 3;
    cal.Ak[2] = 1;
    const float acc[3] = {5, 7, 9};
    // d = (4, 7, 9); AR d = (7, 4, 9); diag(k) AR d = (14, 12, 9). The other
    // order, AR diag(k) d, would give (21, 8, 9).
    const std::array<float, 3> a = calibratedAcceleration(acc, cal);
    EXPECT_FLOAT_EQ(a[0], 14);
    EXPECT_FLOAT_EQ(a[1], 12);
    EXPECT_FLOAT_EQ(a[2], 9);
}

TEST(LeastSquares, RankDeficientSystemGetsTheMinimumNormSolution) {
    Eigen::MatrixXd a(3, 2);
    a << 1, 1, 1, 1, 1, 1;  // rank 1
    const Eigen::VectorXd x = leastSquares(a, Eigen::Vector3d(2, 2, 2));
    EXPECT_NEAR(x[0], 1, 1e-12);
    EXPECT_NEAR(x[1], 1, 1e-12);

    // A singular value just below 1e-11 of the largest counts as zero.
    Eigen::MatrixXd d = Eigen::MatrixXd::Zero(2, 2);
    d(0, 0) = 1;
    d(1, 1) = 0.9e-11;
    const Eigen::VectorXd y = leastSquares(d, Eigen::Vector2d(1, 1));
    EXPECT_EQ(y[1], 0);
    d(1, 1) = 1.1e-11;
    EXPECT_NEAR(leastSquares(d, Eigen::Vector2d(1, 1))[1], 1 / 1.1e-11, 1);
}

TEST(MagFitRules, DividerTargetAndScaleFactors) {
    EXPECT_EQ(magDivider(3), 256.0f);
    EXPECT_EQ(magDivider(0), 32.0f);
    EXPECT_EQ(magDivider(7), 4096.0f);
    EXPECT_NEAR(alignmentTarget(256.0f), -627.84, 1e-12);

    const std::array<double, 3> k = scaleFactors({2, 4, 1});
    EXPECT_NEAR(k[0], 0.0263133, 1e-15);
    EXPECT_NEAR(k[1], 0.0526266, 1e-15);
    EXPECT_NEAR(k[2], 0.01315665, 1e-15);
    // Only the first two norms choose f.
    EXPECT_NEAR(scaleFactors({4, 2, 0.5})[1], 0.0263133, 1e-15);
}

TEST(MagFitRules, PlausibleWithinATenthOfTheIdentityInclusive) {
    const struct {
        int row, col;
        double value;
        bool plausible;
    } cases[] = {
        {0, 1, 0.1, true},
        {0, 1, 0.1000001, false},
        {2, 0, -0.1, true},
        {2, 0, -0.1000001, false},
        {1, 1, 0.9, true},
        {1, 1, 0.89, false},
        {2, 2, 1.09, true},
        {2, 2, 1.11, false},
        {0, 0, std::numeric_limits<double>::quiet_NaN(), false},
    };
    for (const auto& c : cases) {
        Eigen::Matrix3d wn = Eigen::Matrix3d::Identity();
        wn(c.row, c.col) = c.value;
        EXPECT_EQ(plausibleAlignment(wn), c.plausible)
            << "(" << c.row << ", " << c.col << ") = " << c.value;
    }
}

// Readings of a tracker turned through many directions at rest: the raw
// magnetometer m = C R B + p (counts), the calibrated acceleration a = R g.
std::vector<SensorSample> turnedSamples(const Eigen::Matrix3d& c, const Eigen::Vector3d& p) {
    const Eigen::Vector3d field(50, 0, -102);  // counts; inclined like the earth's field
    const Eigen::Vector3d gravity(0, 0, 9.81);
    std::mt19937 rng(7);
    std::normal_distribution<double> normal;
    std::vector<SensorSample> samples;
    for (int i = 0; i < kCalibrationSamples; ++i) {
        const Eigen::Quaterniond q =
            Eigen::Quaterniond(normal(rng), normal(rng), normal(rng), normal(rng)).normalized();
        const Eigen::Matrix3d r = q.toRotationMatrix();
        const Eigen::Vector3d m = c * r * field + p;
        const Eigen::Vector3d a = r * gravity;
        SensorSample s{};
        for (int k = 0; k < 3; ++k) {
            s.mag[k] = static_cast<float>(m[k]);
            s.acc[k] = static_cast<float>(a[k]);
        }
        samples.push_back(s);
    }
    return samples;
}

// The calibrated field of a raw reading with the fitted record.
Eigen::Vector3d calibrated(const MagCalibration& fit, const SensorSample& s, float divider) {
    Eigen::Matrix3d mr;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) mr(r, c) = fit.MR[3 * r + c];
    Eigen::Vector3d v;
    for (int k = 0; k < 3; ++k) v[k] = fit.Mk[k] * ((4096.0 / divider) * s.mag[k] - fit.Mb[k]);
    return mr * v;
}

TEST(MagFit, RemovesHardAndSoftIronAndStoresTheOffsetScaledByTheDivider) {
    Eigen::Matrix3d c;
    c << 1.04, 0.02, -0.01, 0.02, 0.97, 0.03, -0.01, 0.03, 1.01;
    const Eigen::Vector3d p(14, -9, 21);
    const std::vector<SensorSample> samples = turnedSamples(c, p);
    int steps = 0;
    const MagCalibration fit = fitMagnetometer(samples, 3, [&] { ++steps; });
    EXPECT_EQ(steps, 4);
    EXPECT_TRUE(fit.plausible);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(fit.Mb[k], 16 * p[k], 1e-2) << k;  // divider 256
    EXPECT_NEAR(std::min(fit.Mk[0], fit.Mk[1]), 0.0263133f, 1e-7);

    // The calibrated field has one magnitude and keeps its angle to gravity.
    double minNorm = 1e300, maxNorm = 0, minDot = 1e300, maxDot = -1e300;
    for (const SensorSample& s : samples) {
        const Eigen::Vector3d h = calibrated(fit, s, 256.0f);
        const Eigen::Vector3d a(s.acc[0], s.acc[1], s.acc[2]);
        minNorm = std::min(minNorm, h.norm());
        maxNorm = std::max(maxNorm, h.norm());
        minDot = std::min(minDot, h.dot(a) / h.norm());
        maxDot = std::max(maxDot, h.dot(a) / h.norm());
    }
    EXPECT_LT((maxNorm - minNorm) / maxNorm, 1e-4);
    EXPECT_LT(maxDot - minDot, 1e-3);
}

TEST(MagFit, StrongSoftIronIsImplausible) {
    Eigen::Matrix3d c;
    c << 1, 0.3, 0, 0.3, 1, 0.3, 0, 0.3, 1;
    const MagCalibration fit = fitMagnetometer(turnedSamples(c, {3, 4, 5}), 3);
    EXPECT_FALSE(fit.plausible);
}

TEST(MagFit, TooFewSamplesAreImplausibleAndStillReportEveryStage) {
    int steps = 0;
    const MagCalibration fit = fitMagnetometer({}, 3, [&] { ++steps; });
    EXPECT_FALSE(fit.plausible);
    EXPECT_EQ(steps, 4);
}

}  // namespace
