#include "stacked_noise.h"

#include "model_factory.h"
#include "utils_exception.h"

namespace Filtering {

StackedNoise::StackedNoise(bool ownsComponents) : ownsComponents_(ownsComponents) {}

StackedNoise::~StackedNoise() {
    deleteOwnedComponents();
}

void StackedNoise::deleteOwnedComponents() {
    if (ownsComponents_)
        for (Noise* n : components_) delete n;
    components_.clear();
}

std::unique_ptr<Noise> StackedNoise::clone() const {
    auto copy = std::make_unique<StackedNoise>(true);
    for (Noise* n : components_) copy->add(n);
    return copy;
}

std::string StackedNoise::typeName() const {
    return "StackedNoise";
}

std::unique_ptr<Utils::AbstractDataStruct> StackedNoise::writeParameters() const {
    auto s = std::make_unique<Utils::AbstractDataStruct>(typeName());
    s->addField("comment", new Utils::AbstractDataComment(" Stacked noise "), false);
    s->addScalar("count", static_cast<double>(components_.size()), false);
    for (size_t i = 0; i < components_.size(); ++i)
        s->addField("N" + std::to_string(i), components_[i]->writeParameters().release(), false);
    return s;
}

void StackedNoise::readParameters(Utils::AbstractData& node) {
    Utils::AbstractDataStruct& s = Utils::asStruct(node);
    const int count = static_cast<int>(s.numericField("count").asScalar());
    // Build the new components completely before giving up the old ones.
    std::vector<std::unique_ptr<Noise>> fresh;
    for (int i = 0; i < count; ++i) {
        Utils::AbstractDataStruct& c = s.structField("N" + std::to_string(i));
        std::unique_ptr<Noise> n = noiseFactory().create(c.name());
        n->readParameters(c);
        fresh.push_back(std::move(n));
    }
    components_.reserve(fresh.size());
    deleteOwnedComponents();
    ownsComponents_ = true;
    for (auto& n : fresh) components_.push_back(n.release());
    rebuild();
}

int StackedNoise::dimension() const {
    return static_cast<int>(mu_.size());
}

void StackedNoise::resize(int, bool) {
    throw Utils::Exception("Resize not implemented for " + typeName());
}

void StackedNoise::add(Noise* noise) {
    if (ownsComponents_) {
        std::unique_ptr<Noise> copy = noise->clone();
        components_.push_back(copy.get());
        copy.release();
    } else {
        components_.push_back(noise);
    }
    rebuild();
}

void StackedNoise::rebuild() {
    // d = sum of the component dimensions
    int d = 0;
    for (Noise* n : components_) d += n->dimension();
    mu_ = Eigen::VectorXd::Zero(d);
    Sigma_ = Eigen::MatrixXd::Zero(d, d);
    // Component i occupies elements o .. o + d_i - 1 of mu and the diagonal
    // block at (o, o) of Sigma.
    int o = 0;
    for (Noise* n : components_) {
        const int di = n->dimension();
        mu_.segment(o, di) = n->mean();
        Sigma_.block(o, o, n->covariance().rows(), n->covariance().cols()) = n->covariance();
        o += di;
    }
}

}  // namespace Filtering
