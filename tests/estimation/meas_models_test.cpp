// Gyroscope, inclinometer, magnetometer and combined measurement models.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "combined_meas_model.h"
#include "estimation_test_util.h"
#include "gauss_noise.h"
#include "gyro_meas_model.h"
#include "inclinometer_meas_model.h"
#include "magnetometer_meas_model.h"
#include "utils_exception.h"

using namespace Filtering;
using EstimationTest::near;
using EstimationTest::Random;
using EstimationTest::throwsWith;

namespace {

Eigen::MatrixXd diag3(double a, double b, double c) {
    return Eigen::Vector3d(a, b, c).asDiagonal();
}

StackedNoise* magnetometerNoise(const Eigen::MatrixXd& Sm, const Eigen::MatrixXd& Sa) {
    auto* s = new StackedNoise(true);
    GaussNoise m(Sm), a(Sa);
    s->add(&m);
    s->add(&a);
    return s;
}

Eigen::Matrix3d cross(const Eigen::Vector3d& a) {
    Eigen::Matrix3d M;
    M << 0, -a(2), a(1), a(2), 0, -a(0), -a(1), a(0), 0;
    return M;
}

// Checks H = dr/dx of a measurement relation by central differences: every
// non-quaternion column, and three directions tangent to the unit sphere at
// q (the models normalise q, and their D(q, s) block is exact along those).
void checkJacobian(MeasModel& model, const Eigen::VectorXd& y, const Eigen::VectorXd& x,
                   const Eigen::VectorXd& e, int quatIndex, Random& rnd) {
    const Eigen::VectorXd noInput;
    auto r = [&](const Eigen::VectorXd& xx) {
        model.evaluate(y, xx, noInput, e);
        return Eigen::VectorXd(model.value(y));
    };
    model.evaluate(y, x, noInput, e);
    const Eigen::MatrixXd H = model.jacobian(y);
    ASSERT_EQ(H.cols(), x.size());
    for (int j = 0; j < x.size(); ++j) {
        if (j >= quatIndex && j < quatIndex + 4) continue;
        const Eigen::VectorXd d = Eigen::VectorXd::Unit(x.size(), j);
        EXPECT_TRUE(near(H * d, EstimationTest::centralDifference(r, x, d), 1e-8))
            << "column " << j;
    }
    for (int k = 0; k < 3; ++k) {
        Eigen::VectorXd d = Eigen::VectorXd::Zero(x.size());
        d.segment<4>(quatIndex) = rnd.tangent(x.segment<4>(quatIndex));
        EXPECT_TRUE(near(H * d, EstimationTest::centralDifference(r, x, d), 1e-7))
            << "tangent " << k;
    }
}

// r = y - (omega + b + e): H is -I at the rate block and at the bias block.
TEST(GyroMeasModel, RelationAndJacobian) {
    Random rnd(21);
    for (int bias : {-1, 7}) {
        SCOPED_TRACE(bias);
        GyroMeasModel model(new GaussNoise(0.01 * Eigen::MatrixXd::Identity(3, 3)));
        model.setParameters({{W_S, "4"}, {BW_S, std::to_string(bias)}});
        const Eigen::VectorXd x = rnd.vector(10), y = rnd.vector(3), e = rnd.vector(3);
        model.evaluate(y, x, Eigen::VectorXd(), e);
        Eigen::Vector3d h = x.segment<3>(4) + e;
        if (bias >= 0) h += x.segment<3>(bias);
        EXPECT_TRUE(near(model.value(y), y - h, 1e-15));
        EXPECT_EQ(model.noiseCovariance(y), 0.01 * Eigen::MatrixXd::Identity(3, 3));

        Eigen::MatrixXd H = Eigen::MatrixXd::Zero(3, 10);
        H.block(0, 4, 3, 3) = -Eigen::Matrix3d::Identity();
        if (bias >= 0) H.block(0, bias, 3, 3) = -Eigen::Matrix3d::Identity();
        EXPECT_EQ(model.jacobian(y), H);
        checkJacobian(model, y, x, e, 0, rnd);
    }
}

TEST(GyroMeasModel, Parameters) {
    GyroMeasModel model(new GaussNoise(Eigen::MatrixXd::Identity(3, 3)));
    EXPECT_EQ(model.getParameters(), (ParameterMap{{W_S, "7"}, {BW_S, "4"}}));
    EXPECT_EQ(model.inputDimension(), 0);
    EXPECT_EQ(model.outputDimension(), 3);
    EXPECT_TRUE(throwsWith<Utils::Exception>(
        [&] {
            model.setParameters({{W_S, "-1"}});
        },
        "Mandatory states missing in GyroMeasModel"));
}

// r = y/|y| + R(q) g_w - e; H = dr/dq = D(q, g_w) at the quaternion block.
TEST(InclinometerMeasModel, JacobianMatchesFiniteDifferences) {
    Random rnd(5);
    for (int quatIndex : {0, 3}) {
        InclinometerMeasModel model(new GaussNoise(diag3(0.025, 0.025, 0.05)));
        model.setParameters({{Q_SW, std::to_string(quatIndex)}});
        for (int trial = 0; trial < 10; ++trial) {
            Eigen::VectorXd x = rnd.vector(10);
            x.segment<4>(quatIndex) = rnd.unitQuaternion();
            checkJacobian(model, rnd.vector(3, -10, 10), x, rnd.vector(3, -0.1, 0.1), quatIndex,
                          rnd);
        }
    }
}

TEST(InclinometerMeasModel, AtTheIdentity) {
    const Eigen::MatrixXd Sigma = diag3(0.025, 0.025, 0.05);
    InclinometerMeasModel model(new GaussNoise(Sigma));
    Eigen::VectorXd x = Eigen::VectorXd::Zero(7);
    x(0) = 1;
    const Eigen::VectorXd e = Eigen::VectorXd::Zero(3);

    // At rest the reading points up, along R(q) (0, 0, 1).
    const Eigen::VectorXd y(Eigen::Vector3d(0, 0, 9.81));
    model.evaluate(y, x, Eigen::VectorXd(), e);
    EXPECT_TRUE(near(model.value(y), Eigen::Vector3d::Zero(), 1e-15));
    EXPECT_EQ(model.noiseCovariance(y), Sigma);
    Eigen::MatrixXd H = Eigen::MatrixXd::Zero(3, 7);
    H.col(0) << 0, 0, -2;  // w
    H.col(1) << 0, 2, 0;   // x
    H.col(2) << -2, 0, 0;  // y
    EXPECT_EQ(model.jacobian(y), H);
    EXPECT_TRUE(near(model.prediction(), Eigen::Vector3d(0, 0, 1), 1e-15));

    // Twice gravity: the direction still matches, the weighting grows with
    // (1 + coef |g0 - |y||^exp).
    const Eigen::VectorXd y2(Eigen::Vector3d(0, 0, 19.62));
    model.evaluate(y2, x, Eigen::VectorXd(), e);
    EXPECT_EQ(model.noiseCovariance(y2), Sigma);  // coefficient 0: off
    model.setParameters({{"outlierCoef", "1"}, {"outlierExp", "2"}});
    model.evaluate(y2, x, Eigen::VectorXd(), e);
    EXPECT_TRUE(near(model.value(y2), Eigen::Vector3d::Zero(), 1e-15));
    EXPECT_TRUE(near(model.noiseCovariance(y2), (1 + 9.81 * 9.81) * Sigma, 1e-13));
}

TEST(InclinometerMeasModel, Parameters) {
    InclinometerMeasModel model(new GaussNoise(Eigen::MatrixXd::Identity(3, 3)));
    const ParameterMap expected = {
        {G_W, "0\n0\n-1"}, {Q_SW, "0"}, {"outlierCoef", "0"}, {"outlierExp", "0"}};
    EXPECT_EQ(model.getParameters(), expected);
    EXPECT_TRUE(throwsWith<Utils::Exception>(
        [&] {
            model.setParameters({{Q_SW, "-1"}});
        },
        "Mandatory states missing in InclinometerMeasModel"));
}

// r = (m x a)/|m x a| + R(q) (0, 1, 0) with m, a the readings less their
// noise; H = dr/dq = D(q, (0, 1, 0)) at the quaternion block, zero elsewhere
// (the readings are not part of the state).
TEST(MagnetometerMeasModel, JacobianMatchesFiniteDifferences) {
    Random rnd(8);
    MagnetometerMeasModel model(
        magnetometerNoise(0.001 * Eigen::MatrixXd::Identity(3, 3), diag3(0.025, 0.025, 0.05)));
    // The filter's layout puts the readings behind a selector; here y has
    // the accelerometer first to exercise the indices.
    model.setParameters({{Q_SW, "2"}, {YM_S, "3"}, {YA_S, "0"}});
    for (int trial = 0; trial < 10; ++trial) {
        Eigen::VectorXd x = rnd.vector(8);
        x.segment<4>(2) = rnd.unitQuaternion();
        checkJacobian(model, rnd.vector(6, -50, 50), x, rnd.vector(6, -0.1, 0.1), 2, rnd);
    }
}

TEST(MagnetometerMeasModel, HeadingConventionAtTheIdentity) {
    MagnetometerMeasModel model(
        magnetometerNoise(Eigen::MatrixXd::Identity(3, 3), Eigen::MatrixXd::Identity(3, 3)));
    Eigen::VectorXd x = Eigen::VectorXd::Zero(7);
    x(0) = 1;
    // Field north and down, gravity reading up: m x a points along -y.
    Eigen::VectorXd y(6);
    y << 1, 0, -2, 0, 0, 1;
    model.evaluate(y, x, Eigen::VectorXd(), Eigen::VectorXd::Zero(6));
    EXPECT_TRUE(near(model.value(y), Eigen::Vector3d::Zero(), 1e-15));
    Eigen::MatrixXd H = Eigen::MatrixXd::Zero(3, 7);
    H.col(0) << 0, 2, 0;   // w
    H.col(1) << 0, 0, 2;   // x
    H.col(3) << -2, 0, 0;  // z
    EXPECT_EQ(model.jacobian(y), H);
}

TEST(MagnetometerMeasModel, RunningFieldMagnitudeInflatesDisturbedReadings) {
    const Eigen::MatrixXd Sm = diag3(1, 2, 3), Sa = diag3(0.5, 0.25, 0.125);
    MagnetometerMeasModel model(magnetometerNoise(Sm, Sa));
    Eigen::VectorXd x = Eigen::VectorXd::Zero(7);
    x(0) = 1;
    const Eigen::VectorXd e = Eigen::VectorXd::Zero(6);
    const Eigen::Vector3d direction = Eigen::Vector3d(0.6, 0, -0.8);
    const Eigen::Vector3d ah(0, 0, 1);
    auto expectedR = [&](double magScale) {
        return Eigen::MatrixXd(cross(direction) * Sa * cross(direction).transpose() +
                               cross(ah) * (magScale * Sm) * cross(ah).transpose());
    };
    auto reading = [&](double magnitude) {
        Eigen::VectorXd y(6);
        y << magnitude * direction, 0, 0, 9.81;
        return y;
    };

    EXPECT_EQ(model.referenceMagnitude(), -1);
    // First reading: the reference starts at its magnitude, no disturbance.
    const Eigen::VectorXd y50 = reading(50);
    model.evaluate(y50, x, Eigen::VectorXd(), e);
    EXPECT_NEAR(model.referenceMagnitude(), 50, 1e-12);
    EXPECT_TRUE(near(model.noiseCovariance(y50), expectedR(1), 1e-12));

    // 60: reference 0.01 * 60 + 0.99 * 50 = 50.1; |50.1 - 60| / 50.1 > 0.05.
    const Eigen::VectorXd y60 = reading(60);
    model.evaluate(y60, x, Eigen::VectorXd(), e);
    EXPECT_NEAR(model.referenceMagnitude(), 50.1, 1e-12);
    EXPECT_TRUE(near(model.noiseCovariance(y60), expectedR(100000), 1e-6));

    // 52: reference 50.119, deviation 3.75 % stays below the threshold.
    const Eigen::VectorXd y52 = reading(52);
    model.evaluate(y52, x, Eigen::VectorXd(), e);
    EXPECT_NEAR(model.referenceMagnitude(), 0.01 * 52 + 0.99 * 50.1, 1e-12);
    EXPECT_TRUE(near(model.noiseCovariance(y52), expectedR(1), 1e-12));
}

TEST(MagnetometerMeasModel, AccelerationWeightingOnlyWithPositiveCoefficient) {
    const Eigen::MatrixXd Sm = 0.001 * Eigen::MatrixXd::Identity(3, 3),
                          Sa = diag3(0.025, 0.025, 0.05);
    MagnetometerMeasModel model(magnetometerNoise(Sm, Sa));
    Eigen::VectorXd x = Eigen::VectorXd::Zero(7);
    x(0) = 1;
    Eigen::VectorXd y(6);
    y << 30, 0, -40, 0, 0, 29.81;  // |a| = g0 + 20
    const Eigen::Vector3d mh(0.6, 0, -0.8), ah(0, 0, 1);
    auto R = [&](double accScale) {
        return Eigen::MatrixXd(cross(mh) * (accScale * Sa) * cross(mh).transpose() +
                               cross(ah) * Sm * cross(ah).transpose());
    };
    // The filter's map: "outlierCoef" 0 reaches outlierACoef, nothing is weighted.
    model.setParameters({{"outlierCoef", "0"}, {"outlierExp", "2"}});
    model.evaluate(y, x, Eigen::VectorXd(), Eigen::VectorXd::Zero(6));
    EXPECT_TRUE(near(model.noiseCovariance(y), R(1), 1e-15));
    // Both names given: the accelerometer-specific one wins.
    model.setParameters({{"outlierCoef", "5"}, {"outlierACoef", "0.5"}, {"outlierAExp", "1"}});
    EXPECT_EQ(model.getParameters().at("outlierACoef"), "0.5");
    model.evaluate(y, x, Eigen::VectorXd(), Eigen::VectorXd::Zero(6));
    EXPECT_TRUE(near(model.noiseCovariance(y), R(1 + 0.5 * 20), 1e-12));
}

TEST(MagnetometerMeasModel, Parameters) {
    MagnetometerMeasModel model;
    const ParameterMap expected = {{Q_SW, "0"},
                                   {YM_S, "0"},
                                   {YA_S, "3"},
                                   {"outlierACoef", "0"},
                                   {"outlierAExp", "0"},
                                   {"magThreshold", "0.050000000000000002776"},
                                   {"magForgettingFactor", "0.98999999999999999112"}};
    EXPECT_EQ(model.getParameters(), expected);
    for (const char* key : {Q_SW, YM_S, YA_S}) {
        MagnetometerMeasModel m;
        EXPECT_TRUE(throwsWith<Utils::Exception>(
            [&] {
                m.setParameters({{key, "-1"}});
            },
            "Mandatory states or measurements missing in MagnetometerMeasModel"))
            << key;
    }
}

// A measurement model that records what it receives, with a noise of given
// dimension and mean.
class SpyMeas : public MeasModel {
  public:
    SpyMeas(const std::string& name, const Eigen::VectorXd& mean)
        : name_(name), noise_(mean, Eigen::MatrixXd::Identity(mean.size(), mean.size())) {
        value_ = Eigen::VectorXd::Constant(1, mean.size());
    }
    std::string typeName() const override { return name_; }
    std::unique_ptr<Utils::AbstractDataStruct> writeParameters() const override { return nullptr; }
    void readParameters(Utils::AbstractData&) override {}
    void evaluate(const ConstVectorRef& y, const ConstVectorRef&, const ConstVectorRef&,
                  const ConstVectorRef& e) override {
        lastY = y;
        lastE = e;
        ++calls;
    }
    Noise* noise() const override { return const_cast<GaussNoise*>(&noise_); }
    int inputDimension() const override { return 0; }
    int outputDimension() const override { return 0; }
    ParameterMap getParameters() const override { return {{"spy", name_}, {name_ + ".own", "1"}}; }
    void setParameters(const ParameterMap& map) override { received = map; }

