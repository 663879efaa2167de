// How the simulated tracker is moved, and its true orientation over time.
//
// Frames: the world has z up and x towards magnetic north; the true
// orientation Q_SW maps world vectors into the sensor frame
// (v_S = q (x) v_W (x) q*). Angular velocity is given in the sensor frame,
// linear acceleration in the world frame.
#pragma once

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "vec_math.h"

namespace sim {

// One piece of a scripted motion: constant rates for a while.
struct MotionSegment {
    double duration = 1;               // s, > 0
    Vec3 angularVelocity{0, 0, 0};     // rad/s, sensor frame
    Vec3 linearAcceleration{0, 0, 0};  // m/s^2, world frame, gravity not included
};

// A sinusoidal linear acceleration laid over a motion, from `from` for the
// whole periods that fit before `until` (s since the motion began):
//   a(t) = amplitude cos(2 pi frequency (t - from)).
// Starting with the cosine, the velocity amplitude / w sin(...) starts at
// zero and the position swings about amplitude / w^2 without drifting away;
// after the last whole period the tracker is at rest where it started:
// back-and-forth translation (about 1 Hz at several g) or vibration (tens of
// Hz, a few g). It does not change the orientation.
struct Oscillation {
    Vec3 amplitude{0, 0, 0};  // m/s^2, world frame
    double frequency = 1;     // Hz, > 0
    double from = 0;          // s
    double until = 1e300;     // s
};

struct Motion {
    enum class Kind {
        Still,     // at rest the whole time
        Scripted,  // the segments of script, repeated from the start when done
        Random,    // smooth seeded trajectories: rests, slow and fast rotations about
                   // every axis, back-and-forth linear accelerations
    };
    Kind kind = Kind::Random;
    std::vector<MotionSegment> script;      // Scripted: at least one segment
    std::uint64_t seed = 1;                 // Random: same seed, same trajectory
    Quat initial{};                         // Q_SW at power-up; normalised when used
    std::vector<Oscillation> oscillations;  // added to any kind's linear acceleration
};

// Text form of a script, one segment per line:
//   DURATION_S  WX WY WZ [AX AY AZ]
// angular velocity in deg/s about the sensor axes, optional linear
// acceleration in m/s^2 along the world axes. Durations are rounded to the
// device clock's 100 us. Blank lines and text after '#'
// are ignored. Throws std::invalid_argument naming the bad line.
std::vector<MotionSegment> parseMotionScript(const std::string& text);

// What the tracker undergoes at one instant.
struct MotionState {
    Vec3 angularVelocity{0, 0, 0};     // rad/s, sensor frame
    Vec3 linearAcceleration{0, 0, 0};  // m/s^2, world frame
};

// The rates as functions of time in device ticks (100 us) since the motion
// began; ticks may be fractional. Queries must not go back in time by more
// than a few seconds (the random trajectory forgets old segments).
class MotionProfile {
  public:
    virtual ~MotionProfile() = default;
    // Segments are half-open on the left, (start, end]: the rate at a segment's
    // end is still that segment's, so a sample taken at a boundary reports the
    // rate that turned the tracker up to it.
    virtual MotionState at(double ticks) = 0;
};

std::unique_ptr<MotionProfile> makeMotionProfile(const Motion& motion);

// The true orientation, advanced on the device clock (100 us ticks since
// power-up) in sub-steps of at most 1 ms:
//   q_{k+1} = exp(-T w_S / 2) (x) q_k,
// with w_S the sensor-frame rate at the middle of the sub-step, exactly the
// rule a host applies to the gyroscope readings.
class TruthIntegrator {
  public:
    explicit TruthIntegrator(const Motion& motion);

    // Replaces the motion from the current tick on; the orientation carries on
    // unless resetOrientation, then it becomes motion.initial.
    void setMotion(const Motion& motion, bool resetOrientation);

    // Advances to tick (never backwards) and returns the state there.
    MotionState advanceTo(std::uint64_t tick);
    const Quat& orientation() const { return q_; }
    std::uint64_t tick() const { return tick_; }

  private:
    std::unique_ptr<MotionProfile> profile_;
    std::uint64_t origin_ = 0;  // tick at which the profile's time 0 lies
    std::uint64_t tick_ = 0;
    Quat q_;
    MotionState state_;
};

}  // namespace sim
