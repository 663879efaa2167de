// Gyroscope relation: 0 = y - (omega + b + e).
#pragma once

#include <cstdint>

#include "gauss_noise.h"
#include "model.h"

namespace Filtering {

class GyroMeasModel : public MeasModel {
  public:
    // Takes the noise (3 elements, covariance of the reading in (rad/s)^2).
    explicit GyroMeasModel(GaussNoise* noise);
    // With a unit-covariance 3-element noise; the factory's default object.
    GyroMeasModel();
    ~GyroMeasModel() override;

    // "GyroMeasModel".
    std::string typeName() const override;
    // Fields: "comment", "E" (the noise's struct).
    std::unique_ptr<Utils::AbstractDataStruct> writeParameters() const override;
    // "E" through the noise factory; it must have 3 elements, else
    // Utils::Exception "GyroMeasModel:  Incorrect noise model read" (the old
    // noise is kept).
    void readParameters(Utils::AbstractData& node) override;
    // y: the 3 gyroscope values, rad/s; e: 3 noise values.
    void evaluate(const ConstVectorRef& y, const ConstVectorRef& x, const ConstVectorRef& u,
                  const ConstVectorRef& e) override;
    Noise* noise() const override { return noise_; }
    int inputDimension() const override { return 0; }
    int outputDimension() const override { return 3; }
    // W_S, BW_S.
    ParameterMap getParameters() const override;
    // Reads W_S and BW_S when present; W_S is mandatory.
    void setParameters(const ParameterMap& map) override;

  private:
    Eigen::VectorXd prediction_;  // predicted reading h of the last evaluation, rad/s
    Noise* noise_;                // owned; 3 elements
    int32_t rateIndex_ = 7;       // W_S: first angular-velocity element in x
    int32_t biasIndex_ = 4;       // BW_S: first bias element in x, -1: no bias state
};

}  // namespace Filtering
