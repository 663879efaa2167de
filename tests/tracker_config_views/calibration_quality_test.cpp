// The calibration report's figures on synthetic readings of a tracker
// turned through known orientations: m = S R B + h, a = R g.
#include "calibration_quality.h"

#include <gtest/gtest.h>

#include <Eigen/Geometry>
#include <algorithm>

namespace {

using namespace CalibrationQuality;

SensorSample sample(const Eigen::Vector3d& m, const Eigen::Vector3d& a = {0, 0, 9.81}) {
    SensorSample s{};
    for (int i = 0; i < 3; ++i) {
        s.mag[i] = static_cast<float>(m[i]);
        s.acc[i] = static_cast<float>(a[i]);
    }
    return s;
}

// Evenly spread unit vectors (a Fibonacci sphere).
std::vector<Eigen::Vector3d> sphere(int n) {
    std::vector<Eigen::Vector3d> out;
    const double golden = 3.14159265358979 * (3 - std::sqrt(5.0));
    for (int i = 0; i < n; ++i) {
        const double z = 1 - 2 * (i + 0.5) / n;
        const double r = std::sqrt(1 - z * z);
        out.emplace_back(r * std::cos(golden * i), r * std::sin(golden * i), z);
    }
    return out;
}

std::vector<SensorSample> readings(const Eigen::Matrix3d& softIron, const Eigen::Vector3d& hardIron,
                                   int n = 3000) {
    std::vector<SensorSample> out;
    const Eigen::Vector3d field(200, 0, -400);  // counts, inclined downward
    const Eigen::Vector3d gravity(0, 0, 9.81);
    for (int i = 0; i < n; ++i) {
        const Eigen::Quaterniond q = Eigen::Quaterniond::UnitRandom();
        const Eigen::Matrix3d r = q.toRotationMatrix();
        out.push_back(sample(softIron * r * field + hardIron, r * gravity));
    }
    return out;
}

MagParameters identityParameters() {
    MagParameters p;
    p.MR = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    p.Mk = {1, 1, 1};
    return p;
}

TEST(CalibrationQuality, SectorsHaveEqualArea) {
    std::vector<int> counts(kSectors, 0);
    for (const Eigen::Vector3d& v : sphere(32000)) {
        const int s = sectorOf(v * 3.5);
        ASSERT_GE(s, 0);
        ASSERT_LT(s, kSectors);
        ++counts[s];
    }
    for (int c : counts) EXPECT_NEAR(c, 1000, 60);
    EXPECT_EQ(sectorOf(Eigen::Vector3d::Zero()), -1);
}

TEST(CalibrationQuality, CoverageCountsVisitedSectorsAroundTheCentre) {
    const Eigen::Vector3d centre(100, -50, 30);
    std::vector<SensorSample> all, equator, upper;
    for (const Eigen::Vector3d& v : sphere(2000)) {
        all.push_back(sample(centre + 40 * v));
        if (v.z() > 0.3) upper.push_back(sample(centre + 40 * v));
    }
    for (int deg = 0; deg < 360; deg += 5) {
        const double a = deg * 3.14159265358979 / 180;
        equator.push_back(
            sample(centre + Eigen::Vector3d(40 * std::cos(a), 40 * std::sin(a), 0.5)));
    }
    EXPECT_DOUBLE_EQ(coverage(all, centre), 1.0);
    EXPECT_DOUBLE_EQ(coverage(equator, centre), 0.25);  // one band of four
    EXPECT_LT(coverage(all, Eigen::Vector3d::Zero()), 0.5);
    EXPECT_TRUE(missingDirections(all, centre).empty());
    EXPECT_EQ(missingDirections(upper, centre), (std::vector<std::string>{"-Z"}));
    EXPECT_EQ(missingDirections(equator, centre), (std::vector<std::string>{"+Z", "-Z"}));
    // The midrange of a full sphere is its centre.
    EXPECT_LT((midrangeCentre(all) - centre).norm(), 0.5);
}

TEST(CalibrationQuality, MagnitudeSpreadOfASphereAndAnEllipsoid) {
    std::vector<SensorSample> round, flat;
    for (const Eigen::Vector3d& v : sphere(500)) {
        round.push_back(sample(50 * v));
        flat.push_back(sample(Eigen::Vector3d(60 * v.x(), 50 * v.y(), 40 * v.z())));
    }
    const int magDivForUnitCounts = 7;  // divider 4096: 4096 / divider = 1
    const Spread r = magnitudeSpread(round, identityParameters(), magDivForUnitCounts);
    ASSERT_TRUE(r.valid);
    EXPECT_NEAR(r.mean, 50, 1e-3);
    EXPECT_NEAR(r.relative, 0, 1e-5);
    const Spread f = magnitudeSpread(flat, identityParameters(), magDivForUnitCounts);
    EXPECT_GT(f.relative, 0.05);
    // Parameters never read from a device scale everything to nothing.
    EXPECT_FALSE(magnitudeSpread(round, MagParameters{}, 3).valid);
    EXPECT_FALSE(magnitudeSpread({}, identityParameters(), 3).valid);
}

TEST(CalibrationQuality, MildSoftIronFitsStrongSoftIronIsRefusedWithItsReason) {
    Eigen::Matrix3d mild;
    mild << 1.04, 0.02, -0.01, 0.02, 0.97, 0.03, -0.01, 0.03, 1.01;
    const Report good = assess(readings(mild, {300, -200, 450}), 3, identityParameters());
    EXPECT_TRUE(good.plausible);
    EXPECT_TRUE(good.reason.empty());
    EXPECT_GT(good.coverage, 0.95);
    ASSERT_TRUE(good.before.valid && good.after.valid);
    EXPECT_GT(good.before.relative, 0.2);  // the hard iron is not removed before
    EXPECT_LT(good.after.relative, 0.02);
    EXPECT_LE(good.alignmentDeviation, 0.1);

    Eigen::Matrix3d strong;
    strong << 1, 0.3, 0, 0.3, 1, 0, 0, 0, 1;
    const Report bad = assess(readings(strong, {300, -200, 450}), 3, identityParameters());
    EXPECT_FALSE(bad.plausible);
    EXPECT_GT(bad.alignmentDeviation, 0.1);
    EXPECT_NE(bad.reason.find("deviates"), std::string::npos) << bad.reason;
    EXPECT_EQ(bad.reason.find("directions"), std::string::npos) << bad.reason;

    const Report none = assess({}, 3, identityParameters());
    EXPECT_FALSE(none.plausible);
    EXPECT_NE(none.reason.find("too few samples"), std::string::npos);
}

}  // namespace
