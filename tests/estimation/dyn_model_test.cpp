// The constant-angular-velocity orientation model: Jacobians and process
// noise against finite differences, conventions, configuration checks.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "estimation_test_util.h"
#include "gauss_noise.h"
#include "imu_ori_dyn_model.h"
#include "utils_exception.h"

using namespace Filtering;
using EstimationTest::near;
using EstimationTest::Random;
using EstimationTest::throwsWith;

namespace {

// Owning stack of an angular-velocity noise Sw and, optionally, a bias noise Sb.
StackedNoise* makeNoise(const Eigen::MatrixXd& Sw, const Eigen::MatrixXd* Sb = nullptr) {
    auto* s = new StackedNoise(true);
    GaussNoise w(Sw);
    s->add(&w);
    if (Sb) {
        GaussNoise b(*Sb);
        s->add(&b);
    }
    return s;
}

ParameterMap indices(int quat, int rate, int bias, int input = 0) {
    ParameterMap m;
    putInt(m, Q_SW, quat);
    putInt(m, W_S, rate);
    putInt(m, BW_S, bias);
    putInt(m, UYW_S, input);
    return m;
}

struct Variant {
    const char* name;
    int quat, rate, bias, input;
    int nx;  // elements the model uses; the test state has two more
};

// The model's relations, and what the Jacobians mean for them:
//   f_q = dq(v) (x) q/|q|, v = -T (omega + e) or -T (g - b - e)
//   F = df/dx. Its quaternion block ML(dq) differentiates dq (x) q without
//   the normalisation of q, so it equals df/dx only along directions tangent
//   to the unit sphere; those are the directions checked. Its rate (or bias)
//   block is G = d f_q / d omega (or d b) = MR(q) J dv/domega.
//   Q = Gamma Sw Gamma^T with Gamma = d f / d e: the quaternion part of Gamma
//   is d f_q / d e (checked by differences), the rate part the identity
//   (the noise is the rate's random walk); a bias state adds Sb.
TEST(IMUOriDynModel, JacobianAndProcessNoiseMatchFiniteDifferences) {
    const Variant variants[] = {
        {"angular-velocity state", 0, 4, -1, 0, 7},
        {"angular-velocity state, quaternion last", 3, 0, -1, 0, 7},
        {"gyroscope input", 0, -1, -1, 2, 4},
        {"gyroscope input with bias state", 0, -1, 4, 0, 7},
        {"angular-velocity and bias states", 0, 4, 7, 0, 10},
    };
    Random rnd(11);
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.name);
        const Eigen::MatrixXd Sw = 0.1 * rnd.spd(3), Sb = 0.01 * rnd.spd(3);
        IMUOriDynModel model(makeNoise(Sw, &Sb));
        model.setParameters(indices(v.quat, v.rate, v.bias, v.input));
        const int n = v.nx + 2;

        for (int trial = 0; trial < 12; ++trial) {
            Eigen::VectorXd x = rnd.vector(n, -3, 3);
            const Eigen::Vector4d q = rnd.unitQuaternion();
            x.segment<4>(v.quat) = q;
            if (trial == 0 && v.rate >= 0) x.segment<3>(v.rate).setZero();  // theta = 0 branch
            const Eigen::VectorXd u = rnd.vector(5, -4, 4);
            const Eigen::VectorXd e = rnd.vector(6, -0.2, 0.2);
            const double T = trial == 1 ? -0.05 : rnd.uniform(0.001, 0.4);

            auto f = [&](const Eigen::VectorXd& xx) {
                model.evaluate(xx, u, e, T);
                return Eigen::VectorXd(model.value());
            };
            model.evaluate(x, u, e, T);
            const Eigen::MatrixXd F = model.jacobian();
            const Eigen::MatrixXd Q = model.noiseCovariance();
            ASSERT_EQ(F.rows(), n);
            ASSERT_EQ(F.cols(), n);

            // Every non-quaternion column, and three tangent directions.
            for (int j = 0; j < n; ++j) {
                if (j >= v.quat && j < v.quat + 4) continue;
                const Eigen::VectorXd d = Eigen::VectorXd::Unit(n, j);
                EXPECT_TRUE(near(F * d, EstimationTest::centralDifference(f, x, d), 1e-7))
                    << "column " << j;
            }
            for (int k = 0; k < 3; ++k) {
                Eigen::VectorXd d = Eigen::VectorXd::Zero(n);
                d.segment<4>(v.quat) = rnd.tangent(q);
                EXPECT_TRUE(near(F * d, EstimationTest::centralDifference(f, x, d), 1e-7))
                    << "tangent " << k;
            }

            // Gamma_q = d f_q / d e_w, by differences in the noise value.
            auto fq = [&](const Eigen::VectorXd& ee) {
                model.evaluate(x, u, ee, T);
                return Eigen::VectorXd(model.value().segment<4>(v.quat));
            };
            const Eigen::MatrixXd Gq = EstimationTest::numericJacobian(fq, e).leftCols(3);
            Eigen::MatrixXd expectedQ = Eigen::MatrixXd::Zero(n, n);
            expectedQ.block(v.quat, v.quat, 4, 4) = Gq * Sw * Gq.transpose();
            if (v.rate >= 0) {
                expectedQ.block(v.quat, v.rate, 4, 3) = Gq * Sw;
                expectedQ.block(v.rate, v.quat, 3, 4) = Sw * Gq.transpose();
                expectedQ.block(v.rate, v.rate, 3, 3) = Sw;
            }
            if (v.bias >= 0) expectedQ.block(v.bias, v.bias, 3, 3) = Sb;
            EXPECT_TRUE(near(Q, expectedQ, 1e-8));
        }
    }
}

