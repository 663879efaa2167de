// Parameter tree: named structs of numeric, comment and struct nodes through
// which every model and noise describes itself and is rebuilt.
#pragma once

#include <Eigen/Core>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Utils {

// Base of all tree nodes.
class AbstractData {
  public:
    AbstractData() = default;
    AbstractData(const AbstractData&) = delete;
    AbstractData& operator=(const AbstractData&) = delete;
    virtual ~AbstractData();
    // Kind of node: "struct", "scalar", "vector", "matrix" or "comment".
    virtual std::string typeName() const = 0;
};

// Borrowed (or handed-over) view of a numeric node's values.
struct VectorBuffer {
    int32_t length;
    double* data;
};

// Row-by-row values of a numeric node.
struct MatrixBuffer {
    int32_t rows;
    int32_t cols;
    double* data;
};

// A block of doubles, stored row by row, with its shape.
class AbstractDataNumeric : public AbstractData {
  public:
    ~AbstractDataNumeric() override;

    // The single value of a 1 x 1 node; raises std::runtime_error
    // "Incompatible dimensions to produce scalar" otherwise.
    virtual double asScalar() const;
    // The values of a node with one row or one column (length = the larger
    // of the two). With takeOwnership the caller receives the array and must
    // delete[] it; a node that does not own its data refuses that.
    virtual VectorBuffer asVector(bool takeOwnership);
    // The row-by-row values of any node; ownership as for asVector.
    virtual MatrixBuffer asMatrix(bool takeOwnership);

    int32_t rows() const { return rows_; }
    int32_t cols() const { return cols_; }
    bool owned() const { return owned_; }
    const double* data() const { return data_; }

  protected:
    AbstractDataNumeric(double* data, int32_t rows, int32_t cols, bool owned);

  private:
    void giveUpOwnership(bool takeOwnership);

    double* data_;  // row by row; deleted as an array when owned_
    int32_t rows_;
    int32_t cols_;
    bool owned_;
};

class AbstractDataScalar : public AbstractDataNumeric {
  public:
    // Allocates one double holding x and owns it.
    explicit AbstractDataScalar(double x);
    std::string typeName() const override;
};

class AbstractDataVector : public AbstractDataNumeric {
  public:
    // Adopts the buffer as length rows and 1 column; deletes it if owned.
    AbstractDataVector(VectorBuffer buffer, bool owned);
    std::string typeName() const override;
};

class AbstractDataMatrix : public AbstractDataNumeric {
  public:
    // Adopts the row-by-row buffer; deletes it if owned.
    AbstractDataMatrix(MatrixBuffer buffer, bool owned);
    std::string typeName() const override;
};

class AbstractDataComment : public AbstractData {
  public:
    explicit AbstractDataComment(std::string text);
    std::string typeName() const override;
    const std::string& text() const { return text_; }

  private:
    std::string text_;
};

// A named, ordered list of fields. The struct owns every child node.
class AbstractDataStruct : public AbstractData {
  public:
    explicit AbstractDataStruct(std::string name);
    ~AbstractDataStruct() override;
    std::string typeName() const override;

    // Appends the field and takes the node; returns true. A name already
    // present returns false and leaves the node with the caller. The name
    // "id" is reserved: Utils::Exception. A null node is not added (false).
    // `flag` is kept with the field and has no other effect.
    bool addField(const std::string& name, AbstractData* node, bool flag);
    // Adds a new scalar node holding x (dropped again if the name exists).
    void addScalar(const std::string& name, double x, bool flag);

    // Child of that exact name; Utils::Exception "Unknown field in
    // AbstractDataStruct: <name>" when there is none.
    AbstractData& field(const std::string& name) const;
    // The same, checked to be numeric / a struct (else std::bad_cast).
    AbstractDataNumeric& numericField(const std::string& name) const;
    AbstractDataStruct& structField(const std::string& name) const;

    const std::string& name() const { return name_; }

    // Fields in insertion order.
    int fieldCount() const { return static_cast<int>(fields_.size()); }
    const std::string& fieldName(int i) const { return fields_.at(i).name; }
    AbstractData& fieldNode(int i) const { return *fields_.at(i).node; }

  private:
    struct Field {
        std::string name;
        std::unique_ptr<AbstractData> node;
        bool flag;
    };

    std::string name_;
    std::vector<Field> fields_;
};

// Checked conversions of a node; std::bad_cast ("bad cast") for another kind.
AbstractDataStruct& asStruct(AbstractData& node);
AbstractDataNumeric& asNumeric(AbstractData& node);

// New vector node owning a copy of the elements.
std::unique_ptr<AbstractDataVector> vectorToData(const Eigen::VectorXd& v);
// New matrix node owning a row-by-row copy.
std::unique_ptr<AbstractDataMatrix> matrixToData(const Eigen::MatrixXd& m);
// Fills v from a numeric node with one row or one column (borrowing its data).
void dataToVector(AbstractData& node, Eigen::VectorXd& v);
// Fills m, resized to the node's shape, from the node's row-by-row data.
void dataToMatrix(AbstractData& node, Eigen::MatrixXd& m);

}  // namespace Utils
