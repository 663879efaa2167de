// What the sensors feel, given the true motion: the physics between the
// trajectory and the chips.
//   accelerometer  f = R(q) (a_lin_W + (0, 0, 9.81)) + noise        [m/s^2]
//   gyroscope      w = w_S + bias + noise                            [rad/s]
//   magnetometer   m = S R(q) B_W + h + noise                        [uT]
//                  (S soft iron, h hard iron of the environment)
//   temperature    warms from 24 towards 27 deg C after power-up with
//                  a slow 0.3 deg C wobble, plus noise              [deg C]
#pragma once

#include <cmath>
#include <cstdint>
#include <random>

#include "chip_model.h"
#include "motion.h"

namespace sim {

// Field of strength uT pointing north and inclinationDegrees below the horizon.
inline Vec3 inclinedField(double microtesla, double inclinationDegrees) {
    const double a = inclinationDegrees * 3.14159265358979323846 / 180;
    return {microtesla * std::cos(a), 0, -microtesla * std::sin(a)};
}

struct Environment {
    // Earth field in the world frame, uT: 48 uT inclined 64 degrees downward.
    Vec3 field = inclinedField(48, 64);
    // Soft iron of the mounting, dimensionless; default a mild distortion.
    Mat3 softIron{{{1.04, 0.02, -0.01}, {0.02, 0.97, 0.03}, {-0.01, 0.03, 1.01}}};
    Vec3 hardIron{6.0, -4.0, 9.0};         // uT
    Vec3 gyroBias{0.002, -0.0015, 0.001};  // rad/s, left after the factory calibration
    double noiseScale = 1;                 // multiplies every noise level; 0: noiseless
    std::uint64_t noiseSeed = 1;           // same seed, same noise sequence
};

// Standard deviations at noiseScale 1.
constexpr double kAccNoise = 0.02;          // m/s^2
constexpr double kGyroNoise = 0.002;        // rad/s
constexpr double kMagNoise = 0.15;          // uT
constexpr double kTemperatureNoise = 0.02;  // deg C

class SensorModel {
  public:
    explicit SensorModel(const Environment& environment);

    // The reading at tick (100 us since power-up) for orientation q and motion state.
    PhysicalReading measure(std::uint64_t tick, const Quat& q, const MotionState& state);

  private:
    Vec3 noise(double sigma);

    Environment env_;
    std::mt19937_64 rng_;
    std::normal_distribution<double> normal_;
};

}  // namespace sim
