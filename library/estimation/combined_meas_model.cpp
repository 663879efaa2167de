#include "combined_meas_model.h"

#include "model_factory.h"
#include "utils_exception.h"

namespace Filtering {

CombinedMeasModel::CombinedMeasModel() : stackedNoise_(new StackedNoise(false)) {}

CombinedMeasModel::~CombinedMeasModel() {
    delete stackedNoise_;
    for (MeasModel* m : subModels_) delete m;
}

void CombinedMeasModel::add(MeasModel* model) {
    std::unique_ptr<MeasModel> owned(model);
    subModels_.reserve(subModels_.size() + 1);
    noiseSegments_.reserve(noiseSegments_.size() + 1);
    stackedNoise_->add(model->noise());
    const int32_t length = model->noise()->dimension();
    noiseSegments_.emplace_back(stackedNoise_->dimension() - length, length);
    subModels_.push_back(owned.release());
}

std::string CombinedMeasModel::typeName() const {
    return "CombinedMeasModel";
}

std::unique_ptr<Utils::AbstractDataStruct> CombinedMeasModel::writeParameters() const {
    auto s = std::make_unique<Utils::AbstractDataStruct>(typeName());
    s->addField("comment",
                new Utils::AbstractDataComment(
                    " Combined measurement model (uncorrelated measurement relations): \n 0 = "
                    "h1..n(y_t, x_t, u_t, e_t) "),
                false);
    s->addScalar("N", static_cast<double>(subModels_.size()), false);
    for (size_t i = 0; i < subModels_.size(); ++i)
        s->addField("M" + std::to_string(i), subModels_[i]->writeParameters().release(), false);
    return s;
}

void CombinedMeasModel::readParameters(Utils::AbstractData& node) {
    Utils::AbstractDataStruct& s = Utils::asStruct(node);
    const int count = static_cast<int>(s.numericField("N").asScalar());
    std::vector<std::unique_ptr<MeasModel>> models;
    for (int i = 0; i < count; ++i) {
        Utils::AbstractDataStruct& m = s.structField("M" + std::to_string(i));
        std::unique_ptr<MeasModel> model = measModelFactory().create(m.name());
        model->readParameters(m);
        models.push_back(std::move(model));
    }
    replaceModels(std::move(models));
}

void CombinedMeasModel::replaceModels(std::vector<std::unique_ptr<MeasModel>> models) {
    // The fresh stack refers only to the new models' noises; the old one is
    // dropped before the models whose noises it refers to.
    auto fresh = std::make_unique<StackedNoise>(false);
    std::vector<std::pair<int32_t, int32_t>> segments;
    for (const auto& m : models) {
        const int32_t offset = fresh->dimension();
        fresh->add(m->noise());
        segments.emplace_back(offset, m->noise()->dimension());
    }
    std::vector<MeasModel*> raw;
    raw.reserve(models.size());
    delete stackedNoise_;
    stackedNoise_ = fresh.release();
    for (MeasModel* m : subModels_) delete m;
    for (auto& m : models) raw.push_back(m.release());
    subModels_ = std::move(raw);
    noiseSegments_ = std::move(segments);
}

size_t CombinedMeasModel::select(const ConstVectorRef& y) const {
    // The selector is truncated (1.9 selects model 1). Anything that does
    // not name a model must not reach the list.
    const double k = y.size() > 0 ? y(0) : -1.0;
    if (!(k >= 0 && k < static_cast<double>(subModels_.size())))
        throw Utils::Exception("Measurement selector out of range in " + typeName());
    return static_cast<size_t>(k);
}

const Eigen::VectorXd& CombinedMeasModel::value(const ConstVectorRef& y) const {
    return subModels_[select(y)]->value(y.tail(y.size() - 1));
}

const Eigen::MatrixXd& CombinedMeasModel::jacobian(const ConstVectorRef& y) const {
    return subModels_[select(y)]->jacobian(y.tail(y.size() - 1));
}

const Eigen::MatrixXd& CombinedMeasModel::noiseCovariance(const ConstVectorRef& y) const {
    return subModels_[select(y)]->noiseCovariance(y.tail(y.size() - 1));
}

void CombinedMeasModel::evaluate(const ConstVectorRef& y, const ConstVectorRef& x,
                                 const ConstVectorRef& u, const ConstVectorRef& e) {
    const size_t k = select(y);
    const auto [offset, length] = noiseSegments_[k];
    subModels_[k]->evaluate(y.tail(y.size() - 1), x, u, e.segment(offset, length));
}

int CombinedMeasModel::inputDimension() const {
    throw Utils::Exception("Not yet implemented for " + typeName());
}

int CombinedMeasModel::outputDimension() const {
    throw Utils::Exception("Not yet implemented for " + typeName());
}

ParameterMap CombinedMeasModel::getParameters() const {
    ParameterMap map;
    for (size_t k = 0; k < subModels_.size(); ++k) {
        putInt(map, subModels_[k]->typeName(), static_cast<int>(k));
        for (const auto& [key, value] : subModels_[k]->getParameters()) map[key] = value;
    }
    return map;
}

void CombinedMeasModel::setParameters(const ParameterMap& map) {
    for (MeasModel* m : subModels_) m->setParameters(map);
}

}  // namespace Filtering
