#include "abstract_data.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "utils_exception.h"

namespace Utils {

AbstractData::~AbstractData() = default;

// ---------------------------------------------------------------- numeric

AbstractDataNumeric::AbstractDataNumeric(double* data, int32_t rows, int32_t cols, bool owned)
    : data_(data), rows_(rows), cols_(cols), owned_(owned) {}

AbstractDataNumeric::~AbstractDataNumeric() {
    if (owned_) delete[] data_;
}

double AbstractDataNumeric::asScalar() const {
    if (rows_ != 1 || cols_ != 1)
        throw std::runtime_error("Incompatible dimensions to produce scalar");
    return data_[0];
}

void AbstractDataNumeric::giveUpOwnership(bool takeOwnership) {
    if (!takeOwnership) return;
    if (!owned_) throw std::runtime_error("Cannot grant ownership of data not owned");
    owned_ = false;
}

VectorBuffer AbstractDataNumeric::asVector(bool takeOwnership) {
    if (rows_ >= 2 && cols_ >= 2)
        throw std::runtime_error("Incompatible dimensions to produce vector");
    giveUpOwnership(takeOwnership);
    return VectorBuffer{std::max(rows_, cols_), data_};
}

MatrixBuffer AbstractDataNumeric::asMatrix(bool takeOwnership) {
    giveUpOwnership(takeOwnership);
    return MatrixBuffer{rows_, cols_, data_};
}

AbstractDataScalar::AbstractDataScalar(double x)
    : AbstractDataNumeric(new double[1]{x}, 1, 1, true) {}

std::string AbstractDataScalar::typeName() const {
    return "scalar";
}

AbstractDataVector::AbstractDataVector(VectorBuffer buffer, bool owned)
    : AbstractDataNumeric(buffer.data, buffer.length, 1, owned) {}

std::string AbstractDataVector::typeName() const {
    return "vector";
}

AbstractDataMatrix::AbstractDataMatrix(MatrixBuffer buffer, bool owned)
    : AbstractDataNumeric(buffer.data, buffer.rows, buffer.cols, owned) {}

std::string AbstractDataMatrix::typeName() const {
    return "matrix";
}

// ---------------------------------------------------------------- comment

AbstractDataComment::AbstractDataComment(std::string text) : text_(std::move(text)) {}

std::string AbstractDataComment::typeName() const {
    return "comment";
}

// ---------------------------------------------------------------- struct

AbstractDataStruct::AbstractDataStruct(std::string name) : name_(std::move(name)) {}

AbstractDataStruct::~AbstractDataStruct() = default;

std::string AbstractDataStruct::typeName() const {
    return "struct";
}

bool AbstractDataStruct::addField(const std::string& name, AbstractData* node, bool flag) {
    if (name == "id") throw Exception("AbstractDataStruct:  Cannot use reserved identifier 'id'");
    if (node == nullptr) return false;
    for (const Field& f : fields_)
        if (f.name == name) return false;
    // From here on the struct owns the node, even if appending fails.
    std::unique_ptr<AbstractData> owned(node);
    fields_.push_back(Field{name, std::move(owned), flag});
    return true;
}

void AbstractDataStruct::addScalar(const std::string& name, double x, bool flag) {
    auto node = std::make_unique<AbstractDataScalar>(x);
    // A refused name leaves the node with us; unique_ptr then deletes it.
    if (addField(name, node.get(), flag)) node.release();
}

AbstractData& AbstractDataStruct::field(const std::string& name) const {
    for (const Field& f : fields_)
        if (f.name == name) return *f.node;
    throw Exception("Unknown field in AbstractDataStruct: " + name);
}

AbstractDataNumeric& AbstractDataStruct::numericField(const std::string& name) const {
    return asNumeric(field(name));
}

AbstractDataStruct& AbstractDataStruct::structField(const std::string& name) const {
    return asStruct(field(name));
}

// ---------------------------------------------------------------- conversions

AbstractDataStruct& asStruct(AbstractData& node) {
    auto* s = dynamic_cast<AbstractDataStruct*>(&node);
    if (s == nullptr) throw BadCast();
    return *s;
}

AbstractDataNumeric& asNumeric(AbstractData& node) {
    auto* n = dynamic_cast<AbstractDataNumeric*>(&node);
    if (n == nullptr) throw BadCast();
    return *n;
}

std::unique_ptr<AbstractDataVector> vectorToData(const Eigen::VectorXd& v) {
    const auto n = static_cast<int32_t>(v.size());
    std::unique_ptr<double[]> copy(new double[n]);
    std::copy(v.data(), v.data() + n, copy.get());
    auto node = std::make_unique<AbstractDataVector>(VectorBuffer{n, copy.get()}, true);
    copy.release();
    return node;
}

std::unique_ptr<AbstractDataMatrix> matrixToData(const Eigen::MatrixXd& m) {
    const auto rows = static_cast<int32_t>(m.rows());
    const auto cols = static_cast<int32_t>(m.cols());
    std::unique_ptr<double[]> copy(new double[static_cast<size_t>(rows) * cols]);
    // Eigen stores column by column; the tree stores row by row.
    for (int32_t r = 0; r < rows; ++r)
        for (int32_t c = 0; c < cols; ++c) copy[static_cast<size_t>(r) * cols + c] = m(r, c);
    auto node = std::make_unique<AbstractDataMatrix>(MatrixBuffer{rows, cols, copy.get()}, true);
    copy.release();
    return node;
}

void dataToVector(AbstractData& node, Eigen::VectorXd& v) {
    const VectorBuffer b = asNumeric(node).asVector(false);
    v = Eigen::Map<const Eigen::VectorXd>(b.data, b.length);
}

void dataToMatrix(AbstractData& node, Eigen::MatrixXd& m) {
    const MatrixBuffer b = asNumeric(node).asMatrix(false);
    using RowMajor = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;
    m = Eigen::Map<const RowMajor>(b.data, b.rows, b.cols);
}

}  // namespace Utils