TEST(IMUOriDynModel, QuarterTurnAboutZInOneSecond) {
    IMUOriDynModel model(makeNoise(Eigen::MatrixXd::Identity(3, 3)));
    model.setParameters(indices(0, 4, -1));
    Eigen::VectorXd x(7);
    x << 1, 0, 0, 0, 0, 0, M_PI / 2;
    model.evaluate(x, Eigen::VectorXd(), Eigen::VectorXd::Zero(3), 1.0);
    // Q_SW maps world vectors into the sensor frame: a sensor turning +90
    // degrees about z sees the world turn -90 degrees.
    Eigen::VectorXd expected(7);
    expected << std::cos(M_PI / 4), 0, 0, -std::sin(M_PI / 4), 0, 0, M_PI / 2;
    EXPECT_TRUE(near(model.value(), expected, 1e-15));

    // The same turn from the gyroscope as input.
    IMUOriDynModel input(makeNoise(Eigen::MatrixXd::Identity(3, 3)));
    input.setParameters(indices(0, -1, -1));
    input.evaluate(x.head(4), Eigen::Vector3d(0, 0, M_PI / 2), Eigen::VectorXd::Zero(3), 1.0);
    EXPECT_TRUE(near(input.value(), expected.head(4), 1e-15));
}

TEST(IMUOriDynModel, ZeroStepAndZeroRate) {
    const Eigen::MatrixXd Sw = Eigen::Vector3d(0.1, 0.2, 0.3).asDiagonal();
    IMUOriDynModel model(makeNoise(Sw));
    model.setParameters(indices(0, 4, -1));
    Eigen::VectorXd x(7);
    x << 0.5, 0.5, 0.5, 0.5, 1, -2, 3;

    // T = 0: nothing moves, F = I, and only the rate block of Q remains.
    model.evaluate(x, Eigen::VectorXd(), Eigen::VectorXd::Zero(3), 0.0);
    EXPECT_EQ(model.value(), x);
    EXPECT_EQ(model.jacobian(), Eigen::MatrixXd::Identity(7, 7));
    Eigen::MatrixXd Q = Eigen::MatrixXd::Zero(7, 7);
    Q.block(4, 4, 3, 3) = Sw;
    EXPECT_EQ(model.noiseCovariance(), Q);

    // omega = 0, T > 0: same prediction, but the noise still reaches the
    // quaternion through G = MR(q) [0; I/2] (-T).
    x.tail(3).setZero();
    model.evaluate(x, Eigen::VectorXd(), Eigen::VectorXd::Zero(3), 0.1);
    EXPECT_EQ(model.value(), x);
    EXPECT_GT(model.noiseCovariance().topLeftCorner(4, 4).norm(), 1e-4);
}

