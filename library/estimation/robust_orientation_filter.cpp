#include "robust_orientation_filter.h"

#include <algorithm>
#include <cmath>

namespace Quorvane {
namespace {

using Filtering::Quatd;
using Filtering::Vec3d;

Vec3d vec(const float v[3]) {
    return {v[0], v[1], v[2]};
}
// Factor of a first-order low-pass filter with time constant tau for step dt:
// y += alpha (x - y).
double lowPassFactor(double dt, double tau) {
    return 1.0 - std::exp(-dt / tau);
}
// Second-order Butterworth low-pass with DC delay tau for step dt: cutoff
// fc = sqrt(2) / (2 pi tau), discretised by the bilinear transform with the
// cutoff prewarped, C = tan(pi fc dt) = tan(dt / (sqrt(2) tau)):
//   D = C^2 + sqrt(2) C + 1,  b0 = C^2 / D,  b1 = 2 b0,  b2 = b0,
//   a1 = 2 (C^2 - 1) / D,  a2 = (C^2 - sqrt(2) C + 1) / D.
void butterworth(double dt, double tau, double& b0, double& a1, double& a2) {
    const double c = std::tan(dt / (std::sqrt(2.0) * tau));
    const double c2 = c * c;
    const double d = c2 + std::sqrt(2.0) * c + 1;
    b0 = c2 / d;
    a1 = 2 * (c2 - 1) / d;
    a2 = (c2 - std::sqrt(2.0) * c + 1) / d;
}
const Vec3d kAxes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};

double wrapAngle(double a) {
    return std::atan2(std::sin(a), std::cos(a));
}

// Q_WS (sensor to world) from the accelerometer and, if given, the
// magnetometer: world z along a, world x along the horizontal part of m.
Quatd initialAttitude(const Vec3d& a, const Vec3d* m) {
    const Vec3d z = (1.0 / norm(a)) * a;
    Vec3d x{1, 0, 0};
    if (m) {
        x = *m - dot(*m, z) * z;
    } else {
        // Any horizontal direction: the sensor axis least aligned with z.
        const Vec3d e = std::fabs(z.x) < 0.9 ? Vec3d{1, 0, 0} : Vec3d{0, 1, 0};
        x = e - dot(e, z) * z;
    }
    x = (1.0 / norm(x)) * x;
    const Vec3d y = cross(z, x);
    // R_WS (sensor to world) has the world axes seen in the sensor frame as rows.
    const double R[9] = {x.x, x.y, x.z, y.x, y.y, y.z, z.x, z.y, z.z};
    return normalised(Filtering::fromRotationMatrix(R));
}

}  // namespace

RobustOrientationFilter::RobustOrientationFilter() = default;
RobustOrientationFilter::~RobustOrientationFilter() = default;

void RobustOrientationFilter::update(const SensorSample* in, SensorSample* out, double gain) {
    (void)gain;  // see the header: the time constants are fixed in seconds
    const Vec3d gyr = vec(in->gyr);
    const Vec3d acc = vec(in->acc);
    const Vec3d mag = vec(in->mag);
    const bool gyrOk = finite(gyr) && norm(gyr) <= kMaxRate;
    const double accNorm = norm(acc);
    const bool accOk = finite(acc) && accNorm > 1e-6 && accNorm < 1e6;
    const double magNorm = norm(mag);
    const bool magOk = finite(mag) && magNorm > 1e-12 && magNorm < 1e12 &&
                       (!accOk || norm(cross(acc, mag)) > 1e-6 * accNorm * magNorm);

    if (!initialised_) {
        if (accOk) start(acc, magOk ? &mag : nullptr, in->timestamp);
        writeOutput(out);
        return;
    }

    const double dt = clock_.advance(in->timestamp) * DeviceClock::kSecondsPerTick;

    double rate = 0;  // bias-corrected turn rate, rad/s
    if (gyrOk) {
        const Vec3d w = gyr - Vec3d{bias_[0], bias_[1], bias_[2]};
        rate = norm(w);
        lastRate_ = w;
        gyroQuat_ = normalised(gyroQuat_ * fromRotationVector(dt * w));
        if (accOk) updateRest(gyr, acc, dt);
    } else {
        restSeconds_ = 0;
    }
    if (accOk) correctTilt(acc, dt);
    if (magOk) {
        correctHeading(mag, rate, dt);
    }
    writeOutput(out);
}

