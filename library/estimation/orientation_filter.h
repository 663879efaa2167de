// The tracker's host orientation filter: an EKF with the constant-angular-
// velocity model and the gyroscope, inclinometer and magnetometer relations,
// assembled with fixed constants.
//
// Orientation Q_SW maps world vectors into the sensor frame; the world has z
// up and x towards magnetic north. Input units: timestamp in 100 us, acc in
// m/s^2, gyr in rad/s, mag in any unit.
#pragma once

#include <Eigen/Core>
#include <cstdint>
#include <vector>

#include "aligned_new.h"
#include "device_clock.h"
#include "quorvane.h"

namespace Filtering {
class EKF;
}

namespace Quorvane {

class OrientationFilter : public Utils::AlignedNew {
  public:
    OrientationFilter();
    OrientationFilter(const OrientationFilter&) = delete;
    OrientationFilter& operator=(const OrientationFilter&) = delete;
    virtual ~OrientationFilter();

    // Processes one sample and writes only out->quat (a unit Q_SW). The
    // first 5 samples answer the identity; the next usable accelerometer and
    // magnetometer pair starts the state; after that every sample runs one
    // EKF step. in and out may be the same sample. gain (dimensionless, 1 =
    // nominal) scales the process noise of the next time update. The time
    // step follows DeviceClock: timestamp * 100 us, across the wrap of the
    // 32-bit clock; a step back integrates nothing and a gap counts as
    // kMaxStepSeconds. Unusable readings (zero, NaN, infinite, magnetometer
    // parallel to the acceleration) never enter the state: the relations
    // that read them are skipped for that sample. Not synchronised; no heap
    // allocation per sample.
    void update(const SensorSample* in, SensorSample* out, double gain);

    bool initialised() const { return initialised_; }
    const Filtering::EKF& ekf() const { return *ekf_; }

    // Constants of the assembly.
    static constexpr int kStateSize = 10;
    static constexpr int kWarmupSamples = 5;
    static constexpr double kGyroLimit = 26.005405854715512;  // rad/s: 1490 deg/s, saturation
    static constexpr double kSaturationInflation = 30.0;      // covariance factor on saturation
    static constexpr double kMaxCovariance = 1e300;     // ceiling of the inflation, keeps P finite
    static constexpr double kMinReadingLength = 1e-14;  // in the reading's own unit
    // Longest time step, s. The tracker streams at 1 Hz or faster, so a
    // longer step is a gap of lost samples. Predicting across all of it with
    // the last angular velocity would turn the estimate by that rate times
    // the gap (an hour at 0.001 rad/s is 3.6 rad) and leave it to the
    // measurements to turn it back.
    static constexpr double kMaxStepSeconds = 1.0;

  private:
    void start(const SensorSample& in, SensorSample* out);
    void step(const SensorSample& in, SensorSample* out);

    Filtering::EKF* ekf_;  // owned
    Eigen::VectorXd initialState_;
    Eigen::MatrixXd initialCovariance_;
    // The three measurement vectors handed to the EKF, and the list of those
    // used for the current sample.
    Eigen::VectorXd gyroscopeY_, inclinometerY_, magnetometerY_;
    std::vector<Eigen::VectorXd*> measurements_;
    Eigen::VectorXd u_;  // gyroscope reading, rad/s
    Eigen::MatrixXd inflated_;

    int32_t quatIndex_ = 0;
    int32_t biasIndex_ = -1;
    int32_t magOffset_ = 0;  // magnetometer reading in the magnetometer vector, after the selector
    int32_t accOffset_ = 3;  // accelerometer reading in the same vector
    int32_t inclinometerId_ = 0;
    int32_t magnetometerId_ = 1;
    int32_t gyroscopeId_ = 2;
    bool initialised_ = false;
    int32_t warmupSamples_ = kWarmupSamples;

    DeviceClock clock_{kMaxStepSeconds};
};

}  // namespace Quorvane
