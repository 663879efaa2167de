// Accuracy of the host orientation filters against ground truth: three trials
// of the BROAD benchmark with optical ground truth (both profiles), and
// simulated motion with the simulator's exact truth. The RMSE figures are
// printed for the record. The BROAD bounds follow the measured figures
// closely; the simulated ones are generous, they only catch a wrong
// convention (frame, sign, quaternion order, unit), which shows as tens of
// degrees.
//
// Data and error measure: D. Laidig, M. Caruso, A. Cereatti, T. Seel, "BROAD -
// A Benchmark for Robust Inertial Orientation Estimation", Data 6(7):72, 2021,
// doi:10.3390/data6070072 (data licence CC BY 4.0).
#include "accuracy.h"

#include <gtest/gtest.h>

#include <Eigen/Geometry>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "replay_csv.h"
#include "sensor_model.h"
#include "simulated_run.h"

namespace {

using Quorvane::testing::SimRun;
using Quorvane::testing::simulate;
using Replay::OrientationError;
using Replay::Quat;

constexpr double kDegrees = 180.0 / 3.14159265358979323846;

// Q_SW of a rotation by angle (degrees) about a world axis: the sensor turned
// by +angle, so world vectors seen from it turn by -angle.
Quat sensorTurnedAbout(const Eigen::Vector3d& worldAxis, double degrees) {
    const double h = -0.5 * degrees / kDegrees;
    const Eigen::Vector3d a = worldAxis.normalized() * std::sin(h);
    return Quat{std::cos(h), a(0), a(1), a(2)};
}

TEST(ErrorMeasure, SplitsTheErrorIntoHeadingAndInclination) {
    const Quat identity{1, 0, 0, 0};
    const struct {
        const char* name;
        Quat estimate;  // Q_SW; the truth is the identity
        double total, heading, inclination;
    } cases[] = {
        {"exact", identity, 0, 0, 0},
        {"same rotation, other sign", -identity, 0, 0, 0},
        {"heading off", sensorTurnedAbout({0, 0, 1}, 10), 10, 10, 0},
        {"tilted about north", sensorTurnedAbout({1, 0, 0}, -20), 20, 0, 20},
        {"tilted about west", sensorTurnedAbout({0, 1, 0}, 5), 5, 0, 5},
        {"upside down", sensorTurnedAbout({1, 0, 0}, 180), 180, 0, 180},
        {"turned round", sensorTurnedAbout({0, 0, 1}, 180), 180, 180, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const OrientationError e = Replay::orientationError(Replay::enuFromSensorWorld(c.estimate),
                                                            Replay::enuFromSensorWorld(identity));
        EXPECT_NEAR(e.total * kDegrees, c.total, 1e-6);
        EXPECT_NEAR(e.heading * kDegrees, c.heading, 1e-6);
        EXPECT_NEAR(e.inclination * kDegrees, c.inclination, 1e-6);
    }
    // A heading error and a tilt together: the total is the whole rotation.
    const OrientationError e =
        Replay::orientationError(Replay::enuFromSensorWorld(sensorTurnedAbout({0, 0, 1}, 30)),
                                 Replay::enuFromSensorWorld(sensorTurnedAbout({0, 1, 0}, 30)));
    EXPECT_GT(e.total * kDegrees, 40);
    EXPECT_GT(e.heading * kDegrees, 25);
    EXPECT_GT(e.inclination * kDegrees, 25);
}

// The benchmark's truth maps sensor vectors into East-North-Up; Q_SW maps
// north-west-up into the sensor frame. A level sensor facing north (Q_SW the
// identity) has its x axis pointing north, i.e. ENU's y.
TEST(ErrorMeasure, ConvertsToEastNorthUp) {
    const Quat q = Replay::enuFromSensorWorld(Quat{1, 0, 0, 0});
    const Eigen::Quaterniond enu(q.w, q.x, q.y, q.z);
    EXPECT_TRUE((enu * Eigen::Vector3d::UnitX()).isApprox(Eigen::Vector3d::UnitY()));
    EXPECT_TRUE((enu * Eigen::Vector3d::UnitY()).isApprox(-Eigen::Vector3d::UnitX()));
    EXPECT_TRUE((enu * Eigen::Vector3d::UnitZ()).isApprox(Eigen::Vector3d::UnitZ()));
    // A sensor turned 90 degrees towards the west (counter-clockwise from
    // above) has its x axis pointing west, ENU's -x.
    const Quat w = Replay::enuFromSensorWorld(sensorTurnedAbout({0, 0, 1}, 90));
    const Eigen::Quaterniond west(w.w, w.x, w.y, w.z);
    EXPECT_TRUE((west * Eigen::Vector3d::UnitX()).isApprox(-Eigen::Vector3d::UnitX()));
}

TEST(ErrorMeasure, RmseInDegrees) {
    Replay::RmseAccumulator a;
    EXPECT_EQ(a.result().samples, 0u);
    a.add({3 / kDegrees, 0, 4 / kDegrees});
    a.add({4 / kDegrees, 0, 3 / kDegrees});
    const Replay::Rmse r = a.result();
    EXPECT_EQ(r.samples, 2u);
    EXPECT_NEAR(r.total, std::sqrt(12.5), 1e-12);
    EXPECT_EQ(r.heading, 0);
    EXPECT_NEAR(r.inclination, std::sqrt(12.5), 1e-12);
}

// The three trials lie beside the repository (shared/data/broad). Both filter
// profiles run over each trial once. Each total RMSE is held within about 10 %
// of the figure it reached when the bound was set (the README quotes the
// averages), so a filter that got worse shows here, not only one with a wrong
// convention (tens of degrees).
const std::filesystem::path kBroad = QUORVANE_BROAD_DIR;

bool inContinuousIntegration() {
    const char* ci = std::getenv("CI");
    return ci && std::string(ci) == "true";
}

TEST(Accuracy, BroadTrials) {
    if (!std::filesystem::is_directory(kBroad)) {
        if (inContinuousIntegration())
            FAIL() << "BROAD trials not found in " << kBroad << ": CI must score the filters";
        GTEST_SKIP() << "BROAD trials not found in " << kBroad
                     << "; the filters' accuracy on them is not checked";
    }
    // Bounds on the total RMSE in degrees, measured figures in the comments.
    const struct {
        const char* file;
        double defaultTotal, robustTotal;
    } trials[] = {{"02_undisturbed_slow_rotation_B.csv", 1.95, 1.45},     // 1.77, 1.40
                  {"07_undisturbed_fast_rotation_B.csv", 19.1, 1.75},     // 17.33, 1.58
                  {"29_disturbed_stationary_magnet_B.csv", 11.9, 1.65}};  // 10.84, 1.49
    const double kDefaultMean = 11.0, kRobustMean = 1.65;                 // 9.98, 1.49
    double sumDefault = 0, sumRobust = 0;
    std::printf("[ BROAD    ] %-38s %-8s %7s %8s %12s (deg RMSE)\n", "trial", "profile", "total",
                "heading", "inclination");
    for (const auto& trial : trials) {
        SCOPED_TRACE(trial.file);
        const std::string path = (kBroad / trial.file).string();
        const std::string text = Replay::readFile(path);
        const Replay::Rmse d = Replay::scoreRecording(text, path, Quorvane::StandardProfile);
        const Replay::Rmse r = Replay::scoreRecording(text, path, Quorvane::RobustProfile);
        for (const auto& [name, e] : {std::pair{"default", d}, std::pair{"robust", r}})
            std::printf("[ BROAD    ] %-38s %-8s %7.2f %8.2f %12.2f\n", trial.file, name, e.total,
                        e.heading, e.inclination);
        RecordProperty(trial.file, Replay::describe(d));
        RecordProperty(std::string(trial.file) + " robust", Replay::describe(r));

        EXPECT_GT(d.samples, 30000u) << "the moving samples with truth";
        EXPECT_LT(d.total, trial.defaultTotal) << "default profile";
        EXPECT_GT(r.samples, 30000u) << "the moving samples with truth";
        EXPECT_LT(r.total, trial.robustTotal) << "robust profile";
        sumDefault += d.total;
        sumRobust += r.total;
    }
    const double n = std::size(trials);
    std::printf("[ BROAD    ] average total: default %.2f, robust %.2f\n", sumDefault / n,
                sumRobust / n);
    std::fflush(stdout);
    EXPECT_LT(sumDefault / n, kDefaultMean) << "default profile, mean total RMSE";
    EXPECT_LT(sumRobust / n, kRobustMean) << "robust profile, mean total RMSE";
}

Quat truthOf(const sim::Quat& q) {
    return Quat{q.w, q.x, q.y, q.z};
}

// RMSE of the filter over a simulated run, leaving out the first seconds.
Replay::Rmse scoreSimulated(const SimRun& run, unsigned rateHz, double settleSeconds) {
    std::vector<SensorSample> samples = run.samples;
    Replay::replay(samples);
    Replay::RmseAccumulator rmse;
    for (size_t k = static_cast<size_t>(settleSeconds * rateHz); k < samples.size(); ++k) {
        const float* q = samples[k].quat;
        rmse.add(Replay::orientationError(Replay::enuFromSensorWorld(Quat{q[0], q[1], q[2], q[3]}),
                                          Replay::enuFromSensorWorld(truthOf(run.truth[k]))));
    }
    return rmse.result();
}

TEST(Accuracy, SimulatedMotion) {
    const unsigned rate = 100;
    // Magnetometer calibrated (no hard or soft iron left): the filter's own error.
    sim::Environment calibrated;
    calibrated.softIron = sim::identity3();
    calibrated.hardIron = {0, 0, 0};
    // As a tracker sends it before a magnetometer calibration: the mounting's
    // hard and soft iron still in the field.
    const sim::Environment uncalibrated;
    for (std::uint64_t seed : {1, 2, 3}) {
        SCOPED_TRACE(::testing::Message() << "motion seed " << seed);
        const Replay::Rmse r = scoreSimulated(simulate(calibrated, seed, 60, rate), rate, 2);
        const Replay::Rmse raw = scoreSimulated(simulate(uncalibrated, seed, 60, rate), rate, 2);
        std::cout << "[ SIMULATED] seed " << seed << ", calibrated field: " << Replay::describe(r)
                  << "\n[ SIMULATED] seed " << seed
                  << ", uncalibrated field: " << Replay::describe(raw) << "\n";
        EXPECT_LT(r.total, 10);
        EXPECT_LT(r.inclination, 5);
        EXPECT_LT(raw.total, 30) << "hard and soft iron bend the heading, not more";
    }
}

}  // namespace
