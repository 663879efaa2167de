// Samples of the simulator's random motion (rests, slow and fast turns,
// linear accelerations) through its physics and chips, without the serial
// line, with the true orientation of each: for scoring a host filter.
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#include "chip_model.h"
#include "motion.h"
#include "quorvane.h"
#include "sensor_model.h"

namespace Quorvane::testing {

// What a disturbance does to one calibrated reading: t in s, q the true Q_SW.
using Disturbance = std::function<void(double t, const sim::Quat& q, sim::CalibratedReading&)>;

struct SimRun {
    std::vector<SensorSample> samples;
    std::vector<sim::Quat> truth;  // Q_SW of each sample
};

// seconds of the motion, sampled at rateHz and calibrated with the factory
// record, as the library's default configuration streams it.
inline SimRun simulate(const sim::Environment& env, const sim::Motion& motion, double seconds,
                       double rateHz, const Disturbance& disturb = nullptr) {
    sim::TruthIntegrator integrator(motion);
    sim::SensorModel sensors(env);
    const sim::ChipModel& chip = sim::ChipModel::unit();
    const CalibrationData record = sim::factoryCalibration(chip);
    const unsigned magDivider = 3;
    SimRun run;
    const auto count = static_cast<std::uint64_t>(seconds * rateHz);
    for (std::uint64_t k = 0; k < count; ++k) {
        const auto tick = static_cast<std::uint64_t>(std::llround(k * 1e4 / rateHz));
        const sim::MotionState state = integrator.advanceTo(tick);
        const sim::Quat& q = integrator.orientation();
        sim::CalibratedReading c = sim::applyCalibration(
            record, sim::toRaw(chip, sensors.measure(tick, q, state), magDivider), magDivider);
        if (disturb) disturb(tick * 1e-4, q, c);
        SensorSample s{};
        s.timestamp = static_cast<uint32_t>(tick);
        for (int i = 0; i < 3; ++i) {
            s.acc[i] = static_cast<float>(c.acc[i]);
            s.gyr[i] = static_cast<float>(c.gyr[i]);
            s.mag[i] = static_cast<float>(c.mag[i]);
        }
        run.samples.push_back(s);
        run.truth.push_back(q);
    }
    return run;
}

// The random motion from the given seed.
inline SimRun simulate(const sim::Environment& env, std::uint64_t seed, double seconds,
                       double rateHz, const Disturbance& disturb = nullptr) {
    sim::Motion motion;
    motion.seed = seed;
    return simulate(env, motion, seconds, rateHz, disturb);
}

}  // namespace Quorvane::testing
