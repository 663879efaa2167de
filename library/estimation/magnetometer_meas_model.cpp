#include "magnetometer_meas_model.h"

#include <Eigen/Geometry>
#include <cmath>

#include "gauss_noise.h"
#include "model_factory.h"
#include "utils_exception.h"

namespace Filtering {

namespace {

// Inflation of the magnetometer noise while the field is disturbed.
constexpr double kDisturbedFieldInflation = 100000;

bool isMagnetometerNoise(const StackedNoise& n) {
    return n.componentCount() == 2 && n.component(0)->dimension() == 3 &&
           n.component(1)->dimension() == 3;
}

}  // namespace

MagnetometerMeasModel::MagnetometerMeasModel(StackedNoise* noise) : noise_(noise) {}

MagnetometerMeasModel::MagnetometerMeasModel() : noise_(nullptr) {
    auto stacked = std::make_unique<StackedNoise>(true);
    GaussNoise unit(Eigen::MatrixXd::Identity(3, 3));
    stacked->add(&unit);  // magnetometer
    stacked->add(&unit);  // accelerometer
    noise_ = stacked.release();
}

MagnetometerMeasModel::~MagnetometerMeasModel() {
    delete noise_;
}

std::string MagnetometerMeasModel::typeName() const {
    return "MagnetometerMeasModel";
}

std::unique_ptr<Utils::AbstractDataStruct> MagnetometerMeasModel::writeParameters() const {
    auto s = std::make_unique<Utils::AbstractDataStruct>(typeName());
    s->addField("comment",
                new Utils::AbstractDataComment(" Measurement model for (magnetic) inclination "
                                               "measurements: \n 0 = y_t - h(x_t, u_t, e_t) "),
                false);
    s->addScalar("g0", g0_, false);
    s->addField("E", noise_->writeParameters().release(), false);
    s->addScalar("outlierACoef", outlierACoef_, false);
    s->addScalar("outlierAExp", outlierAExp_, false);
    s->addScalar("magThreshold", magThreshold_, false);
    s->addScalar("magForgettingFactor", magForgettingFactor_, false);
    return s;
}

void MagnetometerMeasModel::readParameters(Utils::AbstractData& node) {
    Utils::AbstractDataStruct& s = Utils::asStruct(node);
    Utils::AbstractDataStruct& e = s.structField("E");
    std::unique_ptr<Noise> created = noiseFactory().create(e.name());
    auto* stacked = dynamic_cast<StackedNoise*>(created.get());
    if (stacked == nullptr) throw Utils::BadCast();
    stacked->readParameters(e);
    const double g0 = s.numericField("g0").asScalar();
    const double coef = s.numericField("outlierACoef").asScalar();
    const double exponent = s.numericField("outlierAExp").asScalar();
    // Optional fields, with their defaults when missing.
    auto optional = [&s](const char* name, double fallback) {
        for (int i = 0; i < s.fieldCount(); ++i)
            if (s.fieldName(i) == name) return Utils::asNumeric(s.fieldNode(i)).asScalar();
        return fallback;
    };
    const double threshold = optional("magThreshold", 0.05);
    const double forgetting = optional("magForgettingFactor", 0.99);
    if (!isMagnetometerNoise(*stacked))
        throw Utils::Exception("MagnetometerMeasModel: Incorrect noise model read");

    delete noise_;
    noise_ = stacked;
    created.release();
    g0_ = g0;
    outlierACoef_ = coef;
    outlierAExp_ = exponent;
    magThreshold_ = threshold;
    magForgettingFactor_ = forgetting;
}

void MagnetometerMeasModel::evaluate(const ConstVectorRef& y, const ConstVectorRef& x,
                                     const ConstVectorRef&, const ConstVectorRef& e) {
    jacobian_.setZero(3, x.size());
    q_ = x.segment<4>(quatIndex_);
    q_ /= q_.norm();
    R_ = rotationMatrix(q_);

    // mh = m/|m|, m = y_m - e_m
    const Eigen::Vector3d m = y.segment<3>(magIndex_) - e.segment<3>(magNoiseOffset_);
    const double mag = m.norm();
    mh_ = m / mag;
    // ah = a/|a|, a = y_a - e_a
    const Eigen::Vector3d a = y.segment<3>(accIndex_) - e.segment<3>(accNoiseOffset_);
    ah_ = a / a.norm();

    // Running magnitude: ref = (1 - f) |m| + f ref, started at the first |m|.
    if (referenceMagnitude_ < 0) referenceMagnitude_ = mag;
    referenceMagnitude_ =
        (1 - magForgettingFactor_) * mag + magForgettingFactor_ * referenceMagnitude_;

    // r = (mh x ah)/|mh x ah| + R(q) (0, 1, 0)
    const Eigen::Vector3d c = mh_.cross(ah_);
    n_ = c / c.norm();
    value_ = n_ + R_.col(1);
    // H = dr/dq = D(q, (0, 1, 0))
    D_ = rotationDerivative(q_, Eigen::Vector3d::UnitY());
    jacobian_.block<3, 4>(0, quatIndex_) = D_;

    // Sa = (1 + outlierACoef |g0 - |y_a||^outlierAExp) Sigma_a (raw reading)
    Sa_ = noise_->component(1)->covariance();
    if (outlierACoef_ > 0)
        Sa_ *= 1 + outlierACoef_ *
                       std::pow(std::fabs(g0_ - y.segment<3>(accIndex_).norm()), outlierAExp_);
    // Sm = 100000 Sigma_m while |ref - |m|| / ref > magThreshold
    Sm_ = noise_->component(0)->covariance();
    if (std::fabs(referenceMagnitude_ - mag) / referenceMagnitude_ > magThreshold_)
        Sm_ *= kDisturbedFieldInflation;

    // R = [mh]x Sa [mh]x^T + [ah]x Sm [ah]x^T
    Cm_ = crossMatrix(mh_);
    Ca_ = crossMatrix(ah_);
    noiseCovariance_ = Cm_ * Sa_ * Cm_.transpose() + Ca_ * Sm_ * Ca_.transpose();
}

ParameterMap MagnetometerMeasModel::getParameters() const {
    ParameterMap map;
    putInt(map, Q_SW, quatIndex_);
    putInt(map, YM_S, magIndex_);
    putInt(map, YA_S, accIndex_);
    putDouble(map, "outlierACoef", outlierACoef_);
    putDouble(map, "outlierAExp", outlierAExp_);
    putDouble(map, "magThreshold", magThreshold_);
    putDouble(map, "magForgettingFactor", magForgettingFactor_);
    return map;
}

void MagnetometerMeasModel::setParameters(const ParameterMap& map) {
    getInt(map, Q_SW, quatIndex_);
    getInt(map, YM_S, magIndex_);
    getInt(map, YA_S, accIndex_);
    if (quatIndex_ < 0 || magIndex_ < 0 || accIndex_ < 0)
        throw Utils::Exception("Mandatory states or measurements missing in " + typeName());
    // The general names first, so that the accelerometer-specific ones win.
    getDouble(map, "outlierCoef", outlierACoef_);
    getDouble(map, "outlierExp", outlierAExp_);
    getDouble(map, "outlierACoef", outlierACoef_);
    getDouble(map, "outlierAExp", outlierAExp_);
    getDouble(map, "magThreshold", magThreshold_);
    getDouble(map, "magForgettingFactor", magForgettingFactor_);
}

}  // namespace Filtering
