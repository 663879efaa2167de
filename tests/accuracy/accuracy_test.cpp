// Accuracy of the host orientation filter against ground truth: three trials
// of the BROAD benchmark with optical ground truth, and simulated motion with
// the simulator's exact truth. The RMSE figures are printed for the record;
// the bounds are generous on purpose, they only catch a wrong convention
// (frame, sign, quaternion order, unit), which shows as tens of degrees.
//
// Data and error measure: D. Laidig, M. Caruso, A. Cereatti, T. Seel, "BROAD -
// A Benchmark for Robust Inertial Orientation Estimation", Data 6(7):72, 2021,
// doi:10.3390/data6070072 (data licence CC BY 4.0).
#include "accuracy.h"

#include <gtest/gtest.h>

#include <Eigen/Geometry>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "chip_model.h"
#include "motion.h"
#include "replay_csv.h"
#include "sensor_model.h"

namespace {

using Replay::OrientationError;
using Replay::Quat;

constexpr double kDegrees = 180.0 / 3.14159265358979323846;

// Q_SW of a rotation by angle (degrees) about a world axis: the sensor turned
// by +angle, so world vectors seen from it turn by -angle.
Quat sensorTurnedAbout(const Eigen::Vector3d& worldAxis, double degrees) {
    const double h = -0.5 * degrees / kDegrees;
    const Eigen::Vector3d a = worldAxis.normalized() * std::sin(h);
    return Quat(std::cos(h), a(0), a(1), a(2));
}

TEST(ErrorMeasure, SplitsTheErrorIntoHeadingAndInclination) {
    const Quat identity(1, 0, 0, 0);
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
    const Quat q = Replay::enuFromSensorWorld(Quat(1, 0, 0, 0));
    const Eigen::Quaterniond enu(q(0), q(1), q(2), q(3));
    EXPECT_TRUE((enu * Eigen::Vector3d::UnitX()).isApprox(Eigen::Vector3d::UnitY()));
    EXPECT_TRUE((enu * Eigen::Vector3d::UnitY()).isApprox(-Eigen::Vector3d::UnitX()));
    EXPECT_TRUE((enu * Eigen::Vector3d::UnitZ()).isApprox(Eigen::Vector3d::UnitZ()));
    // A sensor turned 90 degrees towards the west (counter-clockwise from
    // above) has its x axis pointing west, ENU's -x.
    const Quat w = Replay::enuFromSensorWorld(sensorTurnedAbout({0, 0, 1}, 90));
    const Eigen::Quaterniond west(w(0), w(1), w(2), w(3));
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

// The three trials lie beside the repository (shared/data/broad).
const std::filesystem::path kBroad = QUORVANE_BROAD_DIR;

TEST(Accuracy, BroadTrials) {
    if (!std::filesystem::is_directory(kBroad))
        GTEST_SKIP() << "BROAD trials not found in " << kBroad;
    const char* trials[] = {"02_undisturbed_slow_rotation_B.csv",
                            "07_undisturbed_fast_rotation_B.csv",
                            "29_disturbed_stationary_magnet_B.csv"};
    double sum = 0;
    for (const char* trial : trials) {
        SCOPED_TRACE(trial);
        const std::string path = (kBroad / trial).string();
        const Replay::Rmse r = Replay::scoreRecording(Replay::readFile(path), path);
        std::cout << "[ BROAD    ] " << trial << ": " << Replay::describe(r) << "\n";
        RecordProperty(trial, Replay::describe(r));
        EXPECT_GT(r.samples, 30000u) << "the moving samples with truth";
        // Published filters reach a few degrees, this one between 2 and 20;
        // a wrong convention gives tens of degrees.
        EXPECT_LT(r.total, 45);
        EXPECT_LT(r.inclination, 20) << "gravity alone fixes the inclination";
        sum += r.total;
    }
    EXPECT_LT(sum / 3, 25) << "mean total RMSE";
}

// Simulated motion: the simulator's trajectory, physics and chips without the
// serial line, at a fixed rate.
struct Simulated {
    std::vector<SensorSample> samples;
    std::vector<Quat> truth;  // Q_SW of each sample
};

Simulated simulate(const sim::Environment& environment, std::uint64_t motionSeed, double seconds,
                   unsigned rateHz) {
    sim::Motion motion;  // random: rests, slow and fast turns, linear accelerations
    motion.seed = motionSeed;
    sim::TruthIntegrator integrator(motion);
    sim::SensorModel sensors(environment);
    const sim::ChipModel& chip = sim::ChipModel::unit();
    const CalibrationData record = sim::factoryCalibration(chip);
    const unsigned magDivider = 3;  // the library's default configuration
    Simulated s;
    const auto count = static_cast<std::uint64_t>(seconds * rateHz);
    for (std::uint64_t k = 0; k < count; ++k) {
        const std::uint64_t tick = k * 10000 / rateHz;
        const sim::MotionState state = integrator.advanceTo(tick);
        const sim::Quat& q = integrator.orientation();
        const sim::CalibratedReading c = sim::applyCalibration(
            record, sim::toRaw(chip, sensors.measure(tick, q, state), magDivider), magDivider);
        SensorSample sample{};
        sample.timestamp = static_cast<uint32_t>(tick);
        for (int i = 0; i < 3; ++i) {
            sample.acc[i] = static_cast<float>(c.acc[i]);
            sample.gyr[i] = static_cast<float>(c.gyr[i]);
            sample.mag[i] = static_cast<float>(c.mag[i]);
        }
        s.samples.push_back(sample);
        s.truth.emplace_back(q.w, q.x, q.y, q.z);
    }
    return s;
}

// RMSE of the filter over a simulated run, leaving out the first seconds.
Replay::Rmse scoreSimulated(const Simulated& run, unsigned rateHz, double settleSeconds) {
    std::vector<SensorSample> samples = run.samples;
    Replay::replay(samples);
    Replay::RmseAccumulator rmse;
    for (size_t k = static_cast<size_t>(settleSeconds * rateHz); k < samples.size(); ++k) {
        const float* q = samples[k].quat;
        rmse.add(Replay::orientationError(Replay::enuFromSensorWorld(Quat(q[0], q[1], q[2], q[3])),
                                          Replay::enuFromSensorWorld(run.truth[k])));
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
