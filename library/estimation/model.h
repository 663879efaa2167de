// Abstract dynamic and measurement models and the pair the EKF owns.
#pragma once

#include <Eigen/Core>
#include <memory>
#include <string>

#include "abstract_data.h"
#include "aligned_new.h"
#include "noise.h"
#include "parameter_map.h"

namespace Filtering {

// Read-only view of a contiguous vector or vector segment; lets a model
// receive parts of larger vectors without copying them.
using ConstVectorRef = Eigen::Ref<const Eigen::VectorXd>;

// Dynamic model x_{t+T} = f(x_t, u, e, T). evaluate() fills the predicted
// state f, its Jacobian F = df/dx (nx x nx) and the process noise covariance
// mapped into the state, Q (nx x nx).
class DynModel : public Utils::AlignedNew {
  public:
    DynModel() = default;
    DynModel(const DynModel&) = delete;
    DynModel& operator=(const DynModel&) = delete;
    virtual ~DynModel();

    virtual std::string typeName() const = 0;
    virtual std::unique_ptr<Utils::AbstractDataStruct> writeParameters() const = 0;
    virtual void readParameters(Utils::AbstractData& node) = 0;
    // Results of the last evaluate().
    virtual const Eigen::VectorXd& value() const;
    virtual const Eigen::MatrixXd& jacobian() const;
    virtual const Eigen::MatrixXd& noiseCovariance() const;
    // x: state; u: control input (may be empty); e: noise value to linearise
    // at (the noise mean); T: time step in s.
    virtual void evaluate(const ConstVectorRef& x, const ConstVectorRef& u, const ConstVectorRef& e,
                          double T) = 0;
    // The model's noise (owned by the model).
    virtual Noise* noise() const = 0;
    virtual int inputDimension() const = 0;
    virtual int outputDimension() const = 0;
    // Current settings (state indices etc.); the base has none.
    virtual ParameterMap getParameters() const;
    // Takes the settings whose keys are present; the base takes none.
    virtual void setParameters(const ParameterMap& map);

  protected:
    Eigen::MatrixXd jacobian_;         // F
    Eigen::MatrixXd noiseCovariance_;  // Q
    Eigen::VectorXd value_;            // f(x, u, e, T)
};

// Measurement relation 0 = h(y, x, u, e). evaluate() fills the relation's
// value r (the residual at the linearisation point), H = dh/dx and the
// covariance R of the relation value. y is one measurement vector; a model
// that combines several relations picks the one that handles y.
class MeasModel : public Utils::AlignedNew {
  public:
    MeasModel() = default;
    MeasModel(const MeasModel&) = delete;
    MeasModel& operator=(const MeasModel&) = delete;
    virtual ~MeasModel();

    virtual std::string typeName() const = 0;
    virtual std::unique_ptr<Utils::AbstractDataStruct> writeParameters() const = 0;
    virtual void readParameters(Utils::AbstractData& node) = 0;
    // Results of the last evaluate() of the relation that handles y (the
    // base ignores y).
    virtual const Eigen::VectorXd& value(const ConstVectorRef& y) const;
    virtual const Eigen::MatrixXd& jacobian(const ConstVectorRef& y) const;
    virtual const Eigen::MatrixXd& noiseCovariance(const ConstVectorRef& y) const;
    virtual void evaluate(const ConstVectorRef& y, const ConstVectorRef& x, const ConstVectorRef& u,
                          const ConstVectorRef& e) = 0;
    virtual Noise* noise() const = 0;
    virtual int inputDimension() const = 0;
    virtual int outputDimension() const = 0;
    virtual ParameterMap getParameters() const;
    virtual void setParameters(const ParameterMap& map);

  protected:
    Eigen::MatrixXd jacobian_;         // H
    Eigen::MatrixXd noiseCovariance_;  // R
    Eigen::VectorXd value_;            // h(y, x, u, e)
};

// The EKF's model pair; deleting it deletes both models.
class Model : public Utils::AlignedNew {
  public:
    // Takes both models.
    Model(DynModel* dynModel, MeasModel* measModel);
    Model(const Model&) = delete;
    Model& operator=(const Model&) = delete;
    virtual ~Model();

    DynModel* dynModel;
    MeasModel* measModel;
};

}  // namespace Filtering
