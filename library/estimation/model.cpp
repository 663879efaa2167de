#include "model.h"

namespace Filtering {

DynModel::~DynModel() = default;

const Eigen::VectorXd& DynModel::value() const {
    return value_;
}
const Eigen::MatrixXd& DynModel::jacobian() const {
    return jacobian_;
}
const Eigen::MatrixXd& DynModel::noiseCovariance() const {
    return noiseCovariance_;
}
ParameterMap DynModel::getParameters() const {
    return ParameterMap();
}
void DynModel::setParameters(const ParameterMap&) {}

MeasModel::~MeasModel() = default;

const Eigen::VectorXd& MeasModel::value(const ConstVectorRef&) const {
    return value_;
}
const Eigen::MatrixXd& MeasModel::jacobian(const ConstVectorRef&) const {
    return jacobian_;
}
const Eigen::MatrixXd& MeasModel::noiseCovariance(const ConstVectorRef&) const {
    return noiseCovariance_;
}
ParameterMap MeasModel::getParameters() const {
    return ParameterMap();
}
void MeasModel::setParameters(const ParameterMap&) {}

Model::Model(DynModel* dyn, MeasModel* meas) : dynModel(dyn), measModel(meas) {}

Model::~Model() {
    delete dynModel;
    delete measModel;
}

}  // namespace Filtering
