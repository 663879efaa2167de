#include "gyro_meas_model.h"

#include "model_factory.h"
#include "utils_exception.h"

namespace Filtering {

namespace {

GaussNoise* unitNoise3() {
    auto n = std::make_unique<GaussNoise>();
    n->resize(3, true);
    return n.release();
}

}  // namespace

GyroMeasModel::GyroMeasModel(GaussNoise* noise) : noise_(noise) {}

GyroMeasModel::GyroMeasModel() : noise_(unitNoise3()) {}

GyroMeasModel::~GyroMeasModel() {
    delete noise_;
}

std::string GyroMeasModel::typeName() const {
    return "GyroMeasModel";
}

std::unique_ptr<Utils::AbstractDataStruct> GyroMeasModel::writeParameters() const {
    auto s = std::make_unique<Utils::AbstractDataStruct>(typeName());
    s->addField(
        "comment",
        new Utils::AbstractDataComment(
            " Measurement model for gyroscope measurements: \n 0 = y_t - h(x_t, u_t, e_t) "),
        false);
    s->addField("E", noise_->writeParameters().release(), false);
    return s;
}

void GyroMeasModel::readParameters(Utils::AbstractData& node) {
    Utils::AbstractDataStruct& s = Utils::asStruct(node);
    Utils::AbstractDataStruct& e = s.structField("E");
    std::unique_ptr<Noise> created = noiseFactory().create(e.name());
    created->readParameters(e);
    // evaluate() adds the noise to a 3-element reading: any other size would
    // break it later.
    if (created->dimension() != 3)
        throw Utils::Exception("GyroMeasModel:  Incorrect noise model read");
    delete noise_;
    noise_ = created.release();
}

void GyroMeasModel::evaluate(const ConstVectorRef& y, const ConstVectorRef& x,
                             const ConstVectorRef&, const ConstVectorRef& e) {
    const Eigen::Index n = x.size();
    // h = omega + e (+ b)
    prediction_ = x.segment<3>(rateIndex_) + e.head<3>();
    if (biasIndex_ >= 0) prediction_ += x.segment<3>(biasIndex_);
    // r = y - h
    value_ = y.head<3>() - prediction_;
    // H = dr/dx: -I at the rate block (and at the bias block)
    jacobian_.setZero(3, n);
    jacobian_.block<3, 3>(0, rateIndex_) = -Eigen::Matrix3d::Identity();
    if (biasIndex_ >= 0) jacobian_.block<3, 3>(0, biasIndex_) = -Eigen::Matrix3d::Identity();
    noiseCovariance_ = noise_->covariance();
}

ParameterMap GyroMeasModel::getParameters() const {
    ParameterMap map;
    putInt(map, W_S, rateIndex_);
    putInt(map, BW_S, biasIndex_);
    return map;
}

void GyroMeasModel::setParameters(const ParameterMap& map) {
    getInt(map, W_S, rateIndex_);
    getInt(map, BW_S, biasIndex_);
    if (rateIndex_ < 0) throw Utils::Exception("Mandatory states missing in " + typeName());
}

}  // namespace Filtering
