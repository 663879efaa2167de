// The EKF against small models whose updates are known in closed form.
#include "ekf.h"

#include <gtest/gtest.h>

#include <Eigen/Cholesky>
#include <memory>
#include <vector>

#include "estimation_test_util.h"
#include "gauss_noise.h"

using namespace Filtering;
using EstimationTest::near;
using EstimationTest::Random;

namespace {

// Log shared by the test models: destruction and setParameters calls.
struct Log {
    std::vector<std::string> events;
};

// x_{t+T} = A x + B u; F = A; Q fixed. Records the T it was given.
class LinearDyn : public DynModel {
  public:
    LinearDyn(Eigen::MatrixXd A, Eigen::MatrixXd B, Eigen::MatrixXd Q, Log* log = nullptr)
        : A_(std::move(A)), B_(std::move(B)), Q_(std::move(Q)), noise_(Q_), log_(log) {}
    ~LinearDyn() override {
        if (log_) log_->events.push_back("~dyn");
    }
    std::string typeName() const override { return "LinearDyn"; }
    std::unique_ptr<Utils::AbstractDataStruct> writeParameters() const override { return nullptr; }
    void readParameters(Utils::AbstractData&) override {}
    void evaluate(const ConstVectorRef& x, const ConstVectorRef& u, const ConstVectorRef&,
                  double T) override {
        value_ = A_ * x;
        if (u.size() > 0) value_ += B_ * u;
        jacobian_ = A_;
        noiseCovariance_ = Q_;
        lastT = T;
    }
    Noise* noise() const override { return const_cast<GaussNoise*>(&noise_); }
    int inputDimension() const override { return static_cast<int>(B_.cols()); }
    int outputDimension() const override { return static_cast<int>(Q_.rows()); }
    void setParameters(const ParameterMap&) override {
        if (log_) log_->events.push_back("dyn.setParameters");
    }

    double lastT = 0;

  private:
    Eigen::MatrixXd A_, B_, Q_;
    GaussNoise noise_;
    Log* log_;
};

// 0 = H x - y, linear; R fixed.
class LinearMeas : public MeasModel {
  public:
    LinearMeas(Eigen::MatrixXd H, Eigen::MatrixXd R, Log* log = nullptr)
        : H_(std::move(H)), R_(std::move(R)), noise_(R_), log_(log) {}
    ~LinearMeas() override {
        if (log_) log_->events.push_back("~meas");
    }
    std::string typeName() const override { return "LinearMeas"; }
    std::unique_ptr<Utils::AbstractDataStruct> writeParameters() const override { return nullptr; }
    void readParameters(Utils::AbstractData&) override {}
    void evaluate(const ConstVectorRef& y, const ConstVectorRef& x, const ConstVectorRef&,
                  const ConstVectorRef&) override {
        value_ = H_ * x - y;
        jacobian_ = H_;
        noiseCovariance_ = R_;
    }
    Noise* noise() const override { return const_cast<GaussNoise*>(&noise_); }
    int inputDimension() const override { return 0; }
    int outputDimension() const override { return static_cast<int>(H_.rows()); }
    void setParameters(const ParameterMap&) override {
        if (log_) log_->events.push_back("meas.setParameters");
    }

  private:
    Eigen::MatrixXd H_, R_;
    GaussNoise noise_;
    Log* log_;
};

// A measurement vector that selects its relation: (selector, values...). The
// selector picks one of several linear relations.
class SelectingLinearMeas : public MeasModel {
  public:
    SelectingLinearMeas(std::vector<Eigen::MatrixXd> H, std::vector<Eigen::MatrixXd> R)
        : H_(std::move(H)), R_(std::move(R)), noise_(Eigen::MatrixXd::Identity(1, 1)) {}
    std::string typeName() const override { return "SelectingLinearMeas"; }
    std::unique_ptr<Utils::AbstractDataStruct> writeParameters() const override { return nullptr; }
    void readParameters(Utils::AbstractData&) override {}
    void evaluate(const ConstVectorRef& y, const ConstVectorRef& x, const ConstVectorRef&,
                  const ConstVectorRef&) override {
        const int k = static_cast<int>(y(0));
        value_ = H_[k] * x - y.tail(y.size() - 1);
        jacobian_ = H_[k];
        noiseCovariance_ = R_[k];
    }
    Noise* noise() const override { return const_cast<GaussNoise*>(&noise_); }
    int inputDimension() const override { return 0; }
    int outputDimension() const override { return 0; }

