// Inclinometer relation: the direction of the measured acceleration equals
// the direction of gravity seen in the sensor frame (fixes roll and pitch).
#pragma once

#include <cstdint>

#include "gauss_noise.h"
#include "model.h"
#include "quaternion.h"

namespace Filtering {

// 0 = y/|y| + R(q) g_w - e, with g_w the world's gravity direction (0, 0, -1):
// at rest the normalised reading is R(q) (0, 0, 1), the world's up axis.
// Readings whose magnitude departs from g0 can be weakened:
// R = (1 + outlierCoef |g0 - |y||^outlierExp) Sigma.
class InclinometerMeasModel : public MeasModel {
  public:
    // Takes the noise (3 elements, on the normalised reading).
    explicit InclinometerMeasModel(GaussNoise* noise);
    // With a unit-covariance 3-element noise; the factory's default object.
    InclinometerMeasModel();
    ~InclinometerMeasModel() override;

    // "InclinometerMeasModel".
    std::string typeName() const override;
    // Fields: "comment", "g_w", "g0", "E", "outlierCoef", "outlierExp".
    std::unique_ptr<Utils::AbstractDataStruct> writeParameters() const override;
    // The noise "E" must have 3 elements, else Utils::Exception
    // "InclinometerMeasModel:  Incorrect noise model read"; "g_w" must be a
    // nonzero 3-vector (else "InclinometerMeasModel:  Incorrect gravity
    // direction read") and is stored normalised. Nothing changes when reading
    // fails.
    void readParameters(Utils::AbstractData& node) override;
    // y: the 3 accelerometer values, m/s^2. No guard against y = 0.
    void evaluate(const ConstVectorRef& y, const ConstVectorRef& x, const ConstVectorRef& u,
                  const ConstVectorRef& e) override;
    Noise* noise() const override { return noise_; }
    int inputDimension() const override { return 0; }
    int outputDimension() const override { return 3; }
    // G_W (4 significant digits, one element per line), Q_SW, "outlierCoef",
    // "outlierExp".
    ParameterMap getParameters() const override;
    // Reads Q_SW (mandatory), "outlierCoef" and "outlierExp" when present.
    void setParameters(const ParameterMap& map) override;

    const Eigen::VectorXd& prediction() const { return prediction_; }

  private:
    Noise* noise_;                                // owned; 3 elements
    int32_t quatIndex_ = 0;                       // Q_SW: first quaternion element in x
    Eigen::Vector3d gravityDirection_{0, 0, -1};  // G_W: unit gravity direction, world frame
    double g0_ = 9.81;                            // gravity magnitude, m/s^2
    double outlierCoef_ = 0;                      // weight of the magnitude deviation, 0: off
    double outlierExp_ = 0;                       // exponent of the magnitude deviation
    Eigen::VectorXd prediction_;                  // e - R(q) g_w of the last evaluation

    // Working values of the last evaluation.
    Eigen::Vector4d q_;  // normalised quaternion
    Eigen::Matrix3d R_;  // R(q)
    Matrix34 D_;         // D(q, g_w)
};

}  // namespace Filtering
