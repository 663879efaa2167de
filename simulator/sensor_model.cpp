#include "sensor_model.h"

#include <cmath>

namespace sim {

SensorModel::SensorModel(const Environment& environment)
    : env_(environment), rng_(environment.noiseSeed) {}

Vec3 SensorModel::noise(double sigma) {
    const double s = sigma * env_.noiseScale;
    if (s == 0) return {0, 0, 0};
    return {s * normal_(rng_), s * normal_(rng_), s * normal_(rng_)};
}

PhysicalReading SensorModel::measure(std::uint64_t tick, const Quat& q, const MotionState& state) {
    const Mat3 R = rotationMatrix(q);  // world -> sensor
    PhysicalReading p;
    // Specific force: what holds the tracker up plus what accelerates it.
    p.acc = R * (state.linearAcceleration + Vec3{0, 0, kGravity}) + noise(kAccNoise);
    p.gyr = state.angularVelocity + env_.gyroBias + noise(kGyroNoise);
    p.mag = env_.softIron * (R * env_.field) + env_.hardIron + noise(kMagNoise);
    const double t = 1e-4 * static_cast<double>(tick);  // s since power-up
    const double drift =
        3 * (1 - std::exp(-t / 300)) + 0.3 * std::sin(2 * 3.14159265358979 * t / 120);
    p.temperature = 24 + drift + env_.noiseScale * kTemperatureNoise * normal_(rng_);
    return p;
}

}  // namespace sim
