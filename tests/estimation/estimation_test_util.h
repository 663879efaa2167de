// Helpers shared by the estimation tests: random inputs, central finite
// differences, tree comparison and exception-text checks.
#pragma once

#include <gtest/gtest.h>

#include <Eigen/Core>
#include <functional>
#include <random>
#include <string>

#include "abstract_data.h"

namespace EstimationTest {

// Deterministic random numbers so that a failure reproduces.
class Random {
  public:
    explicit Random(unsigned seed) : engine_(seed) {}
    double uniform(double lo, double hi) {
        return std::uniform_real_distribution<>(lo, hi)(engine_);
    }
    Eigen::VectorXd vector(int n, double lo = -1, double hi = 1) {
        Eigen::VectorXd v(n);
        for (int i = 0; i < n; ++i) v(i) = uniform(lo, hi);
        return v;
    }
    Eigen::Vector4d unitQuaternion() {
        Eigen::Vector4d q = vector(4);
        return q / q.norm();
    }
    // A direction in the quaternion's tangent space (orthogonal to q), unit length.
    Eigen::Vector4d tangent(const Eigen::Vector4d& q) {
        Eigen::Vector4d d = vector(4);
        d -= q.dot(d) * q;
        return d / d.norm();
    }
    // Symmetric positive definite n x n matrix.
    Eigen::MatrixXd spd(int n) {
        Eigen::MatrixXd A(n, n);
        for (int i = 0; i < n; ++i) A.col(i) = vector(n);
        return A * A.transpose() + 0.1 * Eigen::MatrixXd::Identity(n, n);
    }

  private:
    std::mt19937 engine_;
};

using VectorFunction = std::function<Eigen::VectorXd(const Eigen::VectorXd&)>;

// (f(x + h d) - f(x - h d)) / 2h
inline Eigen::VectorXd centralDifference(const VectorFunction& f, const Eigen::VectorXd& x,
                                         const Eigen::VectorXd& d, double h = 1e-6) {
    return (f(x + h * d) - f(x - h * d)) / (2 * h);
}

// Column j: central difference along the unit vector e_j.
inline Eigen::MatrixXd numericJacobian(const VectorFunction& f, const Eigen::VectorXd& x,
                                       double h = 1e-6) {
    const Eigen::VectorXd f0 = f(x);
    Eigen::MatrixXd J(f0.size(), x.size());
    for (int j = 0; j < x.size(); ++j)
        J.col(j) = centralDifference(f, x, Eigen::VectorXd::Unit(x.size(), j), h);
    return J;
}

inline ::testing::AssertionResult near(const Eigen::MatrixXd& actual,
                                       const Eigen::MatrixXd& expected, double tolerance) {
    if (actual.rows() != expected.rows() || actual.cols() != expected.cols())
        return ::testing::AssertionFailure() << "shape " << actual.rows() << "x" << actual.cols()
                                             << " vs " << expected.rows() << "x" << expected.cols();
    const double err = (actual - expected).cwiseAbs().maxCoeff();
    if (err <= tolerance) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "max deviation " << err << " > " << tolerance << "\nactual:\n"
           << actual << "\nexpected:\n"
           << expected;
}

// Runs f, which must throw E with exactly this what() text.
template <class E, class F>
::testing::AssertionResult throwsWith(F&& f, const std::string& text) {
    try {
        f();
    } catch (const E& e) {
        if (text == e.what()) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << "message \"" << e.what() << "\", expected \"" << text << "\"";
    } catch (const std::exception& e) {
        return ::testing::AssertionFailure()
               << "wrong exception type, message \"" << e.what() << "\"";
    }
    return ::testing::AssertionFailure() << "nothing thrown, expected \"" << text << "\"";
}

// Deep equality of two trees: same struct names, field names and order,
// node kinds, comment texts, shapes and values.
inline ::testing::AssertionResult sameTree(Utils::AbstractData& a, Utils::AbstractData& b,
                                           const std::string& path = "") {
    if (a.typeName() != b.typeName())
        return ::testing::AssertionFailure()
               << path << ": kind " << a.typeName() << " vs " << b.typeName();
    if (auto* sa = dynamic_cast<Utils::AbstractDataStruct*>(&a)) {
        auto& sb = dynamic_cast<Utils::AbstractDataStruct&>(b);
        if (sa->name() != sb.name() || sa->fieldCount() != sb.fieldCount())
            return ::testing::AssertionFailure()
                   << path << ": struct " << sa->name() << " vs " << sb.name();
        for (int i = 0; i < sa->fieldCount(); ++i) {
            if (sa->fieldName(i) != sb.fieldName(i))
                return ::testing::AssertionFailure()
                       << path << ": field " << sa->fieldName(i) << " vs " << sb.fieldName(i);
            auto r = sameTree(sa->fieldNode(i), sb.fieldNode(i), path + "/" + sa->fieldName(i));
            if (!r) return r;
        }
    } else if (auto* ca = dynamic_cast<Utils::AbstractDataComment*>(&a)) {
        if (ca->text() != dynamic_cast<Utils::AbstractDataComment&>(b).text())
            return ::testing::AssertionFailure() << path << ": comment differs";
    } else {
        auto& na = dynamic_cast<Utils::AbstractDataNumeric&>(a);
        auto& nb = dynamic_cast<Utils::AbstractDataNumeric&>(b);
        if (na.rows() != nb.rows() || na.cols() != nb.cols())
            return ::testing::AssertionFailure() << path << ": shape differs";
        for (int i = 0; i < na.rows() * na.cols(); ++i)
            if (na.data()[i] != nb.data()[i])
                return ::testing::AssertionFailure() << path << ": value " << i << " differs";
    }
    return ::testing::AssertionSuccess();
}

}  // namespace EstimationTest
