// The tracker's robust host orientation filter: the opt-in alternative to
// OrientationFilter for users who want the most accurate orientation the host
// can compute, also under fast motion and magnetic disturbances.
//
// Structure (ideas from D. Laidig and T. Seel, "VQF: Highly accurate IMU
// orientation estimation with bias estimation and magnetic disturbance
// rejection", Information Fusion 91:187-204, 2023; the implementation is our
// own): the orientation is split into three factors,
//   q_WS = heading(psi) (x) tilt (x) q_gyro,
// q_gyro: strapdown integration of the bias-corrected gyroscope (sensor to a
//   quasi-inertial frame I that drifts slowly);
// tilt: the inclination correction, from the accelerometer low-pass filtered
//   (second order, see kAccTau) in the frame I, where gravity is constant and
//   the linear acceleration of a bounded motion averages out, so neither fast
//   rotation nor translation smears it;
// heading(psi): a rotation about the vertical only, from the horizontal part
//   of the magnetometer, so the magnetometer can never tilt the estimate; it
//   is left out while the field's norm or dip angle disagree with learned
//   reference values, and a new field that stays consistent while the tracker
//   turns becomes the reference.
// The gyroscope bias is estimated at rest (gyroscope and accelerometer nearly
// constant over a window) and, slowly, during motion from the inclination
// corrections (the integral feedback of R. Mahony, T. Hamel, J.-M. Pflimlin,
// "Nonlinear complementary filters on the special orthogonal group", IEEE
// Trans. Automatic Control 53(5):1203-1218, 2008).
// A magnet fixed to the board adds a constant field in the sensor frame: as
// the tracker turns, the sum's norm and dip swing far from the reference, so
// the magnetometer is rejected and the heading rests on the bias-corrected
// gyroscope until the magnet is removed (a fixed disturbance small enough to
// keep norm and dip consistent while turning is accepted as the new field).
//
// Frames and units as OrientationFilter: Q_SW maps world vectors into the
// sensor frame, world z up and x towards magnetic north; timestamp in 100 us
// ticks, acc in m/s^2, gyr in rad/s, mag in any unit.
#pragma once

#include <cstdint>

#include "aligned_new.h"
#include "device_clock.h"
#include "quaternion.h"
#include "quorvane.h"

namespace Quorvane {

class RobustOrientationFilter : public Utils::AlignedNew {
  public:
    RobustOrientationFilter();
    RobustOrientationFilter(const RobustOrientationFilter&) = delete;
    RobustOrientationFilter& operator=(const RobustOrientationFilter&) = delete;
    virtual ~RobustOrientationFilter();

    // Processes one sample and writes only out->quat (a unit Q_SW); in and
    // out may be the same sample. Until the first usable accelerometer
    // reading the answer is the identity; that reading (with the magnetometer,
    // if usable) starts the estimate. gain is accepted for the caller's
    // interface and ignored: this filter sets its own, physically motivated
    // time constants, and jitter reduction would only delay it. The time step
    // follows DeviceClock: the clock's wrap is harmless, a step back or of
    // zero integrates nothing, a step longer than kMaxStepSeconds is cut to
    // it. Unusable readings (NaN, infinite, zero, gyroscope beyond kMaxRate)
    // are skipped. No heap allocation; not synchronised.
    void update(const SensorSample* in, SensorSample* out, double gain);

    bool initialised() const { return initialised_; }

    // Introspection for tests and tuning.
    const double* gyroBias() const { return bias_; }  // rad/s, sensor frame
    bool atRest() const { return restSeconds_ >= kRestMinSeconds; }
    bool magneticDisturbance() const { return magDisturbed_; }