TEST(IMUOriDynModel, SeriesAndClosedFormAgreeAtTheBranchPoint) {
    // Below theta = 1e-6 the increment uses c = 1/2 - theta^2/48 instead of
    // sin(theta/2)/theta. c enters the Jacobian's rate block directly (a
    // wrong series term shifts it by about 4e-14 there), while the prediction
    // only sees c v, so the Jacobians on both sides of the switch are compared.
    IMUOriDynModel model(makeNoise(Eigen::MatrixXd::Identity(3, 3)));
    model.setParameters(indices(0, 4, -1));
    Random rnd(3);
    Eigen::VectorXd x(7);
    const Eigen::Vector3d axis = rnd.vector(3).normalized();
    x << rnd.unitQuaternion(), axis * 1e-6 * (1 - 1e-9);
    model.evaluate(x, Eigen::VectorXd(), Eigen::VectorXd::Zero(3), 1.0);
    const Eigen::MatrixXd below = model.jacobian();
    x.tail(3) = axis * 1e-6 * (1 + 1e-9);
    model.evaluate(x, Eigen::VectorXd(), Eigen::VectorXd::Zero(3), 1.0);
    EXPECT_TRUE(near(model.jacobian(), below, 3e-15));
}

TEST(IMUOriDynModel, ParametersAndDimensions) {
    IMUOriDynModel model(makeNoise(Eigen::MatrixXd::Identity(3, 3)));
    EXPECT_EQ(model.typeName(), "IMUOriDynModel");
    // Defaults: gyroscope input with a bias state.
    const ParameterMap defaults = {{Q_SW, "0"}, {BW_S, "4"}, {W_S, "-1"}, {NX, "7"}, {UYW_S, "0"}};
    EXPECT_EQ(model.getParameters(), defaults);
    EXPECT_EQ(model.inputDimension(), 3);
    EXPECT_EQ(model.outputDimension(), 3);

    // The orientation filter's layout: nx 10 in the map is not read.
    ParameterMap filter = indices(0, 4, -1, -1);
    putInt(filter, NX, 10);
    model.setParameters(filter);
    EXPECT_EQ(model.inputDimension(), 0);
    EXPECT_EQ(model.getParameters().at(NX), "7");

    // Elements beyond the model's blocks are carried unchanged.
    Eigen::VectorXd x(10);
    x << 1, 0, 0, 0, 0.1, 0.2, 0.3, 7, 8, 9;
    model.evaluate(x, Eigen::VectorXd(), Eigen::VectorXd::Zero(3), 0.01);
    EXPECT_EQ(model.value().tail(3), x.tail(3));
}

TEST(IMUOriDynModel, SetParametersRejectsInconsistentLayouts) {
    struct Case {
        const char* name;
        ParameterMap map;
        bool withBiasNoise;
        const char* error;  // nullptr: accepted
    };
    const Case cases[] = {
        {"filter layout", indices(0, 4, -1), false, nullptr},
        {"rate and bias", indices(0, 4, 7), true, nullptr},
        {"bias before quaternion", indices(3, -1, 0), true, nullptr},
        {"no quaternion", indices(-1, 4, -1), false, "Mandatory states missing in IMUOriDynModel"},
        {"rate overlaps quaternion", indices(0, 2, -1), false,
         "State indices corrupted in IMUOriDynModel"},
        {"rate overlaps bias", indices(0, 4, 4), true, "State indices corrupted in IMUOriDynModel"},
        {"gap before the quaternion", indices(1, -1, -1), false,
         "State indices corrupted in IMUOriDynModel"},
        {"rate beyond nx", indices(0, 5, -1), false, "State indices corrupted in IMUOriDynModel"},
        {"bias without bias noise", indices(0, -1, 4), false,
         "Noise inconsistent with state in IMUOriDynModel"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Eigen::MatrixXd I = Eigen::MatrixXd::Identity(3, 3);
        IMUOriDynModel model(makeNoise(I, c.withBiasNoise ? &I : nullptr));
        if (c.error == nullptr)
            EXPECT_NO_THROW(model.setParameters(c.map));
        else
            EXPECT_TRUE(throwsWith<Utils::Exception>([&] { model.setParameters(c.map); }, c.error));
    }

    // Enough elements in total is not enough: the bias needs its own component.
    auto* single6 = new StackedNoise(true);
    GaussNoise six(Eigen::MatrixXd::Identity(6, 6));
    single6->add(&six);
    IMUOriDynModel model(single6);
    EXPECT_TRUE(throwsWith<Utils::Exception>([&] { model.setParameters(indices(0, -1, 4)); },
                                             "Noise inconsistent with state in IMUOriDynModel"));
}

}  // namespace
