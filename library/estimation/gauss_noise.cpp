#include "gauss_noise.h"

namespace Filtering {

GaussNoise::GaussNoise(const Eigen::MatrixXd& Sigma)
    : mu_(Eigen::VectorXd::Zero(Sigma.rows())), Sigma_(Sigma) {}

GaussNoise::GaussNoise(const Eigen::VectorXd& mu, const Eigen::MatrixXd& Sigma)
    : mu_(mu), Sigma_(Sigma) {}

std::unique_ptr<Noise> GaussNoise::clone() const {
    return std::make_unique<GaussNoise>(*this);
}

std::string GaussNoise::typeName() const {
    return "GaussNoise";
}

std::unique_ptr<Utils::AbstractDataStruct> GaussNoise::writeParameters() const {
    auto s = std::make_unique<Utils::AbstractDataStruct>(typeName());
    s->addField("comment", new Utils::AbstractDataComment(" Gaussian noise N(mu, Sigma) "), false);
    s->addField("mu", Utils::vectorToData(mu_).release(), false);
    s->addField("Sigma", Utils::matrixToData(Sigma_).release(), false);
    return s;
}

void GaussNoise::readParameters(Utils::AbstractData& node) {
    Utils::AbstractDataStruct& s = Utils::asStruct(node);
    // Read both before replacing either, so a failure leaves the noise intact.
    Eigen::VectorXd mu;
    Eigen::MatrixXd Sigma;
    Utils::dataToVector(s.field("mu"), mu);
    Utils::dataToMatrix(s.field("Sigma"), Sigma);
    mu_ = std::move(mu);
    Sigma_ = std::move(Sigma);
}

int GaussNoise::dimension() const {
    return static_cast<int>(mu_.size());
}

void GaussNoise::resize(int n, bool identity) {
    mu_ = Eigen::VectorXd::Zero(n);
    if (identity)
        Sigma_.setIdentity(n, n);
    else
        Sigma_.setZero(n, n);
}

}  // namespace Filtering