    // Tuning constants: times in s, angles in rad, accelerations in m/s^2.
    //
    // Longest time step integrated, s. The tracker streams at 100 Hz or more;
    // a longer gap means lost samples, and integrating a stale rate over it
    // would do more harm than dropping the rest of the gap.
    static constexpr double kMaxStepSeconds = 0.1;
    // Fastest credible gyroscope reading, rad/s (about 11500 deg/s, far above
    // any MEMS range); faster values are faults.
    static constexpr double kMaxRate = 200.0;
    // Time constant of the accelerometer low-pass filter in the frame I, s:
    // how long the inclination takes to follow gyroscope drift (a drift of
    // b rad/s leaves a tilt error of about b * kAccTau). Long enough that the
    // linear acceleration of hand and body motion averages out, short enough
    // that drift is corrected well before it grows; 3 s is the value found
    // best on varied motion in VQF.
    //
    // The filter is a second-order Butterworth low-pass with cutoff
    // fc = sqrt(2) / (2 pi kAccTau) (the choice of VQF): its delay at low
    // frequencies is kAccTau, as for a first-order filter with that time
    // constant, so drift is followed as quickly, but linear acceleration is
    // attenuated by 40 dB per decade instead of 20. The difference matters
    // under translation: a first-order filter passes the velocity the
    // acceleration builds up, v / kAccTau (1 m/s of hand speed tilts it by
    // 2 degrees), while the second-order one passes only about the
    // displacement, 2 x / kAccTau^2 (0.1 degrees for 10 cm).
    static constexpr double kAccTau = 3.0;
    // Standard gravity, m/s^2.
    static constexpr double kGravity = 9.81;
    // Rest detection: the gyroscope within kRestGyr of, and the accelerometer
    // within kRestAcc of, their low-pass values (time constant kRestTau) and
    // the turn rate below kRestMaxRate, continuously for kRestMinSeconds.
    // The thresholds sit a few noise deviations above a MEMS sensor's noise
    // at rest (about 0.1 deg/s and 0.02 m/s^2 per sample).
    static constexpr double kRestTau = 0.5;         // s
    static constexpr double kRestGyr = 0.035;       // rad/s (2 deg/s)
    static constexpr double kRestAcc = 0.5;         // m/s^2
    static constexpr double kRestMaxRate = 0.087;   // rad/s (5 deg/s): larger is motion, not bias
    static constexpr double kRestMinSeconds = 1.5;  // s
    static constexpr double kRestBiasTau = 1.5;     // s, bias follows the gyroscope at rest
    // Bias estimation in motion: time constant of the integral feedback from
    // the inclination corrections, s. Much longer than kAccTau so that the
    // loop through the low-pass filter stays stable and linear acceleration
    // averages out; the bias of a MEMS gyroscope changes over minutes.
    static constexpr double kMotionBiasTau = 20.0;
    // The feedback runs only in calm motion: |a| within kBiasGateAcc of g
    // (m/s^2) and a turn rate below kBiasGateRate (rad/s, about 57 deg/s).
    // Beyond, lever-arm and centripetal accelerations of fast handling do not
    // average out within kAccTau and would bend the bias (on recorded fast
    // motion the ungated feedback tripled the error).
    static constexpr double kBiasGateAcc = 1.0;
    static constexpr double kBiasGateRate = 1.0;
    // Largest bias the estimate may reach, rad/s (3 deg/s, beyond any
    // factory-calibrated MEMS gyroscope).
    static constexpr double kMaxBias = 0.052;
    // Heading correction time constant, s: the gyroscope alone keeps the
    // heading for tens of seconds, so the magnetometer only needs to remove
    // slow drift, and a short disturbance that slips through does little.
    static constexpr double kMagTau = 9.0;
    // Largest heading error (rad, 10 deg) a single reading may pull with:
    // bounded influence for the distortions the norm and dip tests cannot see
    // (a few uT across the horizontal field turn it without changing either).
    static constexpr double kMagErrorClip = 0.175;
    // Magnetic disturbance detection: the field's norm more than
    // kMagNormTol (relative) or its dip angle more than kMagDipTol (rad) away
    // from the reference. The earth field is the same everywhere in a room;
    // iron and magnets change both by more than this. The reference follows
    // slow changes with kMagRefTau while undisturbed.
    static constexpr double kMagNormTol = 0.1;
    static constexpr double kMagDipTol = 0.175;  // rad (10 deg)
    static constexpr double kMagRefTau = 20.0;   // s
    // A different field that stays within these tolerances of itself for
    // kMagNewSeconds of turning (rate above kMagNewMinRate) is a new homogeneous
    // field (other room, board magnetised) and becomes the reference. A local
    // disturbance changes as the tracker moves and never qualifies.
    static constexpr double kMagNewSeconds = 20.0;
    static constexpr double kMagNewMinRate = 0.35;  // rad/s (20 deg/s)

  private:
    using Vec3d = Filtering::Vec3d;
    using Quatd = Filtering::Quatd;

    void start(const Vec3d& acc, const Vec3d* mag, uint32_t timestamp);
    void updateRest(const Vec3d& gyr, const Vec3d& acc, double dt);
    void correctTilt(const Vec3d& acc, double dt);
    void settleAxes();
    void stepAxes();
    void correctHeading(const Vec3d& mag, double rate, double dt);
    void writeOutput(SensorSample* out) const;

    bool initialised_ = false;
    DeviceClock clock_{kMaxStepSeconds};

    Quatd gyroQuat_{1, 0, 0, 0};  // q_IS: sensor to the quasi-inertial frame
    Quatd tilt_{1, 0, 0, 0};      // frame I to the levelled frame
    double heading_ = 0;          // rad, rotation about world z, levelled frame to world
    double bias_[3] = {0, 0, 0};

    // Second-order Butterworth low-pass of a 3-vector (see kAccTau), in
    // direct form I: it keeps the last two inputs and outputs, so a change of
    // the time step (and with it of the coefficients) leaves a meaningful
    // state.
    struct LowPassCoefficients {
        double b0 = 0, a1 = 0, a2 = 0;  // b1 = 2 b0, b2 = b0
        double dt = -1;                 // s, the step they are for
    };
    struct LowPass {
        Vec3d in1{0, 0, 0}, in2{0, 0, 0};    // x[k-1], x[k-2]
        Vec3d out1{0, 0, 0}, out2{0, 0, 0};  // y[k-1], y[k-2]: out1 is the output
        void settle(const Vec3d& x) { in1 = in2 = out1 = out2 = x; }
        void step(const LowPassCoefficients& c, const Vec3d& x);
    };
    LowPassCoefficients lowPassCoeffs_;
    LowPass accLowPass_;  // accelerometer in frame I, m/s^2
    // The sensor axes seen in frame I (the columns of R_IS), through the same
    // low-pass: the rotation the accelerometer low-pass's output stems from,
    // for attributing its corrections to the gyroscope axes.
    LowPass axisLowPass_[3];
    Vec3d lastRate_{0, 0, 0};  // bias-corrected gyroscope, rad/s

    // Rest detection.
    Vec3d restGyr_{0, 0, 0}, restAcc_{0, 0, 0};
    double restSeconds_ = 0;

    // Magnetometer.
    bool headingKnown_ = false;
    bool magDisturbed_ = false;
    double magNormRef_ = 0, magDipRef_ = 0;  // reading's unit; rad
    double candNorm_ = 0, candDip_ = 0, candSeconds_ = 0;
};

}  // namespace Quorvane
