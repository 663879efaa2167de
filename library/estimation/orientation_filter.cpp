#include "orientation_filter.h"

#include <Eigen/Geometry>
#include <cmath>

#include "combined_meas_model.h"
#include "ekf.h"
#include "gauss_noise.h"
#include "gyro_meas_model.h"
#include "imu_ori_dyn_model.h"
#include "inclinometer_meas_model.h"
#include "magnetometer_meas_model.h"
#include "parameter_map.h"
#include "quaternion.h"
#include "stacked_noise.h"

namespace Quorvane {
namespace {

using Eigen::Matrix3d;
using Eigen::Vector3d;

Vector3d vec(const float v[3]) {
    return Vector3d(v[0], v[1], v[2]);
}

bool finite(const Vector3d& v) {
    return v.allFinite();
}

void writeQuat(SensorSample* out, double w, double x, double y, double z) {
    out->quat[0] = static_cast<float>(w);
    out->quat[1] = static_cast<float>(x);
    out->quat[2] = static_cast<float>(y);
    out->quat[3] = static_cast<float>(z);
}

Filtering::GaussNoise* gauss(const Vector3d& diagonal) {
    return new Filtering::GaussNoise(Matrix3d(diagonal.asDiagonal()));
}

}  // namespace

OrientationFilter::OrientationFilter() {
    using namespace Filtering;
    // Dynamic model: angular-velocity noise 0.1 I3, (rad/s)^2 per s.
    auto* dynNoise = new StackedNoise(true);
    {
        GaussNoise* rate = gauss(Vector3d::Constant(0.1));
        dynNoise->add(rate);
        delete rate;  // the owning stack keeps a copy
    }
    auto* dynModel = new IMUOriDynModel(dynNoise);

    // Inclinometer: accelerometer direction noise diag(0.025, 0.025, 0.05).
    auto* inclinometer = new InclinometerMeasModel(gauss(Vector3d(0.025, 0.025, 0.05)));
    // Magnetometer: magnetometer noise 0.001 I3, then accelerometer noise.
    auto* magNoise = new StackedNoise(true);
    for (const Vector3d& d : {Vector3d(0.001, 0.001, 0.001), Vector3d(0.025, 0.025, 0.05)}) {
        GaussNoise* part = gauss(d);
        magNoise->add(part);
        delete part;
    }
    auto* magnetometer = new MagnetometerMeasModel(magNoise);
    // Gyroscope: reading noise 0.01 I3, (rad/s)^2.
    auto* gyroscope = new GyroMeasModel(gauss(Vector3d::Constant(0.01)));

    // Selectors 0, 1, 2 in this order.
    auto* combined = new CombinedMeasModel();
    combined->add(inclinometer);
    combined->add(magnetometer);
    combined->add(gyroscope);
    ParameterMap outlier;
    putDouble(outlier, "outlierCoef", 0.0);  // acceleration-magnitude weighting off
    putDouble(outlier, "outlierExp", 2.0);
    combined->setParameters(outlier);

    initialState_ = Eigen::VectorXd::Zero(kStateSize);
    initialState_(0) = 1.0;
    initialCovariance_ = Eigen::MatrixXd::Zero(kStateSize, kStateSize);
    initialCovariance_.diagonal() << 0.03, 0.03, 0.03, 0.03, 0.1, 0.1, 0.1, 0.01, 0.01, 0.01;

    ekf_ = new EKF(dynModel, combined, initialState_, initialCovariance_, 0.0);

    ParameterMap indices = dynModel->getParameters();
    putInt(indices, NX, kStateSize);
    putInt(indices, Q_SW, quatIndex_);
    putInt(indices, BW_S, biasIndex_);
    putInt(indices, W_S, 4);
    putInt(indices, UYW_S, -1);
    ekf_->setParameters(indices);

    gyroscopeY_.resize(4);
    inclinometerY_.resize(4);
    magnetometerY_.resize(7);
    measurements_.reserve(3);
    u_.resize(3);
    inflated_.resize(kStateSize, kStateSize);  // no allocation at the first saturation
}

OrientationFilter::~OrientationFilter() {
    delete ekf_;
}

void OrientationFilter::update(const SensorSample* in, SensorSample* out, double gain) {
    if (warmupSamples_ > 0) {
        --warmupSamples_;
        writeQuat(out, 1, 0, 0, 0);
    } else if (!initialised_) {
        start(*in, out);
    } else {
        step(*in, out);
    }
    ekf_->setProcessNoiseScale(gain);
}

void OrientationFilter::start(const SensorSample& in, SensorSample* out) {
    const Vector3d a = vec(in.acc);
    const Vector3d m = vec(in.mag);
    const Vector3d east = a.cross(m);  // world y seen in the sensor frame, unnormalised
    if (!finite(a) || !finite(m) || a.norm() < kMinReadingLength || m.norm() < kMinReadingLength ||
        !(east.norm() >= kMinReadingLength * a.norm() * m.norm())) {
        writeQuat(out, 1, 0, 0, 0);  // not usable: the next sample tries again
        return;
    }
    // Columns of R0 (row-major): the world's x, y, z axes in the sensor frame.
    const Vector3d ah = a / a.norm();
    const Vector3d mh = m / m.norm();
    const Vector3d c1 = ah.cross(mh).normalized();
    const Vector3d c0 = c1.cross(ah).normalized();
    const double R0[9] = {c0(0), c1(0), ah(0), c0(1), c1(1), ah(1), c0(2), c1(2), ah(2)};
    const Filtering::Quatd q0 = Filtering::fromRotationMatrix(R0);
    writeQuat(out, q0.w, q0.x, q0.y, q0.z);

    Eigen::VectorXd x = initialState_;
    const Filtering::Quatd q = q0.w < 0 ? -q0 : q0;  // start with w >= 0
    x.segment<4>(quatIndex_) << q.w, q.x, q.y, q.z;
    clock_.start(in.timestamp);
    ekf_->reset(x, initialCovariance_, clock_.seconds());
    initialised_ = true;
}

void OrientationFilter::step(const SensorSample& in, SensorSample* out) {
    clock_.advance(in.timestamp);
    const double t = clock_.seconds();
    const Vector3d gyr = vec(in.gyr);
    const Vector3d acc = vec(in.acc);
    const Vector3d mag = vec(in.mag);
    const bool gyrOk = finite(gyr);
    u_ = gyrOk ? gyr : Vector3d::Zero();

    ekf_->timeUpdate(u_, t);
    if (u_.minCoeff() < -kGyroLimit || u_.maxCoeff() > kGyroLimit) {
        // Saturated gyroscope: the prediction is unreliable, so trust it less.
        // P = 30 P, each element held within +-kMaxCovariance: the state
        // elements 7..9 belong to no model, so nothing ever reduces their
        // variance, and after some 210 saturated samples it would overflow;
        // the 0 * Inf of the next products would then fill P and x with NaN.
        inflated_.noalias() = kSaturationInflation * ekf_->P();
        inflated_ = inflated_.cwiseMin(kMaxCovariance).cwiseMax(-kMaxCovariance);
        ekf_->reset(ekf_->x(), inflated_, ekf_->t());
    }

    // Readings that would put NaN or Inf into the state are left out.
    const bool accOk = finite(acc) && acc.norm() >= kMinReadingLength;
    const bool magOk = accOk && finite(mag) && mag.norm() >= kMinReadingLength &&
                       mag.cross(acc).norm() >= kMinReadingLength * mag.norm() * acc.norm();
    measurements_.clear();
    if (gyrOk) {
        gyroscopeY_ << gyroscopeId_, gyr;
        measurements_.push_back(&gyroscopeY_);
    }
    if (accOk) {
        inclinometerY_ << inclinometerId_, acc;
        measurements_.push_back(&inclinometerY_);
    }
    if (magOk) {
        magnetometerY_(0) = magnetometerId_;
        magnetometerY_.segment<3>(1 + magOffset_) = mag;
        magnetometerY_.segment<3>(1 + accOffset_) = acc;
        measurements_.push_back(&magnetometerY_);
    }
    ekf_->measurementUpdate(u_, measurements_, t);

    // Output the unit quaternion; the state keeps its length and sign.
    const Eigen::Vector4d q = ekf_->x().segment<4>(quatIndex_);
    const double n = q.norm();
    writeQuat(out, q(0) / n, q(1) / n, q(2) / n, q(3) / n);
}

}  // namespace Quorvane