  private:
    std::vector<Eigen::MatrixXd> H_, R_;
    GaussNoise noise_;
};

// Nonlinear scalar relation 0 = x0^2 + x1 - y, H = (2 x0, 1, 0, ...).
class QuadraticMeas : public MeasModel {
  public:
    QuadraticMeas() : noise_(0.5 * Eigen::MatrixXd::Identity(1, 1)) {}
    std::string typeName() const override { return "QuadraticMeas"; }
    std::unique_ptr<Utils::AbstractDataStruct> writeParameters() const override { return nullptr; }
    void readParameters(Utils::AbstractData&) override {}
    void evaluate(const ConstVectorRef& y, const ConstVectorRef& x, const ConstVectorRef&,
                  const ConstVectorRef&) override {
        value_ = Eigen::VectorXd::Constant(1, x(0) * x(0) + x(1) - y(0));
        jacobian_ = Eigen::MatrixXd::Zero(1, x.size());
        jacobian_(0, 0) = 2 * x(0);
        jacobian_(0, 1) = 1;
        noiseCovariance_ = noise_.covariance();
    }
    Noise* noise() const override { return const_cast<GaussNoise*>(&noise_); }
    int inputDimension() const override { return 0; }
    int outputDimension() const override { return 1; }

  private:
    GaussNoise noise_;
};

// Textbook Kalman correction with 0 = H x - y: K = P H^T (H P H^T + R)^-1,
// x+ = x - K (H x - y), P+ = (I - K H) P. Solved by Cholesky, independently
// of the EKF's LU inverse.
void kalman(Eigen::VectorXd& x, Eigen::MatrixXd& P, const Eigen::MatrixXd& H,
            const Eigen::MatrixXd& R, const Eigen::VectorXd& y) {
    const Eigen::MatrixXd S = H * P * H.transpose() + R;
    const Eigen::MatrixXd K = S.llt().solve(H * P).transpose();
    x = x - K * (H * x - y);
    P = (Eigen::MatrixXd::Identity(x.size(), x.size()) - K * H) * P;
}

bool exactlySymmetric(const Eigen::MatrixXd& P) {
    return P == P.transpose();
}

struct LinearSetup {
    Random rnd{7};
    int n = 5;
    Eigen::MatrixXd A = Eigen::MatrixXd::Identity(5, 5) + 0.3 * rnd.spd(5);
    Eigen::MatrixXd B = rnd.vector(10).reshaped(5, 2);
    Eigen::MatrixXd Q = 0.01 * rnd.spd(5);
    Eigen::VectorXd x0 = rnd.vector(5);
    Eigen::MatrixXd P0 = rnd.spd(5);
};

TEST(EKF, TimeUpdateIsTheLinearPrediction) {
    LinearSetup s;
    auto* dyn = new LinearDyn(s.A, s.B, s.Q);
    EKF ekf(dyn, new LinearMeas(Eigen::MatrixXd::Identity(5, 5), Eigen::MatrixXd::Identity(5, 5)),
            s.x0, s.P0, 0.0);
    EXPECT_EQ(ekf.typeName(), "EKF");
    EXPECT_EQ(ekf.processNoiseScale(), 1.0);

    Eigen::VectorXd x = s.x0;
    Eigen::MatrixXd P = s.P0;
    // Steps of 0.1, 0 and -0.05 s: T = t1 - t goes to the model as it is.
    const double times[] = {0.1, 0.1, 0.05};
    const double steps[] = {0.1, 0.0, -0.05};
    for (int i = 0; i < 3; ++i) {
        const Eigen::VectorXd u = s.rnd.vector(2);
        ekf.timeUpdate(u, times[i]);
        x = s.A * x + s.B * u;
        P = s.A * P * s.A.transpose() + s.Q;
        EXPECT_NEAR(dyn->lastT, steps[i], 1e-15);
        EXPECT_EQ(ekf.t(), times[i]);
        EXPECT_TRUE(near(ekf.x(), x, 1e-12));
        EXPECT_TRUE(near(ekf.P(), P, 1e-12));
        EXPECT_TRUE(exactlySymmetric(ekf.P()));
    }
}

TEST(EKF, ProcessNoiseScaleWeighsQAndZeroGivesPurePropagation) {
    for (double scale : {0.0, 1e-8, 0.5, 1.0}) {
        LinearSetup s;
        EKF ekf(new LinearDyn(s.A, s.B, s.Q),
                new LinearMeas(Eigen::MatrixXd::Identity(5, 5), Eigen::MatrixXd::Identity(5, 5)),
                s.x0, s.P0, 0.0);
        ekf.setProcessNoiseScale(scale);
        ekf.timeUpdate(Eigen::VectorXd(), 0.01);
        Eigen::MatrixXd expected = s.A * s.P0 * s.A.transpose() + scale * s.Q;
        EXPECT_TRUE(near(ekf.P(), expected, 1e-13)) << "scale " << scale;
        EXPECT_TRUE(exactlySymmetric(ekf.P()));
    }
}

TEST(EKF, OneMeasurementIsTheKalmanCorrection) {
    // Relations of 1 to 5 elements with full H and R: S is a full matrix
    // whose complete-pivoting LU permutes rows and columns in every way,
    // including cycles that are not their own inverse.
    LinearSetup s;
    for (int m : {1, 2, 3, 4, 5}) {
        for (int trial = 0; trial < 4; ++trial) {
            SCOPED_TRACE(m);
            const Eigen::MatrixXd H = s.rnd.vector(5 * m).reshaped(m, 5);
            const Eigen::MatrixXd R = 0.2 * s.rnd.spd(m);
            const Eigen::MatrixXd P0 = s.rnd.spd(5);
            EKF ekf(new LinearDyn(s.A, s.B, s.Q), new LinearMeas(H, R), s.x0, P0, 2.0);
            Eigen::VectorXd y = s.rnd.vector(m);
            ekf.measurementUpdate(Eigen::VectorXd(), {&y}, 5.0);

            Eigen::VectorXd x = s.x0;
            Eigen::MatrixXd P = P0;
            kalman(x, P, H, R, y);
            EXPECT_TRUE(near(ekf.x(), x, 1e-11));
            EXPECT_TRUE(near(ekf.P(), P, 1e-11));
            EXPECT_TRUE(exactlySymmetric(ekf.P()));
            EXPECT_EQ(ekf.t(), 2.0);  // a measurement update keeps the time
        }
    }
}

TEST(EKF, SeveralLinearMeasurementsEqualTheJointUpdate) {
    LinearSetup s;
    // Relations of dimension 2, 1 and 2: for linear relations the carried
    // linearisation r + H (x - s) makes the sequence exact, so the result is
    // the single update with all relations stacked.
    std::vector<Eigen::MatrixXd> H = {s.rnd.vector(10).reshaped(2, 5),
                                      s.rnd.vector(5).reshaped(1, 5),
                                      s.rnd.vector(10).reshaped(2, 5)};
    std::vector<Eigen::MatrixXd> R = {0.1 * s.rnd.spd(2), 0.3 * s.rnd.spd(1), 0.2 * s.rnd.spd(2)};
    EKF ekf(new LinearDyn(s.A, s.B, s.Q), new SelectingLinearMeas(H, R), s.x0, s.P0, 0.0);

    std::vector<Eigen::VectorXd> values = {s.rnd.vector(2), s.rnd.vector(1), s.rnd.vector(2)};
    std::vector<Eigen::VectorXd> ys;
    for (int k = 0; k < 3; ++k) {
        Eigen::VectorXd y(values[k].size() + 1);
        y << k, values[k];
        ys.push_back(y);
    }
    ekf.measurementUpdate(Eigen::VectorXd(), {&ys[0], &ys[1], &ys[2]}, 0.0);

    Eigen::MatrixXd Hj(5, 5), Rj = Eigen::MatrixXd::Zero(5, 5);
    Eigen::VectorXd yj(5);
    Hj << H[0], H[1], H[2];
    Rj.block(0, 0, 2, 2) = R[0];
    Rj.block(2, 2, 1, 1) = R[1];
    Rj.block(3, 3, 2, 2) = R[2];
    yj << values[0], values[1], values[2];
    Eigen::VectorXd x = s.x0;
    Eigen::MatrixXd P = s.P0;
    kalman(x, P, Hj, Rj, yj);
    EXPECT_TRUE(near(ekf.x(), x, 1e-11));
    EXPECT_TRUE(near(ekf.P(), P, 1e-11));
    EXPECT_TRUE(exactlySymmetric(ekf.P()));
}

TEST(EKF, ListOfMeasurementsIsLinearisedBeforeTheUpdate) {
    // 0 = x0^2 + x1 - y. In one list both relations use r and H at the prior
    // state s, the second carried to the corrected state by H (x - s); as two
    // separate updates the second is linearised anew.
    const Eigen::Vector3d x0(0.8, -0.2, 0.4);
    const Eigen::Matrix3d P0 = Eigen::Vector3d(0.5, 0.3, 0.2).asDiagonal();
    Eigen::VectorXd y1 = Eigen::VectorXd::Constant(1, 1.1);
    Eigen::VectorXd y2 = Eigen::VectorXd::Constant(1, 0.9);

    EKF list(new LinearDyn(Eigen::MatrixXd::Identity(3, 3), Eigen::MatrixXd::Zero(3, 1),
                           Eigen::MatrixXd::Zero(3, 3)),
             new QuadraticMeas(), x0, P0, 0.0);
    list.measurementUpdate(Eigen::VectorXd(), {&y1, &y2}, 0.0);

    EKF separate(new LinearDyn(Eigen::MatrixXd::Identity(3, 3), Eigen::MatrixXd::Zero(3, 1),
                               Eigen::MatrixXd::Zero(3, 3)),
                 new QuadraticMeas(), x0, P0, 0.0);
    separate.measurementUpdate(Eigen::VectorXd(), {&y1}, 0.0);
    separate.measurementUpdate(Eigen::VectorXd(), {&y2}, 0.0);

    // Expected list result: H_s = (2 s0, 1, 0) and r_i = s0^2 + s1 - y_i for both.
    Eigen::MatrixXd Hs(1, 3);
    Hs << 2 * x0(0), 1, 0;
    const Eigen::MatrixXd R = 0.5 * Eigen::MatrixXd::Identity(1, 1);
    Eigen::VectorXd x = x0;
    Eigen::MatrixXd P = P0;
    // The linearised relation is 0 = r_i + H_s (x - s), i.e. linear with
    // offset: y_i' = y_i - (s0^2 + s1) + H_s s.
    const double offset = x0(0) * x0(0) + x0(1) - (Hs * x0)(0);
    kalman(x, P, Hs, R, Eigen::VectorXd::Constant(1, y1(0) - offset));
    kalman(x, P, Hs, R, Eigen::VectorXd::Constant(1, y2(0) - offset));
    EXPECT_TRUE(near(list.x(), x, 1e-13));
    EXPECT_TRUE(near(list.P(), P, 1e-13));
    EXPECT_GT((list.x() - separate.x()).norm(), 1e-4);
}

TEST(EKF, EmptyMeasurementListChangesNothing) {
    LinearSetup s;
    EKF ekf(new LinearDyn(s.A, s.B, s.Q),
            new LinearMeas(Eigen::MatrixXd::Identity(5, 5), Eigen::MatrixXd::Identity(5, 5)), s.x0,
            s.P0, 1.5);
    ekf.measurementUpdate(Eigen::VectorXd(), {}, 3.0);
    EXPECT_EQ(ekf.x(), s.x0);
    EXPECT_EQ(ekf.P(), s.P0);
    EXPECT_EQ(ekf.t(), 1.5);
}

TEST(EKF, ResetParametersAndOwnership) {
    Log log;
    {
        LinearSetup s;
        EKF ekf(
            new LinearDyn(s.A, s.B, s.Q, &log),
            new LinearMeas(Eigen::MatrixXd::Identity(5, 5), Eigen::MatrixXd::Identity(5, 5), &log),
            s.x0, s.P0, 0.0);
        ekf.setParameters(ParameterMap{{"nx", "5"}});
        const Eigen::VectorXd x = s.rnd.vector(5);
        const Eigen::MatrixXd P = s.rnd.spd(5);
        ekf.reset(x, P, 4.25);
        EXPECT_EQ(ekf.x(), x);
        EXPECT_EQ(ekf.P(), P);
        EXPECT_EQ(ekf.t(), 4.25);
        EXPECT_EQ(ekf.dynModel()->typeName(), "LinearDyn");
        EXPECT_EQ(ekf.measModel()->typeName(), "LinearMeas");
    }
    const std::vector<std::string> expected = {"dyn.setParameters", "meas.setParameters", "~dyn",
                                               "~meas"};
    EXPECT_EQ(log.events, expected);
}

TEST(EKF, CovarianceStaysExactlySymmetricOverManyUpdates) {
    LinearSetup s;
    const Eigen::MatrixXd A = s.rnd.vector(25).reshaped(5, 5);  // not symmetric
    const Eigen::MatrixXd H = s.rnd.vector(15).reshaped(3, 5);
    const Eigen::MatrixXd R = 0.1 * s.rnd.spd(3);
    EKF ekf(new LinearDyn(0.5 * A, s.B, s.Q), new LinearMeas(H, R), s.x0, s.P0, 0.0);
    for (int i = 1; i <= 50; ++i) {
        ekf.timeUpdate(s.rnd.vector(2), 0.01 * i);
        ASSERT_TRUE(exactlySymmetric(ekf.P())) << "time update " << i;
        Eigen::VectorXd y1 = s.rnd.vector(3), y2 = s.rnd.vector(3);
        ekf.measurementUpdate(Eigen::VectorXd(), {&y1, &y2}, 0.01 * i);
        ASSERT_TRUE(exactlySymmetric(ekf.P())) << "measurement update " << i;
    }
}

}  // namespace
