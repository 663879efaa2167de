// Gaussian and stacked noises.
#include <gtest/gtest.h>

#include <memory>

#include "estimation_test_util.h"
#include "gauss_noise.h"
#include "stacked_noise.h"
#include "utils_exception.h"

using namespace Filtering;
using EstimationTest::throwsWith;

namespace {

Eigen::MatrixXd diag3(double a, double b, double c) {
    return Eigen::Vector3d(a, b, c).asDiagonal();
}

TEST(GaussNoise, CovarianceConstructorGivesZeroMean) {
    GaussNoise n(0.01 * Eigen::MatrixXd::Identity(3, 3));
    EXPECT_EQ(n.dimension(), 3);
    EXPECT_EQ(n.mean(), Eigen::VectorXd::Zero(3));
    EXPECT_EQ(n.covariance(), 0.01 * Eigen::MatrixXd::Identity(3, 3));
    EXPECT_EQ(n.typeName(), "GaussNoise");
}

TEST(GaussNoise, ResizeGivesZeroOrIdentityCovariance) {
    GaussNoise n(Eigen::VectorXd::Ones(3), diag3(1, 2, 3));
    n.resize(2, false);
    EXPECT_EQ(n.mean(), Eigen::VectorXd::Zero(2));
    EXPECT_EQ(n.covariance(), Eigen::MatrixXd::Zero(2, 2));
    n.resize(2, true);
    EXPECT_EQ(n.covariance(), Eigen::MatrixXd::Identity(2, 2));
}

TEST(StackedNoise, BuildsStackedMeanAndBlockDiagonalCovariance) {
    Eigen::VectorXd mu2(3);
    mu2 << 1, 2, 3;
    GaussNoise mag(0.001 * Eigen::MatrixXd::Identity(3, 3));
    GaussNoise acc(mu2, diag3(0.025, 0.025, 0.05));
    StackedNoise s(true);
    s.add(&mag);
    s.add(&acc);
    ASSERT_EQ(s.dimension(), 6);
    Eigen::VectorXd mu(6);
    mu << 0, 0, 0, 1, 2, 3;
    EXPECT_EQ(s.mean(), mu);
    Eigen::MatrixXd Sigma = Eigen::MatrixXd::Zero(6, 6);
    Sigma.topLeftCorner(3, 3) = 0.001 * Eigen::MatrixXd::Identity(3, 3);
    Sigma.bottomRightCorner(3, 3) = diag3(0.025, 0.025, 0.05);
    EXPECT_EQ(s.covariance(), Sigma);
    EXPECT_TRUE(throwsWith<Utils::Exception>([&] { s.resize(2, true); },
                                             "Resize not implemented for StackedNoise"));
}

TEST(StackedNoise, OwningStackKeepsCopiesNonOwningRefersToTheOriginal) {
    auto passed = std::make_unique<GaussNoise>(diag3(1, 2, 3));
    StackedNoise owning(true);
    StackedNoise referring(false);
    owning.add(passed.get());
    referring.add(passed.get());
    EXPECT_NE(owning.component(0), passed.get());
    EXPECT_EQ(referring.component(0), passed.get());
    passed.reset();  // the owning stack is unaffected (ASan checks the rest)
    EXPECT_EQ(owning.component(0)->covariance(), diag3(1, 2, 3));
    EXPECT_EQ(owning.covariance(), diag3(1, 2, 3));
}

TEST(StackedNoise, CloneIsADeepOwningCopy) {
    GaussNoise a(diag3(1, 2, 3));
    StackedNoise inner(false);
    inner.add(&a);
    inner.add(&a);
    std::unique_ptr<Noise> copy = inner.clone();
    auto& stacked = dynamic_cast<StackedNoise&>(*copy);
    EXPECT_TRUE(stacked.ownsComponents());
    ASSERT_EQ(stacked.componentCount(), 2);
    EXPECT_NE(stacked.component(0), &a);
    EXPECT_EQ(stacked.covariance(), inner.covariance());

    // A stack inside an owning stack keeps its components.
    StackedNoise outer(true);
    outer.add(&inner);
    outer.add(&a);
    EXPECT_EQ(outer.dimension(), 9);
    EXPECT_EQ(outer.covariance().topLeftCorner(6, 6), inner.covariance());
}

}  // namespace
