// The true motion: scripts, the integration rule and the random trajectories.
#include "motion.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

double angleBetween(const sim::Quat& a, const sim::Quat& b) {
    const double d = std::abs(a.w * b.w + a.x * b.x + a.y * b.y + a.z * b.z);
    return 2 * std::acos(std::min(1.0, d));
}

TEST(MotionScript, ParsesSegmentsAndRejectsBadLines) {
    const auto s = sim::parseMotionScript(
        "# warm-up\n"
        "\n"
        "0.5 0 0 0\n"
        "2  90 -45 10   1 0 -2  # turn and push\n");
    ASSERT_EQ(s.size(), 2u);
    EXPECT_DOUBLE_EQ(s[1].duration, 2);
    EXPECT_NEAR(s[1].angularVelocity[0], kPi / 2, 1e-12);
    EXPECT_NEAR(s[1].angularVelocity[1], -kPi / 4, 1e-12);
    EXPECT_EQ(s[1].linearAcceleration, (sim::Vec3{1, 0, -2}));
    EXPECT_EQ(s[0].linearAcceleration, (sim::Vec3{0, 0, 0}));

    for (const char* bad : {"", "# nothing\n", "1 2 3\n", "1 2 3 4 5\n", "0 1 2 3\n", "-1 0 0 0\n",
                            "1 0 0 x\n", "1 0 0 0 1 2 3 4\n", "1 nan 0 0\n"})
        EXPECT_THROW(sim::parseMotionScript(bad), std::invalid_argument) << bad;
}

sim::Motion scripted(std::vector<sim::MotionSegment> script) {
    sim::Motion motion;
    motion.kind = sim::Motion::Kind::Scripted;
    motion.script = std::move(script);
    return motion;
}

// q advances by exp(-T w / 2) on the left: 90 deg/s about the sensor z axis
// for 1 s from the identity ends at (cos 45, 0, 0, -sin 45); a second turn
// about the (new) sensor y axis multiplies on the left again.
TEST(TruthIntegrator, TurnsByMinusOmegaOnTheLeft) {
    const double r = kPi / 2;
    sim::TruthIntegrator truth(scripted({{1, {0, 0, r}, {}}, {1, {0, r, 0}, {}}, {10, {}, {}}}));
    truth.advanceTo(10000);
    const double c = std::cos(kPi / 4), s = std::sin(kPi / 4);
    EXPECT_LT(angleBetween(truth.orientation(), {c, 0, 0, -s}), 1e-9);
    const sim::MotionState atBoundary = truth.advanceTo(10000);
    EXPECT_NEAR(atBoundary.angularVelocity[2], r, 1e-12) << "a segment's end is still its rate";
    truth.advanceTo(20000);
    const sim::Quat expected = sim::Quat{c, 0, -s, 0} * sim::Quat{c, 0, 0, -s};
    EXPECT_LT(angleBetween(truth.orientation(), expected), 1e-9);
    // Rest keeps it; the script repeats after 12 s.
    truth.advanceTo(120000);
    EXPECT_LT(angleBetween(truth.orientation(), expected), 1e-9);
    EXPECT_NEAR(truth.advanceTo(125000).angularVelocity[2], r, 1e-12);
}

TEST(TruthIntegrator, SetMotionCarriesOnOrResets) {
    sim::Motion spin = scripted({{1, {0.3, 0, 0}, {}}});
    spin.initial = {0, 1, 0, 0};
    sim::TruthIntegrator truth(spin);
    EXPECT_LT(angleBetween(truth.orientation(), {0, 1, 0, 0}), 1e-12);
    truth.advanceTo(5000);
    const sim::Quat here = truth.orientation();
    sim::Motion still;
    still.kind = sim::Motion::Kind::Still;
    still.initial = {1, 0, 0, 0};
    truth.setMotion(still, false);
    truth.advanceTo(9000);
    EXPECT_LT(angleBetween(truth.orientation(), here), 1e-12);
    truth.setMotion(still, true);
    EXPECT_LT(angleBetween(truth.orientation(), {1, 0, 0, 0}), 1e-12);
}

struct Survey {
    sim::Vec3 peakRate{0, 0, 0};  // largest |w| seen per axis, rad/s
    double peakAcceleration = 0;  // m/s^2
    double longestRest = 0;       // s with no rate and no acceleration
    double largestRateStep = 0;   // rad/s between consecutive ms
};

