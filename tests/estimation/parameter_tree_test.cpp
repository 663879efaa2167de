// The parameter tree, its node conversions and the textual parameter map.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <typeinfo>

#include "abstract_data.h"
#include "estimation_test_util.h"
#include "parameter_map.h"
#include "utils_exception.h"

using EstimationTest::throwsWith;
using namespace Utils;

namespace {

std::unique_ptr<AbstractDataMatrix> ownedMatrix(int rows, int cols) {
    double* data = new double[static_cast<size_t>(rows) * cols];
    for (int i = 0; i < rows * cols; ++i) data[i] = i + 1;
    return std::make_unique<AbstractDataMatrix>(MatrixBuffer{rows, cols, data}, true);
}

TEST(NumericNode, ShapeDecidesWhichViewsAreAllowed) {
    AbstractDataScalar scalar(2.5);
    EXPECT_EQ(scalar.asScalar(), 2.5);
    EXPECT_EQ(scalar.typeName(), "scalar");

    auto column = ownedMatrix(3, 1);
    EXPECT_TRUE(throwsWith<std::runtime_error>([&] { column->asScalar(); },
                                               "Incompatible dimensions to produce scalar"));

    auto row = ownedMatrix(1, 4);
    const VectorBuffer v = row->asVector(false);
    EXPECT_EQ(v.length, 4);
    EXPECT_EQ(v.data[3], 4.0);
    EXPECT_TRUE(row->owned());

    auto square = ownedMatrix(2, 2);
    EXPECT_TRUE(throwsWith<std::runtime_error>([&] { square->asVector(false); },
                                               "Incompatible dimensions to produce vector"));
    const MatrixBuffer m = square->asMatrix(false);
    EXPECT_EQ(m.rows, 2);
    EXPECT_EQ(m.cols, 2);
}

TEST(NumericNode, OwnershipIsHandedOverOnlyOnce) {
    auto node = ownedMatrix(2, 3);
    const MatrixBuffer taken = node->asMatrix(true);
    EXPECT_FALSE(node->owned());
    EXPECT_TRUE(throwsWith<std::runtime_error>([&] { node->asMatrix(true); },
                                               "Cannot grant ownership of data not owned"));
    // Borrowing still works, and the node no longer frees the array: we do.
    EXPECT_EQ(node->asMatrix(false).data, taken.data);
    node.reset();
    delete[] taken.data;

    // A borrowed buffer is never owned; the dimension test comes first.
    double values[4] = {1, 2, 3, 4};
    AbstractDataVector borrowed(VectorBuffer{4, values}, false);
    EXPECT_TRUE(throwsWith<std::runtime_error>([&] { borrowed.asVector(true); },
                                               "Cannot grant ownership of data not owned"));
    AbstractDataMatrix borrowedSquare(MatrixBuffer{2, 2, values}, false);
    EXPECT_TRUE(throwsWith<std::runtime_error>([&] { borrowedSquare.asVector(true); },
                                               "Incompatible dimensions to produce vector"));
}

TEST(StructNode, FieldsAreUniqueAndLookupIsExact) {
    AbstractDataStruct s("GaussNoise");
    EXPECT_EQ(s.typeName(), "struct");
    EXPECT_EQ(s.name(), "GaussNoise");

    EXPECT_TRUE(s.addField("comment", new AbstractDataComment("first"), false));
    auto second = std::make_unique<AbstractDataComment>("second");
    EXPECT_FALSE(s.addField("comment", second.get(), false));  // caller keeps `second`
    EXPECT_EQ(dynamic_cast<AbstractDataComment&>(s.field("comment")).text(), "first");
    EXPECT_EQ(s.fieldCount(), 1);

    auto idNode = std::make_unique<AbstractDataScalar>(1);
    EXPECT_TRUE(throwsWith<Exception>([&] { s.addField("id", idNode.get(), false); },
                                      "AbstractDataStruct:  Cannot use reserved identifier 'id'"));
    EXPECT_TRUE(throwsWith<Exception>([&] { s.addScalar("id", 1, false); },
                                      "AbstractDataStruct:  Cannot use reserved identifier 'id'"));
    s.addScalar("ID", 7, false);
    s.addScalar("ID", 8, false);  // refused; the spare scalar must not leak
    EXPECT_EQ(s.numericField("ID").asScalar(), 7);

    EXPECT_TRUE(throwsWith<Exception>([&] { s.field("Sigma"); },
                                      "Unknown field in AbstractDataStruct: Sigma"));
    EXPECT_TRUE(
        throwsWith<Exception>([&] { s.field("id"); }, "Unknown field in AbstractDataStruct: id"));
}

TEST(StructNode, WrongKindOfChildIsABadCast) {
    AbstractDataStruct s("outer");
    s.addField("text", new AbstractDataComment("x"), false);
    s.addField("inner", new AbstractDataStruct("inner"), false);
    s.addScalar("value", 1, false);
    EXPECT_TRUE(throwsWith<std::bad_cast>([&] { s.numericField("text"); }, "bad cast"));
    EXPECT_TRUE(throwsWith<std::bad_cast>([&] { s.numericField("inner"); }, "bad cast"));
    EXPECT_TRUE(throwsWith<std::bad_cast>([&] { s.structField("value"); }, "bad cast"));
    EXPECT_EQ(s.structField("inner").name(), "inner");

    Eigen::VectorXd v;
    Eigen::MatrixXd m;
    EXPECT_TRUE(throwsWith<std::bad_cast>([&] { dataToVector(s.field("text"), v); }, "bad cast"));
    EXPECT_TRUE(throwsWith<std::bad_cast>([&] { dataToMatrix(s, m); }, "bad cast"));
}

TEST(TreeConversion, MatrixIsStoredRowByRowAndComesBackUntransposed) {
    Eigen::MatrixXd m(2, 3);
    m << 1, 2, 3, 4, 5, 6;
    auto node = matrixToData(m);
    EXPECT_EQ(node->rows(), 2);
    EXPECT_EQ(node->cols(), 3);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(node->data()[i], i + 1);  // row by row
    Eigen::MatrixXd back;
    dataToMatrix(*node, back);
    EXPECT_EQ(back, m);
    EXPECT_TRUE(node->owned());  // reading only borrows

    Eigen::VectorXd v(3);
    v << -1, 0.5, 1e-300;
    auto vnode = vectorToData(v);
    EXPECT_EQ(vnode->typeName(), "vector");
    Eigen::VectorXd vback;
    dataToVector(*vnode, vback);
    EXPECT_EQ(vback, v);
    // A 1 x n matrix reads as a vector of length n.
    Eigen::MatrixXd row = v.transpose();
    auto rnode = matrixToData(row);
    dataToVector(*rnode, vback);
    EXPECT_EQ(vback, v);
}

TEST(ParameterMap, TextParser) {
    using Filtering::ParameterMap;
    using Filtering::parseParameterMap;
    struct Case {
        const char* text;
        ParameterMap expected;
    };
    const Case cases[] = {
        {"", {}},
        {"a=1", {{"a", "1"}}},
        {"a=1&b=x=y", {{"a", "1"}, {"b", "x=y"}}},  // split at the first '='
        {"a=&b=2", {{"b", "2"}}},                   // empty value before '&': skipped
        {"a=1&b=", {{"a", "1"}, {"b", ""}}},        // empty value at the end: kept
        {"a=1&b&c=3", {{"a", "1"}}},                // no '=': stop
        {"a=1&=2&c=3", {{"a", "1"}}},               // empty key: stop
        {"a=1&", {{"a", "1"}}},
        {"a=1&a=2", {{"a", "2"}}},
    };
    for (const Case& c : cases) EXPECT_EQ(parseParameterMap(c.text), c.expected) << c.text;
}

TEST(ParameterMap, WritersRoundTripAndReadersOnlyTouchPresentKeys) {
    using namespace Filtering;
    ParameterMap map;
    putDouble(map, "d", 0.1);
    putInt(map, "i", -1);
    EXPECT_EQ(map["d"], "0.10000000000000000555");  // 20 significant digits
    EXPECT_EQ(map["i"], "-1");

    double d = 0;
    int i = 5;
    EXPECT_TRUE(getDouble(map, "d", d));
    EXPECT_EQ(d, 0.1);
    EXPECT_TRUE(getInt(map, "i", i));
    EXPECT_EQ(i, -1);

    int untouched = 42;
    EXPECT_FALSE(getInt(map, "missing", untouched));
    EXPECT_EQ(untouched, 42);

    // A value that is no number must not quietly become 0.
    map["bad"] = "four";
    EXPECT_TRUE(throwsWith<Exception>([&] { getInt(map, "bad", untouched); },
                                      "ParameterMap: cannot read bad"));
    EXPECT_EQ(untouched, 42);
}

}  // namespace