void RobustOrientationFilter::start(const Vec3d& acc, const Vec3d* mag, uint32_t timestamp) {
    gyroQuat_ = initialAttitude(acc, mag);
    tilt_ = {1, 0, 0, 0};
    heading_ = 0;
    // The low-passes start settled on the first reading.
    accLowPass_.settle(rotate(gyroQuat_, acc));
    settleAxes();
    restGyr_ = {0, 0, 0};
    restAcc_ = acc;
    restSeconds_ = 0;
    headingKnown_ = mag != nullptr;
    if (mag) {
        // The first field is taken as the earth's until proven otherwise.
        const Vec3d m = rotate(gyroQuat_, *mag);
        magNormRef_ = norm(m);
        magDipRef_ = std::atan2(-m.z, std::hypot(m.x, m.y));
        candNorm_ = magNormRef_;
        candDip_ = magDipRef_;
    }
    clock_.start(timestamp);
    initialised_ = true;
}

void RobustOrientationFilter::updateRest(const Vec3d& gyr, const Vec3d& acc, double dt) {
    const double a = lowPassFactor(dt, kRestTau);
    restGyr_ = restGyr_ + a * (gyr - restGyr_);
    restAcc_ = restAcc_ + a * (acc - restAcc_);
    const bool still = norm(gyr - restGyr_) < kRestGyr && norm(acc - restAcc_) < kRestAcc &&
                       norm(restGyr_) < kRestMaxRate;
    restSeconds_ = still ? restSeconds_ + dt : 0.0;
    if (restSeconds_ < kRestMinSeconds) return;
    // At rest the gyroscope reads its bias (plus noise): follow its mean.
    const double b = lowPassFactor(dt, kRestBiasTau);
    bias_[0] += b * (restGyr_.x - bias_[0]);
    bias_[1] += b * (restGyr_.y - bias_[1]);
    bias_[2] += b * (restGyr_.z - bias_[2]);
}

void RobustOrientationFilter::correctTilt(const Vec3d& acc, double dt) {
    // Low-pass in the quasi-inertial frame: gravity stands still there and a
    // bounded motion's linear acceleration integrates to a velocity change
    // and a displacement, which the filter divides by its time constant
    // (squared, for the displacement). Every reading enters with the same
    // weight: leaving out or down-weighting the strongly accelerated ones
    // would break exactly that cancellation (on recorded fast motion it
    // doubled the inclination error).
    if (dt > 0) {
        if (dt != lowPassCoeffs_.dt) {
            butterworth(dt, kAccTau, lowPassCoeffs_.b0, lowPassCoeffs_.a1, lowPassCoeffs_.a2);
            lowPassCoeffs_.dt = dt;
        }
        accLowPass_.step(lowPassCoeffs_, rotate(gyroQuat_, acc));
        stepAxes();
    }
    const Vec3d a = rotate(tilt_, accLowPass_.out1);
    const double n = norm(a);
    if (!(n > 1e-9)) return;
    const Vec3d u = (1.0 / n) * a;
    // Shortest rotation taking u onto world z: (1 + u.z, u x z) normalised.
    Quatd c{1 + u.z, u.y, -u.x, 0};
    if (c.w < 1e-9) c = {0, 1, 0, 0};  // upside down: any half turn about a horizontal axis
    c = normalised(c);
    tilt_ = normalised(c * tilt_);

    // Integral feedback of the correction into the bias: the correction
    // undoes the drift the bias error causes, seen in the levelled frame.
    // Only in calm motion: under strong acceleration or fast turns the
    // corrections carry the lever-arm and centripetal accelerations, which
    // do not average out and would bend the bias.
    if (dt <= 0 || std::fabs(norm(acc) - kGravity) > kBiasGateAcc ||
        norm(lastRate_) > kBiasGateRate)
        return;
    // The correction stems from the low-passed accelerometer, so from drift
    // that happened while the sensor axes had their low-passed directions:
    // e = LP(R_IS)^T theta_I (the same delay on both sides, as in VQF's bias
    // estimation in motion). The instantaneous R_IS would credit drift from
    // before a fast turn to the wrong gyroscope axes.
    const Vec3d theta = (c.w >= 0 ? 2.0 : -2.0) * Vec3d{c.x, c.y, c.z};  // rad, levelled frame
    const Vec3d thetaI = rotate(conjugate(tilt_), theta);                // rad, frame I
    const Vec3d e{dot(axisLowPass_[0].out1, thetaI), dot(axisLowPass_[1].out1, thetaI),
                  dot(axisLowPass_[2].out1, thetaI)};  // rad, sensor frame
    const double k = 1.0 / kMotionBiasTau;             // per s; e already scales with dt
    bias_[0] = std::clamp(bias_[0] - k * e.x, -kMaxBias, kMaxBias);
    bias_[1] = std::clamp(bias_[1] - k * e.y, -kMaxBias, kMaxBias);
    bias_[2] = std::clamp(bias_[2] - k * e.z, -kMaxBias, kMaxBias);
}

