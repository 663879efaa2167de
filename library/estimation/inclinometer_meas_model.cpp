#include "inclinometer_meas_model.h"

#include <cmath>
#include <sstream>

#include "model_factory.h"
#include "utils_exception.h"

namespace Filtering {

InclinometerMeasModel::InclinometerMeasModel(GaussNoise* noise) : noise_(noise) {}

InclinometerMeasModel::InclinometerMeasModel() : noise_(nullptr) {
    auto n = std::make_unique<GaussNoise>();
    n->resize(3, true);  // unit covariance until readParameters replaces it
    noise_ = n.release();
}

InclinometerMeasModel::~InclinometerMeasModel() {
    delete noise_;
}

std::string InclinometerMeasModel::typeName() const {
    return "InclinometerMeasModel";
}

std::unique_ptr<Utils::AbstractDataStruct> InclinometerMeasModel::writeParameters() const {
    auto s = std::make_unique<Utils::AbstractDataStruct>(typeName());
    s->addField(
        "comment",
        new Utils::AbstractDataComment(
            "Measurement model for inclination measurements: \n 0 = y_t - h(x_t, u_t, e_t) "),
        false);
    s->addField("g_w", Utils::vectorToData(Eigen::VectorXd(gravityDirection_)).release(), false);
    s->addScalar("g0", g0_, false);
    s->addField("E", noise_->writeParameters().release(), false);
    s->addScalar("outlierCoef", outlierCoef_, false);
    s->addScalar("outlierExp", outlierExp_, false);
    return s;
}

void InclinometerMeasModel::readParameters(Utils::AbstractData& node) {
    Utils::AbstractDataStruct& s = Utils::asStruct(node);
    Utils::AbstractDataStruct& e = s.structField("E");
    std::unique_ptr<Noise> created = noiseFactory().create(e.name());
    created->readParameters(e);
    if (created->dimension() != 3)
        throw Utils::Exception("InclinometerMeasModel:  Incorrect noise model read");
    Eigen::VectorXd g;
    Utils::dataToVector(s.field("g_w"), g);
    // A direction must have 3 elements and a length to normalise by.
    if (g.size() != 3 || !(g.norm() > 0))
        throw Utils::Exception("InclinometerMeasModel:  Incorrect gravity direction read");
    const Eigen::Vector3d direction = g / g.norm();
    const double g0 = s.numericField("g0").asScalar();
    const double coef = s.numericField("outlierCoef").asScalar();
    const double exponent = s.numericField("outlierExp").asScalar();

    delete noise_;
    noise_ = created.release();
    gravityDirection_ = direction;
    g0_ = g0;
    outlierCoef_ = coef;
    outlierExp_ = exponent;
}

void InclinometerMeasModel::evaluate(const ConstVectorRef& y, const ConstVectorRef& x,
                                     const ConstVectorRef&, const ConstVectorRef& e) {
    jacobian_.setZero(3, x.size());
    q_ = x.segment<4>(quatIndex_);
    q_ /= q_.norm();
    R_ = rotationMatrix(q_);
    // p = e - R(q) g_w
    prediction_ = e.head<3>() - R_ * gravityDirection_;
    // r = y/|y| - p
    const double magnitude = y.head<3>().norm();
    value_ = y.head<3>() / magnitude - prediction_;
    // H = dr/dq = D(q, g_w)
    D_ = rotationDerivative(q_, gravityDirection_);
    jacobian_.block<3, 4>(0, quatIndex_) = D_;
    // R = (1 + outlierCoef |g0 - |y||^outlierExp) Sigma
    const Eigen::MatrixXd& Sigma = noise_->covariance();
    if (outlierCoef_ <= 0)
        noiseCovariance_ = Sigma;
    else
        noiseCovariance_ =
            (1 + outlierCoef_ * std::pow(std::fabs(g0_ - magnitude), outlierExp_)) * Sigma;
}

ParameterMap InclinometerMeasModel::getParameters() const {
    ParameterMap map;
    std::ostringstream g;
    g.precision(4);
    g << gravityDirection_(0) << '\n' << gravityDirection_(1) << '\n' << gravityDirection_(2);
    map[G_W] = g.str();
    putInt(map, Q_SW, quatIndex_);
    putDouble(map, "outlierCoef", outlierCoef_);
    putDouble(map, "outlierExp", outlierExp_);
    return map;
}

void InclinometerMeasModel::setParameters(const ParameterMap& map) {
    getInt(map, Q_SW, quatIndex_);
    if (quatIndex_ < 0) throw Utils::Exception("Mandatory states missing in " + typeName());
    getDouble(map, "outlierCoef", outlierCoef_);
    getDouble(map, "outlierExp", outlierExp_);
}

}  // namespace Filtering