    Eigen::VectorXd lastY, lastE;
    int calls = 0;
    ParameterMap received;

  private:
    std::string name_;
    GaussNoise noise_;
};

TEST(CombinedMeasModel, OrientationFilterAssembly) {
    CombinedMeasModel combined;
    combined.add(new InclinometerMeasModel(new GaussNoise(diag3(0.025, 0.025, 0.05))));
    combined.add(new MagnetometerMeasModel(
        magnetometerNoise(0.001 * Eigen::MatrixXd::Identity(3, 3), diag3(0.025, 0.025, 0.05))));
    combined.add(new GyroMeasModel(new GaussNoise(0.01 * Eigen::MatrixXd::Identity(3, 3))));
    EXPECT_EQ(combined.typeName(), "CombinedMeasModel");
    ASSERT_EQ(combined.modelCount(), 3);
    EXPECT_EQ(combined.noiseSegment(0), std::make_pair(0, 3));
    EXPECT_EQ(combined.noiseSegment(1), std::make_pair(3, 6));
    EXPECT_EQ(combined.noiseSegment(2), std::make_pair(9, 3));
    EXPECT_EQ(combined.noise()->mean(), Eigen::VectorXd::Zero(12));
    EXPECT_EQ(combined.noise()->covariance().block(9, 9, 3, 3),
              0.01 * Eigen::MatrixXd::Identity(3, 3));

    const ParameterMap params = combined.getParameters();
    EXPECT_EQ(params.at("InclinometerMeasModel"), "0");
    EXPECT_EQ(params.at("MagnetometerMeasModel"), "1");
    EXPECT_EQ(params.at("GyroMeasModel"), "2");
    EXPECT_EQ(params.at(Q_SW), "0");
    EXPECT_EQ(params.at(YA_S), "3");
    EXPECT_EQ(params.at(W_S), "7");
    EXPECT_EQ(params.at(G_W), "0\n0\n-1");

    // The filter's state indices reach every model (the gyroscope reads W_S).
    combined.setParameters({{W_S, "4"}, {BW_S, "-1"}, {Q_SW, "0"}});
    Eigen::VectorXd x = Eigen::VectorXd::Zero(10);
    x << 1, 0, 0, 0, 0.5, 0.25, 0.125, 0, 0, 0;
    Eigen::VectorXd y(4);
    y << 2, 0.1, -0.2, 0.3;
    combined.evaluate(y, x, Eigen::VectorXd(), combined.noise()->mean());
    EXPECT_TRUE(near(combined.value(y), Eigen::Vector3d(-0.4, -0.45, 0.175), 1e-15));
    EXPECT_EQ(combined.jacobian(y)(0, 4), -1);

    EXPECT_TRUE(throwsWith<Utils::Exception>([&] { combined.inputDimension(); },
                                             "Not yet implemented for CombinedMeasModel"));
    EXPECT_TRUE(throwsWith<Utils::Exception>([&] { combined.outputDimension(); },
                                             "Not yet implemented for CombinedMeasModel"));
}

TEST(CombinedMeasModel, RoutesBySelectorWithTheModelsNoiseSegment) {
    CombinedMeasModel combined;
    auto* a = new SpyMeas("A", Eigen::Vector3d(1, 2, 3));
    auto* b = new SpyMeas("B", (Eigen::VectorXd(2) << 4, 5).finished());
    auto* c = new SpyMeas("C", Eigen::Vector3d(6, 7, 8));
    combined.add(a);
    combined.add(b);
    combined.add(c);
    const Eigen::VectorXd e = combined.noise()->mean();
    ASSERT_EQ(e.size(), 8);
    const Eigen::VectorXd x = Eigen::VectorXd::Zero(4);

    struct Case {
        double selector;
        SpyMeas* target;
        Eigen::VectorXd segment;
    };
    const Case cases[] = {
        {0, a, Eigen::Vector3d(1, 2, 3)},
        {1.9, b, (Eigen::VectorXd(2) << 4, 5).finished()},  // truncated, not rounded
        {2, c, Eigen::Vector3d(6, 7, 8)},
    };
    for (const Case& k : cases) {
        Eigen::VectorXd y(4);
        y << k.selector, 0.1, -0.2, 0.3;
        const int before = k.target->calls;
        combined.evaluate(y, x, Eigen::VectorXd(), e);
        EXPECT_EQ(k.target->calls, before + 1) << k.selector;
        EXPECT_EQ(k.target->lastY, Eigen::Vector3d(0.1, -0.2, 0.3));
        EXPECT_EQ(k.target->lastE, k.segment);
        EXPECT_EQ(&combined.value(y), &k.target->value(y.tail(3)));
    }
    EXPECT_EQ(a->calls + b->calls + c->calls, 3);

    // A selector that names no model is refused rather than read past the list.
    for (double bad : {3.0, -1.0, std::nan("")}) {
        Eigen::VectorXd y(2);
        y << bad, 0;
        EXPECT_TRUE(
            throwsWith<Utils::Exception>([&] { combined.evaluate(y, x, Eigen::VectorXd(), e); },
                                         "Measurement selector out of range in CombinedMeasModel"))
            << bad;
    }

    // Parameters: each model's name -> index, a later model's value wins.
    const ParameterMap params = combined.getParameters();
    EXPECT_EQ(params.at("A"), "0");
    EXPECT_EQ(params.at("C"), "2");
    EXPECT_EQ(params.at("spy"), "C");
    const ParameterMap sent = {{"k", "v"}};
    combined.setParameters(sent);
    EXPECT_EQ(a->received, sent);
    EXPECT_EQ(c->received, sent);
}

}  // namespace
