// The tracker's host orientation filter: warm-up, start from accelerometer and
// magnetometer, the running EKF step against an assembly built here from the
// fixed constants, saturation, timestamps (wrap included) and unusable readings.
#include "orientation_filter.h"

#include <gtest/gtest.h>

#include <Eigen/Geometry>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "combined_meas_model.h"
#include "ekf.h"
#include "estimation_test_util.h"
#include "gauss_noise.h"
#include "gyro_meas_model.h"
#include "imu_ori_dyn_model.h"
#include "inclinometer_meas_model.h"
#include "magnetometer_meas_model.h"
#include "parameter_map.h"
#include "stacked_noise.h"

using EstimationTest::near;
using Quorvane::OrientationFilter;

namespace {

using Eigen::Vector3d;
using Eigen::Vector4d;

constexpr double kPi = 3.14159265358979323846;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr uint32_t kStep = 35;  // ticks of 100 us between samples (285.7 Hz)

SensorSample sample(uint32_t timestamp, const Vector3d& acc, const Vector3d& gyr,
                    const Vector3d& mag) {
    SensorSample s{};
    s.timestamp = timestamp;
    for (int k = 0; k < 3; ++k) {
        s.acc[k] = static_cast<float>(acc(k));
        s.gyr[k] = static_cast<float>(gyr(k));
        s.mag[k] = static_cast<float>(mag(k));
    }
    return s;
}

Vector4d quatOf(const SensorSample& s) {
    return Vector4d(s.quat[0], s.quat[1], s.quat[2], s.quat[3]);
}

// Earth field in the world (x north, y west, z up): 48 units, 64 degrees down.
const Vector3d kField(48 * std::cos(64 * kPi / 180), 0, -48 * std::sin(64 * kPi / 180));
const Vector3d kUp(0, 0, 9.81);  // specific force at rest, world frame

// What a tracker at rest in orientation q = Q_SW (w, x, y, z) reads. Eigen's
// rotation of q maps world vectors into the sensor frame.
SensorSample restingSample(uint32_t timestamp, const Vector4d& q,
                           const Vector3d& gyr = Vector3d::Zero()) {
    const Eigen::Matrix3d R = Eigen::Quaterniond(q(0), q(1), q(2), q(3)).toRotationMatrix();
    return sample(timestamp, R * kUp, gyr, R * kField);
}

// Feeds the five warm-up samples; the next update starts the filter.
void warmUp(OrientationFilter& f) {
    SensorSample out{};
    for (int i = 0; i < OrientationFilter::kWarmupSamples; ++i) {
        const SensorSample in = restingSample(0, Vector4d(1, 0, 0, 0));
        f.update(&in, &out, 1.0);
    }
}

// Warm-up plus a start at timestamp in orientation q.
void startAt(OrientationFilter& f, uint32_t timestamp, const Vector4d& q = Vector4d(1, 0, 0, 0)) {
    warmUp(f);
    SensorSample in = restingSample(timestamp, q), out = in;
    f.update(&in, &out, 1.0);
    ASSERT_TRUE(f.initialised());
}

Eigen::MatrixXd initialCovariance() {
    Eigen::VectorXd d(10);
    d << 0.03, 0.03, 0.03, 0.03, 0.1, 0.1, 0.1, 0.01, 0.01, 0.01;
    return d.asDiagonal();
}

TEST(OrientationFilter, WarmupAnswersIdentityAndOnlySetsTheNoiseScale) {
    OrientationFilter f;
    const Eigen::VectorXd x0 = f.ekf().x();
    EXPECT_EQ(x0, (Eigen::VectorXd(10) << 1, 0, 0, 0, 0, 0, 0, 0, 0, 0).finished());
    EXPECT_EQ(f.ekf().P(), initialCovariance());
    // Usable and unusable readings alike: the filter does not look at them yet.
    const SensorSample inputs[] = {
        restingSample(100, Vector4d(0.5, 0.5, 0.5, 0.5)),
        sample(200, Vector3d::Zero(), Vector3d(30, 0, 0), Vector3d::Zero()),
        sample(300, Vector3d::Constant(kNaN), Vector3d::Constant(kInf), Vector3d(1, 2, 3)),
        restingSample(400, Vector4d(0, 1, 0, 0)),
        restingSample(500, Vector4d(0.9, 0.1, 0.3, 0.2).normalized()),
    };
    const double gains[] = {0.5, 1e-8, 1.0, 0.25, 0.75};
    for (int i = 0; i < 5; ++i) {
        SensorSample out = inputs[i];
        out.quat[0] = 0.1f, out.quat[1] = 0.2f, out.quat[2] = 0.3f, out.quat[3] = 0.4f;
        SensorSample expected = out;
        expected.quat[0] = 1, expected.quat[1] = 0, expected.quat[2] = 0, expected.quat[3] = 0;
        f.update(&inputs[i], &out, gains[i]);
        EXPECT_EQ(quatOf(out), Vector4d(1, 0, 0, 0)) << "call " << i;
        EXPECT_EQ(0, std::memcmp(&out, &expected, sizeof out)) << "only quat is written";
        EXPECT_FALSE(f.initialised());
        EXPECT_EQ(f.ekf().x(), x0);
        EXPECT_EQ(f.ekf().P(), initialCovariance());
        EXPECT_EQ(f.ekf().t(), 0.0);
        EXPECT_EQ(f.ekf().processNoiseScale(), gains[i]);
    }
}

// The start from one accelerometer and magnetometer reading. q0 is the
// orientation the readings were made in, expected as the rotation-matrix
// conversion yields it: w > 0 on the trace branch, else the largest of x, y, z
// positive. The state starts with w >= 0.
struct StartCase {
    const char* name;
    Vector4d truth;        // Q_SW the readings come from
    Vector4d expectedOut;  // what the sample receives
};

void PrintTo(const StartCase& c, std::ostream* os) {
    *os << c.name;
}

class StartFromReadings : public ::testing::TestWithParam<StartCase> {};

TEST_P(StartFromReadings, WritesTheRotationAndStartsWithNonNegativeW) {
    const StartCase& c = GetParam();
    OrientationFilter f;
    warmUp(f);
    const SensorSample in = restingSample(123456, c.truth);
    SensorSample out = in;
    f.update(&in, &out, 1.0);
    ASSERT_TRUE(f.initialised());
    EXPECT_TRUE(near(quatOf(out), c.expectedOut, 1e-6));
    const Vector4d state = f.ekf().x().head<4>();
    EXPECT_TRUE(near(state, c.expectedOut(0) < 0 ? Vector4d(-c.expectedOut) : c.expectedOut, 1e-6));
    EXPECT_GE(state(0), 0.0);
    EXPECT_EQ(f.ekf().x().tail<6>(), Eigen::VectorXd::Zero(6));
    EXPECT_EQ(f.ekf().P(), initialCovariance());
    EXPECT_EQ(f.ekf().t(), 123456 * 0.0001);
}

Vector4d unit(double w, double x, double y, double z) {
    return Vector4d(w, x, y, z).normalized();
}

INSTANTIATE_TEST_SUITE_P(
    Branches, StartFromReadings,
    ::testing::Values(
        // acc (0, 0, 9.81) and mag (30, 0, -40) exactly: R0 is the identity.
        StartCase{"Level", Vector4d(1, 0, 0, 0), Vector4d(1, 0, 0, 0)},
        StartCase{"Trace", unit(0.9, 0.1, -0.2, 0.3), unit(0.9, 0.1, -0.2, 0.3)},
        // x largest, w < 0: the sample gets q0, the state -q0.
        StartCase{"XNegativeW", unit(-0.2, 0.9, 0.3, -0.1), unit(-0.2, 0.9, 0.3, -0.1)},
        StartCase{"YFlipped", unit(0.1, 0.2, -0.95, 0.2), unit(-0.1, -0.2, 0.95, -0.2)},
        StartCase{"Z", unit(0.15, -0.3, 0.1, 0.9), unit(0.15, -0.3, 0.1, 0.9)},
        StartCase{"HalfTurnAboutX", Vector4d(0, 1, 0, 0), Vector4d(0, 1, 0, 0)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OrientationFilter, LevelStartFromTheDocumentedReadings) {
    OrientationFilter f;
    warmUp(f);
    const SensorSample in = sample(7, Vector3d(0, 0, 9.81), Vector3d::Zero(), Vector3d(30, 0, -40));
    SensorSample out = in;
    f.update(&in, &out, 1.0);
    EXPECT_TRUE(f.initialised());
    EXPECT_EQ(quatOf(out), Vector4d(1, 0, 0, 0));
}

// Readings that cannot give an orientation answer the identity and leave the
// filter waiting; the next usable sample starts it.
TEST(OrientationFilter, UnusableReadingsDelayTheStart) {
    const struct {
        const char* name;
        Vector3d acc, mag;
    } cases[] = {
        {"zero acc", Vector3d::Zero(), kField},
        {"zero mag", kUp, Vector3d::Zero()},
        {"tiny acc", Vector3d(0, 0, 1e-15), kField},
        {"NaN acc", Vector3d(0, kNaN, 9.81), kField},
        {"Inf mag", kUp, Vector3d(kInf, 0, 1)},
        {"mag parallel to acc", kUp, Vector3d(0, 0, -40)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OrientationFilter f;
        warmUp(f);
        SensorSample in = sample(1000, c.acc, Vector3d::Zero(), c.mag), out = in;
        f.update(&in, &out, 1.0);
        EXPECT_FALSE(f.initialised());
        EXPECT_EQ(quatOf(out), Vector4d(1, 0, 0, 0));
        EXPECT_EQ(f.ekf().t(), 0.0);

        const Vector4d q = unit(0.8, 0.2, -0.1, 0.5);
        in = restingSample(1035, q);
        f.update(&in, &out, 1.0);
        EXPECT_TRUE(f.initialised());
        EXPECT_TRUE(near(quatOf(out), q, 1e-6));
        EXPECT_EQ(f.ekf().t(), 1035 * 0.0001);
    }
}

// The filter's EKF step against an assembly built here from the constants:
// dynamic model with angular-velocity state, the combined model of
// inclinometer, magnetometer and gyroscope, the measurements applied as
// gyroscope, inclinometer, magnetometer, and the covariance inflated by 30
// after the time update when the gyroscope saturates. Same operations in the
// same order give the same bits.
class ReferenceAssembly {
  public:
    ReferenceAssembly() {
        using namespace Filtering;
        auto gauss = [](double a, double b, double c) {
            return GaussNoise(Eigen::MatrixXd(Vector3d(a, b, c).asDiagonal()));
        };
        auto* rate = new StackedNoise(true);
        GaussNoise w = gauss(0.1, 0.1, 0.1);
        rate->add(&w);
        auto* dyn = new IMUOriDynModel(rate);
        auto* magNoise = new StackedNoise(true);
        GaussNoise m = gauss(0.001, 0.001, 0.001), a = gauss(0.025, 0.025, 0.05);
        magNoise->add(&m);
        magNoise->add(&a);
        auto* combined = new CombinedMeasModel();
        combined->add(new InclinometerMeasModel(new GaussNoise(gauss(0.025, 0.025, 0.05))));
        combined->add(new MagnetometerMeasModel(magNoise));
        combined->add(new GyroMeasModel(new GaussNoise(gauss(0.01, 0.01, 0.01))));
        combined->setParameters({{"outlierCoef", "0"}, {"outlierExp", "2"}});
        Eigen::VectorXd x0 = Eigen::VectorXd::Zero(10);
        x0(0) = 1;
        ekf_ = std::make_unique<EKF>(dyn, combined, x0, initialCovariance(), 0.0);
        ekf_->setParameters({{NX, "10"}, {Q_SW, "0"}, {BW_S, "-1"}, {W_S, "4"}, {UYW_S, "-1"}});
    }

    void start(const Eigen::VectorXd& x, double t, double gain) {
        ekf_->reset(x, initialCovariance(), t);
        ekf_->setProcessNoiseScale(gain);
    }

    void step(const SensorSample& s, double gain) {
        const double t = s.timestamp * 0.0001;
        Eigen::VectorXd u(3), g(4), i(4), m(7);
        u << s.gyr[0], s.gyr[1], s.gyr[2];
        ekf_->timeUpdate(u, t);
        if (u.minCoeff() < -26.005405854715512 || u.maxCoeff() > 26.005405854715512)
            ekf_->reset(ekf_->x(), Eigen::MatrixXd(30 * ekf_->P()), ekf_->t());
        g << 2, u;
        i << 0, s.acc[0], s.acc[1], s.acc[2];
        m << 1, s.mag[0], s.mag[1], s.mag[2], s.acc[0], s.acc[1], s.acc[2];
        ekf_->measurementUpdate(u, {&g, &i, &m}, t);
        ekf_->setProcessNoiseScale(gain);
    }

    const Filtering::EKF& ekf() const { return *ekf_; }

  private:
    std::unique_ptr<Filtering::EKF> ekf_;
};

// A tumbling tracker with noisy readings, occasionally beyond the gyroscope's
// limit, and a jitter gain that changes from sample to sample.
std::vector<SensorSample> tumblingRecording(int count, uint32_t firstTimestamp) {
    EstimationTest::Random random(7);
    std::vector<SensorSample> samples;
    Eigen::Quaterniond q(Eigen::AngleAxisd(0.3, Vector3d(1, 2, 3).normalized()));
    for (int k = 0; k < count; ++k) {
        Vector3d w(2 * std::sin(0.01 * k), 1.5 * std::cos(0.013 * k), 0.8);
        if (k % 50 == 49) w(k % 3) = (k % 2 ? 27.0 : -27.0);  // saturated
        const double T = kStep * 1e-4;
        // Q_SW advances by the rotation -T w on the left (sensor-frame rate).
        q = Eigen::Quaterniond(Eigen::AngleAxisd(T * w.norm(), -w.normalized())) * q;
        q.normalize();
        SensorSample s = restingSample(firstTimestamp + kStep * static_cast<uint32_t>(k),
                                       Vector4d(q.w(), q.x(), q.y(), q.z()), w);
        for (int i = 0; i < 3; ++i) {
            s.acc[i] += static_cast<float>(random.uniform(-0.3, 0.3));
            s.mag[i] += static_cast<float>(random.uniform(-1, 1));
            s.gyr[i] += static_cast<float>(random.uniform(-0.05, 0.05));
        }
        samples.push_back(s);
    }
    return samples;
}

TEST(OrientationFilter, RunningStepMatchesTheAssemblyBitForBit) {
    const std::vector<SensorSample> samples = tumblingRecording(400, 5000);
    OrientationFilter f;
    ReferenceAssembly ref;
    int saturated = 0;
    for (size_t k = 0; k < samples.size(); ++k) {
        const double gain = k % 7 == 0 ? 1.0 : 0.01 * static_cast<double>(k % 7);
        SensorSample out = samples[k];
        f.update(&samples[k], &out, gain);
        if (k < 5) continue;
        if (k == 5) {
            // The start itself is checked above; from here on every step counts.
            ASSERT_TRUE(f.initialised());
            ref.start(f.ekf().x(), f.ekf().t(), gain);
            continue;
        }
        ref.step(samples[k], gain);
        ASSERT_EQ(f.ekf().x(), ref.ekf().x()) << "sample " << k;
        ASSERT_EQ(f.ekf().P(), ref.ekf().P()) << "sample " << k;
        ASSERT_EQ(f.ekf().t(), ref.ekf().t()) << "sample " << k;
        ASSERT_EQ(f.ekf().processNoiseScale(), gain);
        // The sample gets the normalised state quaternion.
        const Vector4d q = ref.ekf().x().head<4>();
        const Vector4d expected = q / q.norm();
        for (int i = 0; i < 4; ++i) ASSERT_EQ(out.quat[i], static_cast<float>(expected(i)));
        saturated += std::fabs(samples[k].gyr[0]) > 26 || std::fabs(samples[k].gyr[1]) > 26 ||
                     std::fabs(samples[k].gyr[2]) > 26;
    }
    EXPECT_GT(saturated, 5) << "the recording must exercise the saturation path";
}

// Variances of the state elements 7..9 belong to no model: nothing but the
// saturation inflation changes them, which shows the factor directly.
TEST(OrientationFilter, SaturatedGyroscopeInflatesTheCovarianceBy30) {
    const struct {
        float x, y, z;
        bool saturated;
    } cases[] = {
        {26.1f, 0, 0, true},   {26.0f, 0, 0, false},    {0, -26.1f, 0, true},
        {0, 0, -26.0f, false}, {0, 0, 26.006f, true},   {0, 26.005f, 0, false},
        {-30, 30, 0, true},    {25, -25, 25.9f, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.x << ", " << c.y << ", " << c.z);
        OrientationFilter f;
        startAt(f, 1000);
        SensorSample in = restingSample(1000 + kStep, Vector4d(1, 0, 0, 0)), out = in;
        in.gyr[0] = c.x, in.gyr[1] = c.y, in.gyr[2] = c.z;
        f.update(&in, &out, 1.0);
        const double v = c.saturated ? 0.3 : 0.01;
        EXPECT_NEAR(f.ekf().P()(7, 7), v, 1e-15);
        EXPECT_NEAR(f.ekf().P()(9, 9), v, 1e-15);
        EXPECT_EQ(f.ekf().P()(7, 8), 0.0);
        EXPECT_EQ(f.ekf().P().block(0, 7, 7, 3), Eigen::MatrixXd::Zero(7, 3));
    }
}

// A gyroscope that stays saturated keeps inflating, and the variances nothing
// ever reduces grow by 30 each time: they must stay finite, and so must the
// state, however long it lasts.
TEST(OrientationFilter, LongSaturationKeepsTheStateFinite) {
    OrientationFilter f;
    startAt(f, 0);
    SensorSample out{};
    for (uint32_t k = 1; k <= 1000; ++k) {
        const SensorSample in = restingSample(k * kStep, Vector4d(1, 0, 0, 0), Vector3d(27, 0, 0));
        f.update(&in, &out, 1.0);
        ASSERT_TRUE(f.ekf().x().allFinite()) << "sample " << k;
        ASSERT_TRUE(f.ekf().P().allFinite()) << "sample " << k;
        ASSERT_NEAR(quatOf(out).norm(), 1.0, 1e-6);
    }
}

// The time step is the distance to the previous timestamp on the device
// clock, which wraps at 2^32 ticks: the wrap is an ordinary step forward. A
// step back (a sample out of order) integrates nothing, a gap counts as the
// longest step.
TEST(OrientationFilter, TimeStepsFollowTheDeviceClock) {
    const uint32_t hour = 36000000;  // ticks
    const double gap = OrientationFilter::kMaxStepSeconds;
    const struct {
        const char* name;
        std::vector<uint32_t> timestamps;  // the first starts the filter
        std::vector<double> steps;         // expected T of the others, s
    } cases[] = {
        {"ordinary", {1000, 1035, 1070}, {0.0035, 0.0035}},
        {"same timestamp", {1000, 1000, 1035}, {0.0, 0.0035}},
        {"back in time", {1035, 1000, 1035}, {0.0, 0.0035}},
        {"wrap", {4294967280u, 19, 54, 89}, {0.0035, 0.0035, 0.0035}},
        {"onto the wrap", {4294967261u, 0, 35}, {0.0035, 0.0035}},
        {"back across the wrap", {19, 4294967280u, 19, 54}, {0.0, 0.0035, 0.0035}},
        {"wrap, back, wrap", {4294967290u, 10, 4294967290u, 10}, {0.0016, 0.0, 0.0016}},
        {"longest step", {1000, 11000, 11035}, {gap, 0.0035}},
        {"an hour's gap", {1000, 1000 + hour, 1035 + hour}, {gap, 0.0035}},
        {"gap across the wrap", {4294967000u, hour, hour + 35}, {gap, 0.0035}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OrientationFilter f;
        startAt(f, c.timestamps[0]);
        double t = f.ekf().t();
        EXPECT_EQ(t, c.timestamps[0] * 0.0001);
        for (size_t k = 1; k < c.timestamps.size(); ++k) {
            SensorSample in = restingSample(c.timestamps[k], Vector4d(1, 0, 0, 0)), out = in;
            f.update(&in, &out, 1.0);
            EXPECT_NEAR(f.ekf().t() - t, c.steps[k - 1], 1e-9) << "step " << k;
            t = f.ekf().t();
            EXPECT_TRUE(near(quatOf(out), Vector4d(1, 0, 0, 0), 1e-6));
        }
    }
}

// Across the wrap the filter behaves as on any other stretch of the clock:
// a recording that wraps and the same recording far from the wrap agree.
TEST(OrientationFilter, WrappingRecordingMatchesTheSameRecordingElsewhere) {
    const uint32_t beforeWrap = 4294967296u - 200 * kStep;
    const std::vector<SensorSample> wrapping = tumblingRecording(400, beforeWrap);
    std::vector<SensorSample> plain = wrapping;
    for (SensorSample& s : plain) s.timestamp -= beforeWrap - 5000;  // 5000 .. 19000
    ASSERT_LT(wrapping.back().timestamp, wrapping.front().timestamp) << "must cross the wrap";
    OrientationFilter a, b;
    for (size_t k = 0; k < wrapping.size(); ++k) {
        SensorSample outA = wrapping[k], outB = plain[k];
        a.update(&wrapping[k], &outA, 1.0);
        b.update(&plain[k], &outB, 1.0);
        ASSERT_TRUE(near(quatOf(outA), quatOf(outB), 1e-4)) << "sample " << k;
    }
    EXPECT_TRUE(near(a.ekf().P(), b.ekf().P(), 1e-6));
}

// Angle of the rotation between two unit quaternions, degrees.
double degreesBetween(const Vector4d& a, const Vector4d& b) {
    return 2 * std::acos(std::min(1.0, std::fabs(a.dot(b)))) * 180 / kPi;
}

// A still tracker whose gyroscope reads a small bias, so the filter's angular
// velocity settles near it, and then no samples for an hour. Predicting across
// the whole hour would turn the estimate by that rate times 3600 s (here some
// 800 degrees); across the longest step it turns by a fraction of a degree,
// and the samples right after the gap read the pose.
TEST(OrientationFilter, StillRecordingKeepsItsPoseAcrossAnHourLongGap) {
    const Vector4d pose = Vector4d(0.9, 0.2, -0.3, 0.25).normalized();
    const Vector3d bias(0.003, -0.002, 0.001);  // rad/s
    OrientationFilter f;
    warmUp(f);
    uint32_t t = 5000;
    SensorSample out{};
    auto feed = [&](int count) {
        double worst = 0;
        for (int k = 0; k < count; ++k, t += kStep) {
            const SensorSample in = restingSample(t, pose, bias);
            f.update(&in, &out, 1.0);
            worst = std::max(worst, degreesBetween(quatOf(out), pose));
        }
        return worst;
    };
    feed(3000);  // about 10 s
    ASSERT_LT(degreesBetween(quatOf(out), pose), 1.0);
    ASSERT_GT(f.ekf().x().segment<3>(4).norm(), 0.5 * bias.norm()) << "the rate follows the bias";
    t += 36000000;  // an hour
    EXPECT_LT(feed(1), 3.0) << "the first sample after the gap";
    EXPECT_LT(feed(300), 3.0) << "the first second after the gap";
}

// Unusable readings in the running state: the relations that would read them
// are left out for that sample, the others are applied. All faults of one
// kind therefore give the same result: acc faults drop the inclinometer and
// the magnetometer relation (which needs acc too), mag faults only the
// magnetometer, gyr faults only the gyroscope relation.
TEST(OrientationFilter, UnusableReadingsSkipOnlyTheirRelations) {
    const Vector4d q = unit(0.9, 0.2, -0.1, 0.3);
    const Vector3d gyr(0.4, -0.2, 0.3);
    const SensorSample good = restingSample(1000 + kStep, q, gyr);
    const Vector3d acc(good.acc[0], good.acc[1], good.acc[2]);
    const Vector3d mag(good.mag[0], good.mag[1], good.mag[2]);
    enum Kind { Acc, Mag, Gyr };
    const struct {
        const char* name;
        Kind kind;
        Vector3d acc, mag, gyr;
    } cases[] = {
        {"zero acc", Acc, Vector3d::Zero(), mag, gyr},
        {"NaN acc", Acc, Vector3d(kNaN, 0, 9.81), mag, gyr},
        {"Inf acc", Acc, Vector3d(0, -kInf, 9.81), mag, gyr},
        {"zero acc and NaN mag", Acc, Vector3d::Zero(), Vector3d::Constant(kNaN), gyr},
        {"zero mag", Mag, acc, Vector3d::Zero(), gyr},
        {"NaN mag", Mag, acc, Vector3d(1, kNaN, 1), gyr},
        {"Inf mag", Mag, acc, Vector3d(kInf, 1, 1), gyr},
        {"mag parallel to acc", Mag, acc, -4 * acc, gyr},
        {"NaN gyr", Gyr, acc, mag, Vector3d(0, kNaN, 0)},
        {"Inf gyr", Gyr, acc, mag, Vector3d(kInf, 0, 0)},
    };
    Eigen::VectorXd first[3];  // state after the first case of each kind
    bool seen[3] = {false, false, false};
    Eigen::VectorXd reference;  // state after the good sample
    {
        OrientationFilter f;
        startAt(f, 1000);
        SensorSample out = good;
        f.update(&good, &out, 1.0);
        reference = f.ekf().x();
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OrientationFilter f;
        startAt(f, 1000);
        const Eigen::VectorXd before = f.ekf().x();
        const SensorSample bad = sample(1000 + kStep, c.acc, c.gyr, c.mag);
        SensorSample out = bad;
        f.update(&bad, &out, 1.0);
        const Eigen::VectorXd x = f.ekf().x();
        ASSERT_TRUE(x.allFinite());
        ASSERT_TRUE(f.ekf().P().allFinite());
        EXPECT_NEAR(quatOf(out).norm(), 1.0, 1e-6);
        EXPECT_NE(x, before) << "the usable relations still correct the state";
        EXPECT_NE(x, reference) << "something was left out";
        if (c.kind == Gyr) {
            // Without the gyroscope relation the rate state stays near the
            // start's zero (only correlations with the attitude move it).
            EXPECT_LT(x.segment<3>(4).norm(), 0.1 * gyr.norm());
        } else {
            // The gyroscope relation pulls the rate state towards the reading.
            EXPECT_GT(x.segment<3>(4).dot(gyr), 0.5 * gyr.squaredNorm());
        }
        if (!seen[c.kind]) {
            first[c.kind] = x;
            seen[c.kind] = true;
        } else {
            EXPECT_EQ(x, first[c.kind]) << "same relations left out, same result";
        }

        // The filter carries on with the next good samples, unharmed.
        for (uint32_t k = 2; k < 300; ++k) {
            const SensorSample next = restingSample(1000 + k * kStep, q);
            f.update(&next, &out, 1.0);
        }
        EXPECT_TRUE(near(quatOf(out), q, 2e-3));
    }
    EXPECT_NE(first[Acc], first[Mag]);
}

// The state quaternion is never normalised; the sample always gets a unit one.
TEST(OrientationFilter, OutputIsUnitWhileTheStateDrifts) {
    const std::vector<SensorSample> samples = tumblingRecording(600, 0);
    OrientationFilter f;
    double largestDrift = 0;
    for (size_t k = 0; k < samples.size(); ++k) {
        SensorSample out = samples[k];
        f.update(&samples[k], &out, 1.0);
        ASSERT_NEAR(quatOf(out).norm(), 1.0, 1e-6) << "sample " << k;
        if (k > 5)
            largestDrift = std::max(largestDrift, std::fabs(f.ekf().x().head<4>().norm() - 1));
    }
    EXPECT_GT(largestDrift, 1e-4) << "the recording should move the state off unit length";
}

}  // namespace
