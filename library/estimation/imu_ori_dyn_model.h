// Constant-angular-velocity orientation model, optionally driven by the
// gyroscope reading as control input.
#pragma once

#include <cstdint>

#include "model.h"
#include "quaternion.h"
#include "stacked_noise.h"

namespace Filtering {

// State blocks (positions set through setParameters): the quaternion Q_SW
// (4), and either the angular velocity W_S (3, constant-velocity variant) or
// none with the gyroscope reading UYW_S in u (input variant); optionally a
// gyroscope bias BW_S (3). Elements of x beyond these blocks are carried
// unchanged.
//
// The quaternion advances by the rotation v applied on the left:
//   q_{t+T} = dq(v) (x) q_t,   v = -T (omega + e_w)        (rate state)
//                              v = -T (g - b - e_w)        (input; b = 0 without bias)
class IMUOriDynModel : public DynModel {
  public:
    // Takes the noise: component 0 is the angular-velocity noise (3),
    // component 1 the bias noise (3, needed only with a bias state).
    explicit IMUOriDynModel(StackedNoise* noise);
    ~IMUOriDynModel() override;

    // "IMUOriDynModel".
    std::string typeName() const override;
    // Fields: "comment", "W" (the noise's struct).
    std::unique_ptr<Utils::AbstractDataStruct> writeParameters() const override;
    // "W" must describe a StackedNoise (else std::bad_cast) matching the
    // configured states (else Utils::Exception "IMUOriDynModel:  Invalid noise
    // model read."). The model keeps its old noise when reading fails.
    void readParameters(Utils::AbstractData& node) override;
    void evaluate(const ConstVectorRef& x, const ConstVectorRef& u, const ConstVectorRef& e,
                  double T) override;
    Noise* noise() const override { return noise_; }
    // 3 in the input variant (the gyroscope reading), else 0.
    int inputDimension() const override;
    // The noise dimension.
    int outputDimension() const override;
    // Q_SW, BW_S, W_S, "nx" (the number of state elements the model uses), UYW_S.
    ParameterMap getParameters() const override;
    // Reads Q_SW, BW_S, W_S, UYW_S when present, then checks that the state
    // blocks tile the first nx elements and that the noise fits them.
    void setParameters(const ParameterMap& map) override;

  private:
    // The noise fits the configured states: component 0 has 3 elements, and
    // with a bias state component 1 exists with 3 elements.
    bool noiseFits(const StackedNoise& noise) const;

    StackedNoise* noise_;          // owned
    int32_t inputIndex_ = 0;       // UYW_S: first gyroscope element in u
    int32_t rateNoiseOffset_ = 0;  // first angular-velocity noise element in e
    int32_t quatIndex_ = 0;        // Q_SW: first quaternion element in x
    int32_t rateIndex_ = -1;       // W_S: first angular-velocity element in x, -1: input variant
    int32_t biasIndex_ = 4;        // BW_S: first bias element in x, -1: no bias state

    // Working values of the last evaluation.
    Eigen::Vector4d q_;   // normalised quaternion of x
    Eigen::Vector3d v_;   // rotation vector, rad
    Eigen::Vector4d dq_;  // increment quaternion dq(v)
    Matrix43 J_;          // d dq / d v
    Matrix43 G_;          // d f_q / d (omega or bias or noise)
    Eigen::Matrix3d Sw_;  // angular-velocity noise covariance, (rad/s)^2
};

}  // namespace Filtering
