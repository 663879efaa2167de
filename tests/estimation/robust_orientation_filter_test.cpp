// The robust profile's orientation filter on simulated motion with the
// disturbances it exists for (a magnet brought near, a magnet fixed to the
// board, bursts of linear acceleration, gyroscope bias), compared with the
// simulator's exact truth and with the default filter on the same samples;
// its start, rest bias estimate and behaviour on unusable readings and
// timestamps.
#include "robust_orientation_filter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <iostream>
#include <limits>
#include <vector>

#include "chip_model.h"
#include "motion.h"
#include "orientation_filter.h"
#include "sensor_model.h"
#include "simulated_run.h"

using Quorvane::RobustOrientationFilter;
using Quorvane::testing::Disturbance;
using Quorvane::testing::SimRun;
using Quorvane::testing::simulate;

namespace {

using sim::operator+;
using sim::operator*;

constexpr double kDegrees = 180.0 / 3.14159265358979323846;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

struct Errors {
    double total = 0, inclination = 0;  // RMSE, degrees
    double worstTotal = 0;              // degrees
};

// Total angle between two Q_SW, and the angle between the up directions they
// put into the sensor frame, in degrees.
void accumulate(const float* est, const sim::Quat& truth, double& total, double& inclination,
                double& worst) {
    const sim::Quat e = sim::normalized({est[0], est[1], est[2], est[3]});
    const double d = std::fabs(e.w * truth.w + e.x * truth.x + e.y * truth.y + e.z * truth.z);
    const double angle = 2 * std::acos(std::min(1.0, d)) * kDegrees;
    const sim::Vec3 upE = sim::rotate(e, {0, 0, 1}), upT = sim::rotate(truth, {0, 0, 1});
    const double tilt = std::acos(std::clamp(sim::dot(upE, upT), -1.0, 1.0)) * kDegrees;
    total += angle * angle;
    inclination += tilt * tilt;
    worst = std::max(worst, angle);
}

// RMSE of a fresh filter over the run, leaving out the first settleSeconds.
template <class Filter>
Errors score(const SimRun& run, double rateHz, double settleSeconds) {
    Filter filter;
    double total = 0, inclination = 0, worst = 0;
    std::size_t n = 0;
    for (std::size_t k = 0; k < run.samples.size(); ++k) {
        SensorSample s = run.samples[k];
        filter.update(&s, &s, 1.0);
        if (k < settleSeconds * rateHz) continue;
        accumulate(s.quat, run.truth[k], total, inclination, worst);
        ++n;
    }
    return {std::sqrt(total / n), std::sqrt(inclination / n), worst};
}

sim::Environment calibratedField() {
    sim::Environment env;  // 48 uT, 64 degrees down
    env.softIron = sim::identity3();
    env.hardIron = {0, 0, 0};
    return env;
}

// A magnet carried towards the tracker and away again: up to 40 uT from a
// fixed place in the room (world frame), 30 s to 70 s.
void magnetNear(double t, const sim::Quat& q, sim::CalibratedReading& c) {
    if (t < 30 || t > 70) return;
    const double strength = 40 * std::sin(3.14159265358979 * (t - 30) / 40);
    c.mag = c.mag + sim::rotate(q, strength * sim::Vec3{0.3, 0.8, 0.5});
}

TEST(RobustOrientationFilter, StaysAccurateUnderDisturbances) {
    const double rate = 100;
    // A magnet fixed to the board from 30 s on: a constant field in the sensor frame.
    const Disturbance magnetOnBoard = [](double t, const sim::Quat&, sim::CalibratedReading& c) {
        if (t >= 30) c.mag = c.mag + sim::Vec3{25, -15, 20};
    };
    // Shaking: 1.5 s bursts of 2 g along a horizontal world axis, every 6 s.
    const Disturbance shaking = [](double t, const sim::Quat& q, sim::CalibratedReading& c) {
        const double phase = std::fmod(t, 6.0);
        if (t < 10 || phase > 1.5) return;
        const double a = 2 * sim::kGravity * std::sin(2 * 3.14159265358979 * 4 * phase);
        c.acc = c.acc + sim::rotate(q, sim::Vec3{a, 0.5 * a, 0});
    };
    sim::Environment biased = calibratedField();
    biased.gyroBias = {0.02, -0.015, 0.025};  // rad/s, about 1.5 deg/s

    const struct {
        const char* name;
        sim::Environment env;
        Disturbance disturb;
        double maxTotal, maxInclination;  // RMSE bounds, degrees
    } cases[] = {
        {"undisturbed", calibratedField(), nullptr, 3, 1.5},
        {"magnet brought near", calibratedField(), magnetNear, 5, 1.5},
        {"magnet fixed to the board", calibratedField(), magnetOnBoard, 8, 1.5},
        {"bursts of linear acceleration", calibratedField(), shaking, 4, 2.5},
        {"gyroscope bias 1.5 deg/s", biased, nullptr, 6, 2},
    };
    for (const auto& c : cases) {
        for (std::uint64_t seed : {1, 2}) {
            SCOPED_TRACE(::testing::Message() << c.name << ", motion seed " << seed);
            const SimRun run = simulate(c.env, seed, 120, rate, c.disturb);
            const Errors robust = score<RobustOrientationFilter>(run, rate, 5);
            const Errors standard = score<Quorvane::OrientationFilter>(run, rate, 5);
            std::cout << "[ SIMULATED] " << c.name << ", seed " << seed << ": robust total "
                      << robust.total << " (worst " << robust.worstTotal << "), inclination "
                      << robust.inclination << " deg RMSE; default filter total " << standard.total
                      << ", inclination " << standard.inclination << "\n";
            EXPECT_LT(robust.total, c.maxTotal);
            EXPECT_LT(robust.inclination, c.maxInclination);
            EXPECT_LT(robust.worstTotal, 4 * c.maxTotal);
            if (c.disturb) {
                EXPECT_LT(robust.total, standard.total) << "the point of the profile";
            }
        }
    }
}

// Linear acceleration that goes on: the tracker carried back and forth at
// about 1 Hz (up to 1.6 g horizontally, or 1.1 g horizontally and 0.5 g
// vertically: about the most the +-2 g accelerometer reads without clipping,
// gravity included), held still or turning at the same time, shaken by
// vibration, or moved near a magnet. Only the averaging over time separates
// gravity from such acceleration, so these bound how much of it leaks into
// the inclination (a first-order averaging let about 3 degrees through).
TEST(RobustOrientationFilter, KeepsTheInclinationUnderSustainedAcceleration) {
    const double rate = 100;
    const double g = sim::kGravity;
    // From 10 s to 110 s of a 120 s run.
    const sim::Oscillation sway{{1.4 * g, 0.7 * g, 0}, 1.0, 10, 110};
    const sim::Oscillation swayLess{{1.0 * g, 0.5 * g, 0}, 1.0, 10, 110};
    const sim::Oscillation bob{{0, 0, 0.5 * g}, 1.7, 10, 110};
    const sim::Oscillation vibration{{0.6 * g, -0.4 * g, 0.5 * g}, 37, 10, 110};
    const struct {
        const char* name;
        bool turning;  // the random motion, or held still
        std::vector<sim::Oscillation> oscillations;
        Disturbance disturb;
        double maxInclination;  // RMSE bound, degrees
    } cases[] = {
        {"carried back and forth, held still", false, {sway}, nullptr, 0.45},
        {"carried in all directions, held still", false, {swayLess, bob}, nullptr, 0.45},
        {"carried back and forth while turning", true, {sway}, nullptr, 0.75},
        {"carried in all directions while turning", true, {swayLess, bob}, nullptr, 0.75},
        {"vibration while turning", true, {vibration}, nullptr, 0.6},
        {"carried near a magnet while turning", true, {swayLess, bob}, magnetNear, 0.75},
    };
    for (const auto& c : cases) {
        for (std::uint64_t seed : {1, 2}) {
            SCOPED_TRACE(::testing::Message() << c.name << ", seed " << seed);
            sim::Motion motion;
            motion.kind = c.turning ? sim::Motion::Kind::Random : sim::Motion::Kind::Still;
            motion.seed = seed;
            motion.initial = sim::normalized({0.9, 0.2 * seed, -0.3, 0.1});
            motion.oscillations = c.oscillations;
            sim::Environment env = calibratedField();
            env.noiseSeed = seed;
            const SimRun run = simulate(env, motion, 120, rate, c.disturb);
            const Errors robust = score<RobustOrientationFilter>(run, rate, 5);
            std::cout << "[ SIMULATED] " << c.name << ", seed " << seed << ": robust total "
                      << robust.total << ", inclination " << robust.inclination << " deg RMSE\n";
            EXPECT_LT(robust.inclination, c.maxInclination);
        }
    }
}

TEST(RobustOrientationFilter, WorksAtTheStreamRateAndTheRecordingRate) {
    for (double rate : {100.0, 1e4 / 35, 50.0}) {
        SCOPED_TRACE(::testing::Message() << rate << " Hz");
        const Errors e = score<RobustOrientationFilter>(
            simulate(calibratedField(), 3, 60, rate, nullptr), rate, 5);
        EXPECT_LT(e.total, 3);
        EXPECT_LT(e.inclination, 1.5);
    }
}

TEST(RobustOrientationFilter, StartsFromTheFirstUsableAccelerometerReading) {
    RobustOrientationFilter filter;
    SensorSample s{};
    // No usable accelerometer yet: the identity, not started.
    for (float bad : {0.0f, kNaN}) {
        s.acc[0] = s.acc[1] = s.acc[2] = bad;
        filter.update(&s, &s, 1.0);
        EXPECT_FALSE(filter.initialised());
        EXPECT_EQ(s.quat[0], 1.0f);
    }
    // Tracker turned 90 degrees about its z axis (x pointing west) and
    // tilted: the first reading gives its orientation at once.
    const sim::Quat truth = sim::normalized({0.8, 0.1, -0.2, 0.55});
    const sim::Vec3 a = sim::rotate(truth, {0, 0, 9.81});
    const sim::Vec3 m = sim::rotate(truth, sim::inclinedField(48, 64));
    for (int i = 0; i < 3; ++i) {
        s.acc[i] = static_cast<float>(a[i]);
        s.mag[i] = static_cast<float>(m[i]);
        s.gyr[i] = 0;
    }
    filter.update(&s, &s, 1.0);
    EXPECT_TRUE(filter.initialised());
    double total = 0, inclination = 0, worst = 0;
    accumulate(s.quat, truth, total, inclination, worst);
    EXPECT_LT(worst, 0.01);
}

TEST(RobustOrientationFilter, EstimatesTheGyroscopeBiasAtRest) {
    sim::Environment env = calibratedField();
    env.gyroBias = {0.03, -0.02, 0.01};  // rad/s
    sim::Motion still;
    still.kind = sim::Motion::Kind::Still;
    sim::TruthIntegrator integrator(still);
    sim::SensorModel sensors(env);
    RobustOrientationFilter filter;
    for (std::uint64_t tick = 0; tick < 100000; tick += 100) {  // 10 s at 100 Hz
        const sim::PhysicalReading p =
            sensors.measure(tick, integrator.orientation(), integrator.advanceTo(tick));
        SensorSample s{};
        s.timestamp = static_cast<uint32_t>(tick);
        for (int i = 0; i < 3; ++i) {
            s.acc[i] = static_cast<float>(p.acc[i]);
            s.gyr[i] = static_cast<float>(p.gyr[i]);
            s.mag[i] = static_cast<float>(p.mag[i]);
        }
        filter.update(&s, &s, 1.0);
    }
    EXPECT_TRUE(filter.atRest());
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(filter.gyroBias()[i], env.gyroBias[i], 0.002) << i;
}

// Faults in the readings and the clock: the output stays a unit quaternion
// throughout and the estimate is still right afterwards.
TEST(RobustOrientationFilter, SurvivesUnusableReadingsAndTimestamps) {
    const SimRun run = simulate(calibratedField(), 4, 40, 100, nullptr);
    const std::size_t from = 1000, to = 1100;  // 10 s to 11 s
    const struct {
        const char* name;
        std::function<void(SensorSample&, std::size_t)> fault;
    } cases[] = {
        {"NaN everywhere",
         [](SensorSample& s, std::size_t) {
             for (float* v : {s.acc, s.gyr, s.mag}) v[0] = v[1] = v[2] = kNaN;
         }},
        {"infinite readings",
         [](SensorSample& s, std::size_t) {
             s.acc[1] = kInf;
             s.gyr[2] = -kInf;
             s.mag[0] = kInf;
         }},
        {"zero readings",
         [](SensorSample& s, std::size_t) {
             for (float* v : {s.acc, s.gyr, s.mag}) v[0] = v[1] = v[2] = 0;
         }},
        {"huge readings",
         [](SensorSample& s, std::size_t) {
             for (float* v : {s.acc, s.gyr, s.mag}) v[0] = v[1] = v[2] = 3e38f;
         }},
        {"timestamp repeated", [](SensorSample& s, std::size_t) { s.timestamp = 100000; }},
        {"timestamp going back",
         [](SensorSample& s, std::size_t k) {
             s.timestamp = static_cast<uint32_t>(200000 - 100 * k);
         }},
        // The clock wraps at 10.5 s: all later timestamps are shifted.
        {"clock wrap",
         [](SensorSample& s, std::size_t k) {
             if (k >= 1050)
                 s.timestamp -= 105000u;
             else
                 s.timestamp += 4294967295u - 105000u;
         }},
        {"gap of 5 s",
         [](SensorSample& s, std::size_t k) {
             if (k == from) s.timestamp += 50000;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RobustOrientationFilter filter;
        double total = 0, inclination = 0, worst = 0;
        std::size_t n = 0;
        bool unit = true;
        const bool wholeRun = std::string(c.name) == "clock wrap";
        for (std::size_t k = 0; k < run.samples.size(); ++k) {
            SensorSample s = run.samples[k];
            if (wholeRun || (k >= from && k < to)) c.fault(s, k);
            filter.update(&s, &s, 1.0);
            const double len = std::sqrt(s.quat[0] * s.quat[0] + s.quat[1] * s.quat[1] +
                                         s.quat[2] * s.quat[2] + s.quat[3] * s.quat[3]);
            unit = unit && std::fabs(len - 1) < 1e-5;
            if (k >= run.samples.size() - 1000) {  // the last 10 s
                accumulate(s.quat, run.truth[k], total, inclination, worst);
                ++n;
            }
        }
        EXPECT_TRUE(unit);
        EXPECT_LT(std::sqrt(total / n), 5);
        EXPECT_LT(std::sqrt(inclination / n), 2);
    }
}

}  // namespace