void RobustOrientationFilter::LowPass::step(const LowPassCoefficients& c, const Vec3d& x) {
    // y[k] = b0 (x[k] + 2 x[k-1] + x[k-2]) - a1 y[k-1] - a2 y[k-2]
    const Vec3d y = c.b0 * (x + 2.0 * in1 + in2) - c.a1 * out1 - c.a2 * out2;
    in2 = in1;
    in1 = x;
    out2 = out1;
    out1 = y;
}

void RobustOrientationFilter::settleAxes() {
    for (int i = 0; i < 3; ++i) axisLowPass_[i].settle(rotate(gyroQuat_, kAxes[i]));
}

void RobustOrientationFilter::stepAxes() {
    for (int i = 0; i < 3; ++i) axisLowPass_[i].step(lowPassCoeffs_, rotate(gyroQuat_, kAxes[i]));
}

void RobustOrientationFilter::correctHeading(const Vec3d& mag, double rate, double dt) {
    const Vec3d m = rotate(tilt_ * gyroQuat_, mag);  // levelled frame
    const double horizontal = std::hypot(m.x, m.y);
    const double n = norm(m);
    if (!(horizontal > 1e-9 * n)) return;
    const double dip = std::atan2(-m.z, horizontal);
    if (!headingKnown_) {
        // First usable field after a start without one: take its heading.
        heading_ = -std::atan2(m.y, m.x);
        magNormRef_ = candNorm_ = n;
        magDipRef_ = candDip_ = dip;
        headingKnown_ = true;
        return;
    }

    magDisturbed_ = std::fabs(n - magNormRef_) > kMagNormTol * magNormRef_ ||
                    std::fabs(dip - magDipRef_) > kMagDipTol;
    if (magDisturbed_) {
        // A new field that stays consistent while the tracker turns is a new
        // homogeneous field; a local disturbance changes as it moves.
        if (std::fabs(n - candNorm_) < kMagNormTol * candNorm_ &&
            std::fabs(dip - candDip_) < kMagDipTol) {
            const double a = lowPassFactor(dt, kMagRefTau / 10);
            candNorm_ += a * (n - candNorm_);
            candDip_ += a * (dip - candDip_);
            if (rate > kMagNewMinRate) candSeconds_ += dt;
            if (candSeconds_ >= kMagNewSeconds) {
                magNormRef_ = candNorm_;
                magDipRef_ = candDip_;
                magDisturbed_ = false;
            }
        } else {
            candNorm_ = n;
            candDip_ = dip;
            candSeconds_ = 0;
        }
        if (magDisturbed_) return;
    }
    candNorm_ = n;
    candDip_ = dip;
    candSeconds_ = 0;
    const double r = lowPassFactor(dt, kMagRefTau);
    magNormRef_ += r * (n - magNormRef_);
    magDipRef_ += r * (dip - magDipRef_);

    // Heading error: the angle of the horizontal field from world north.
    const double error = wrapAngle(std::atan2(m.y, m.x) + heading_);
    // Huber-type bounded influence: an error beyond kMagErrorClip is more
    // likely a local field distortion than gyroscope drift, so it pulls no
    // harder than kMagErrorClip (P. J. Huber, "Robust estimation of a
    // location parameter", Ann. Math. Statist. 35(1):73-101, 1964).
    const double step =
        lowPassFactor(dt, kMagTau) * std::clamp(error, -kMagErrorClip, kMagErrorClip);
    heading_ = wrapAngle(heading_ - step);
}

void RobustOrientationFilter::writeOutput(SensorSample* out) const {
    // Q_SW = conjugate(heading (x) tilt (x) q_gyro), the heading a turn about world z.
    const Quatd h{std::cos(0.5 * heading_), 0, 0, std::sin(0.5 * heading_)};
    Quatd q = normalised(conjugate(h * (tilt_ * gyroQuat_)));
    if (q.w < 0) q = {-q.w, -q.x, -q.y, -q.z};
    out->quat[0] = static_cast<float>(q.w);
    out->quat[1] = static_cast<float>(q.x);
    out->quat[2] = static_cast<float>(q.y);
    out->quat[3] = static_cast<float>(q.z);
}

}  // namespace Quorvane
