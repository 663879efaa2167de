// Several uncorrelated measurement relations behind one measurement model.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "model.h"
#include "stacked_noise.h"

namespace Filtering {

// Each measurement vector names, in its first element, the elementary model
// k that explains it (truncated to an integer); the rest of the vector is
// that model's measurement. The noise is the stack of the elementary models'
// noises, so one linearisation value e hands each model its own segment.
class CombinedMeasModel : public MeasModel {
  public:
    CombinedMeasModel();
    ~CombinedMeasModel() override;

    // Appends the model (and takes it) with selector index = its position.
    void add(MeasModel* model);

    // "CombinedMeasModel".
    std::string typeName() const override;
    // Fields: "comment", "N" (number of models), "M0", "M1", ... (model structs).
    std::unique_ptr<Utils::AbstractDataStruct> writeParameters() const override;
    // Rebuilds every elementary model through the measurement-model factory.
    // Nothing changes when reading fails.
    void readParameters(Utils::AbstractData& node) override;
    // The three below route to elementary model k = (int) y(0).
    const Eigen::VectorXd& value(const ConstVectorRef& y) const override;
    const Eigen::MatrixXd& jacobian(const ConstVectorRef& y) const override;
    const Eigen::MatrixXd& noiseCovariance(const ConstVectorRef& y) const override;
    // Model k evaluates y without its first element with segment k of e. A
    // selector outside the list raises Utils::Exception "Measurement selector
    // out of range in CombinedMeasModel".
    void evaluate(const ConstVectorRef& y, const ConstVectorRef& x, const ConstVectorRef& u,
                  const ConstVectorRef& e) override;
    // The stacked noise of all elementary models.
    Noise* noise() const override { return stackedNoise_; }
    // Not defined for a bundle of relations: Utils::Exception "Not yet
    // implemented for CombinedMeasModel".
    int inputDimension() const override;
    int outputDimension() const override;
    // For each model k in order: its typeName -> k, then its own parameters
    // (a later model's value wins).
    ParameterMap getParameters() const override;
    // Passes the map to every model in order.
    void setParameters(const ParameterMap& map) override;

    int modelCount() const { return static_cast<int>(subModels_.size()); }
    // (offset, length) of model k's noise in the stacked mean.
    std::pair<int32_t, int32_t> noiseSegment(int k) const { return noiseSegments_.at(k); }

  private:
    // Index of the model selected by y(0), checked against the list.
    size_t select(const ConstVectorRef& y) const;
    // Deletes the models and rebuilds the stacked noise from `models`.
    void replaceModels(std::vector<std::unique_ptr<MeasModel>> models);

    StackedNoise* stackedNoise_;                              // owned; refers to the models' noises
    std::vector<MeasModel*> subModels_;                       // owned
    std::vector<std::pair<int32_t, int32_t>> noiseSegments_;  // (offset, length) per model
};

}  // namespace Filtering