Survey survey(std::uint64_t seed, double seconds) {
    sim::Motion motion;
    motion.seed = seed;
    auto profile = sim::makeMotionProfile(motion);
    Survey s;
    double rest = 0;
    sim::Vec3 previous{0, 0, 0};
    for (double tick = 0; tick < seconds * 10000; tick += 10) {
        const sim::MotionState m = profile->at(tick);
        for (std::size_t i = 0; i < 3; ++i) {
            s.peakRate[i] = std::max(s.peakRate[i], std::abs(m.angularVelocity[i]));
            s.largestRateStep =
                std::max(s.largestRateStep, std::abs(m.angularVelocity[i] - previous[i]));
        }
        previous = m.angularVelocity;
        s.peakAcceleration = std::max(s.peakAcceleration, sim::norm(m.linearAcceleration));
        const bool resting =
            sim::norm(m.angularVelocity) == 0 && sim::norm(m.linearAcceleration) == 0;
        rest = resting ? rest + 0.001 : 0;
        s.longestRest = std::max(s.longestRest, rest);
    }
    return s;
}

TEST(RandomMotion, RichSmoothAndSeeded) {
    for (std::uint64_t seed : {1u, 2u, 77u}) {
        SCOPED_TRACE(seed);
        const Survey s = survey(seed, 120);
        for (double peak : s.peakRate) {
            EXPECT_GT(peak, 2.5) << "fast turns about every axis";
            EXPECT_LT(peak, 8.5);
        }
        EXPECT_GT(s.peakAcceleration, 1.0);
        EXPECT_LT(s.peakAcceleration, 4.5);
        EXPECT_GT(s.longestRest, 0.3);
        EXPECT_LT(s.largestRateStep, 0.1) << "rates change smoothly";
    }

    auto orientationAfter = [](std::uint64_t seed) {
        sim::Motion motion;
        motion.seed = seed;
        sim::TruthIntegrator truth(motion);
        truth.advanceTo(300000);
        return truth.orientation();
    };
    EXPECT_LT(angleBetween(orientationAfter(5), orientationAfter(5)), 1e-15);
    EXPECT_GT(angleBetween(orientationAfter(5), orientationAfter(6)), 1e-3);
}

}  // namespace

// An oscillation moves the tracker back and forth about a point from rest and
// leaves it at rest where it started, within its time span and on top of the
// motion's own rates and accelerations; one without a whole period is refused.
TEST(Oscillation, SwingsAboutAPointWithinItsSpan) {
    sim::Motion motion = scripted({{1, {0.2, 0, 0}, {0, 0, 1}}});
    const double amplitude = 20, f = 1.3;  // m/s^2, Hz
    motion.oscillations = {{{amplitude, 0, 0}, f, 2, 8}};
    auto profile = sim::makeMotionProfile(motion);
    // Euler integration at 0.1 ms of the oscillation's part (along x).
    double v = 0, x = 0, lowest = 0, highest = 0;
    for (double tick = 1; tick <= 100000; ++tick) {
        const sim::MotionState m = profile->at(tick);
        EXPECT_EQ(m.angularVelocity, (sim::Vec3{0.2, 0, 0}));
        EXPECT_EQ(m.linearAcceleration[2], 1);
        const double t = tick * 1e-4;
        if (t <= 2 || t > 8) {
            EXPECT_EQ(m.linearAcceleration[0], 0) << t;
        }
        v += 1e-4 * m.linearAcceleration[0];
        x += 1e-4 * v;
        lowest = std::min(lowest, x);
        highest = std::max(highest, x);
    }
    // x(t) = A / w^2 (1 - cos(w t)): between 0 and 2 A / w^2, never drifting.
    const double w = 2 * kPi * f;
    EXPECT_GT(lowest, -1e-2);
    EXPECT_NEAR(highest, 2 * amplitude / (w * w), 1e-2);
    EXPECT_NEAR(v, 0, 1e-2);
    EXPECT_NEAR(x, 0, 1e-2);

    for (const sim::Oscillation& bad :
         {sim::Oscillation{{1, 0, 0}, 0, 0, 1}, sim::Oscillation{{1, 0, 0}, 1, 3, 3.9}}) {
        motion.oscillations = {bad};
        EXPECT_THROW(sim::makeMotionProfile(motion), std::invalid_argument);
    }
}
