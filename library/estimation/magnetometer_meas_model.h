// Magnetometer relation: the horizontal direction perpendicular to the
// magnetic field and gravity fixes the heading, unaffected by the field's
// inclination.
#pragma once

#include <cstdint>

#include "model.h"
#include "quaternion.h"
#include "stacked_noise.h"

namespace Filtering {

// With m = y_m - e_m and a = y_a - e_a (magnetometer and accelerometer
// readings less their noise):
//   0 = (m x a)/|m x a| + R(q) (0, 1, 0),
// i.e. m x a points along the world's -y axis (z up, magnetic north in the
// x-z plane on the +x side). The field magnitude is tracked with a running
// average; a reading that departs from it by more than magThreshold
// (relative) counts as disturbed and its noise is inflated by 100000.
class MagnetometerMeasModel : public MeasModel {
  public:
    // Takes the noise: component 0 the magnetometer noise (3), component 1
    // the accelerometer noise (3).
    explicit MagnetometerMeasModel(StackedNoise* noise);
    // With two unit-covariance 3-element components; the factory's default
    // object.
    MagnetometerMeasModel();
    ~MagnetometerMeasModel() override;

    // "MagnetometerMeasModel".
    std::string typeName() const override;
    // Fields: "comment", "g0", "E", "outlierACoef", "outlierAExp",
    // "magThreshold", "magForgettingFactor".
    std::unique_ptr<Utils::AbstractDataStruct> writeParameters() const override;
    // "E" must describe a StackedNoise (else std::bad_cast) of two 3-element
    // components (else Utils::Exception "MagnetometerMeasModel: Incorrect
    // noise model read"); "magThreshold" and "magForgettingFactor" default to
    // 0.05 and 0.99. Nothing changes when reading fails.
    void readParameters(Utils::AbstractData& node) override;
    // y: at least 6 values, magnetometer (any unit) at YM_S and accelerometer
    // (m/s^2) at YA_S; e: 6 noise values. No guard against zero readings or a
    // field parallel to the acceleration.
    void evaluate(const ConstVectorRef& y, const ConstVectorRef& x, const ConstVectorRef& u,
                  const ConstVectorRef& e) override;
    Noise* noise() const override { return noise_; }
    int inputDimension() const override { return 0; }
    int outputDimension() const override { return 3; }
    // Q_SW, YM_S, YA_S, "outlierACoef", "outlierAExp", "magThreshold",
    // "magForgettingFactor".
    ParameterMap getParameters() const override;
    // Reads Q_SW, YM_S, YA_S (all mandatory), then "outlierCoef",
    // "outlierExp", "outlierACoef", "outlierAExp", "magThreshold",
    // "magForgettingFactor" when present, in this order.
    void setParameters(const ParameterMap& map) override;

    // Running field magnitude; negative until the first evaluation.
    double referenceMagnitude() const { return referenceMagnitude_; }

  private:
    StackedNoise* noise_;                // owned
    int32_t quatIndex_ = 0;              // Q_SW: first quaternion element in x
    int32_t magNoiseOffset_ = 0;         // first magnetometer noise element in e
    int32_t accNoiseOffset_ = 3;         // first accelerometer noise element in e
    int32_t magIndex_ = 0;               // YM_S: first magnetometer element in y
    int32_t accIndex_ = 3;               // YA_S: first accelerometer element in y
    double g0_ = 9.81;                   // gravity magnitude, m/s^2
    double outlierACoef_ = 0;            // weight of the acceleration magnitude deviation, 0: off
    double outlierAExp_ = 0;             // exponent of that deviation
    double magThreshold_ = 0.05;         // relative field deviation that counts as disturbed
    double magForgettingFactor_ = 0.99;  // weight of the old value in the running magnitude
    double referenceMagnitude_ = -1;     // running field magnitude, -1: not yet set

    // Working values of the last evaluation.
    Eigen::Vector4d q_;   // normalised quaternion
    Eigen::Matrix3d R_;   // R(q)
    Eigen::Vector3d mh_;  // unit field direction
    Eigen::Vector3d ah_;  // unit acceleration direction
    Eigen::Vector3d n_;   // unit horizontal direction (mh x ah)/|mh x ah|
    Eigen::Matrix3d Sm_;  // magnetometer noise covariance, possibly inflated
    Eigen::Matrix3d Sa_;  // accelerometer noise covariance, possibly weighted
    Eigen::Matrix3d Cm_;  // [mh]x
    Eigen::Matrix3d Ca_;  // [ah]x
    Matrix34 D_;          // D(q, (0, 1, 0))
};

}  // namespace Filtering
