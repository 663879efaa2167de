// The per-sample path (time update, three measurement relations through the
// combined model) must not touch the heap once the sizes are set. Heap use is
// counted by wrapping the C allocator; sanitizer builds bring their own
// allocator, so there the test is skipped.
#include <gtest/gtest.h>

#include <cmath>

#include "combined_meas_model.h"
#include "ekf.h"
#include "gauss_noise.h"
#include "gyro_meas_model.h"
#include "imu_ori_dyn_model.h"
#include "inclinometer_meas_model.h"
#include "magnetometer_meas_model.h"
#include "orientation_filter.h"
#include "robust_orientation_filter.h"
// Last: it declares the C allocator after the headers that also do.
#include "allocation_counter.h"

namespace {

using namespace Filtering;

TEST(HotPath, NoHeapAllocationPerSample) {
    if (!allocation_counter::countsAllocations)
        GTEST_SKIP() << "allocations are not counted under a sanitizer";
    // The orientation filter's assembly: rate state, no bias, 10 elements.
    auto* dynNoise = new StackedNoise(true);
    GaussNoise rate(0.1 * Eigen::MatrixXd::Identity(3, 3));
    dynNoise->add(&rate);
    auto* magNoise = new StackedNoise(true);
    GaussNoise m(0.001 * Eigen::MatrixXd::Identity(3, 3));
    GaussNoise a(Eigen::Vector3d(0.025, 0.025, 0.05).asDiagonal().toDenseMatrix());
    magNoise->add(&m);
    magNoise->add(&a);
    auto* combined = new CombinedMeasModel();
    combined->add(new InclinometerMeasModel(new GaussNoise(a)));
    combined->add(new MagnetometerMeasModel(magNoise));
    combined->add(new GyroMeasModel(new GaussNoise(0.01 * Eigen::MatrixXd::Identity(3, 3))));
    Eigen::VectorXd x0 = Eigen::VectorXd::Zero(10);
    x0(0) = 1;
    EKF ekf(new IMUOriDynModel(dynNoise), combined, x0, Eigen::MatrixXd::Identity(10, 10) * 0.03,
            0.0);
    ParameterMap map = ekf.dynModel()->getParameters();
    putInt(map, NX, 10);
    putInt(map, Q_SW, 0);
    putInt(map, BW_S, -1);
    putInt(map, W_S, 4);
    putInt(map, UYW_S, -1);
    ekf.setParameters(map);

    Eigen::VectorXd gyr(4), acc(4), mag(7), u(3);
    std::vector<Eigen::VectorXd*> ys = {&gyr, &acc, &mag};
    auto sample = [&](int i) {
        const double s = 0.01 * i;
        u << 0.3 * std::sin(s), 0.2, -0.1 * std::cos(s);
        gyr << 2, u;
        acc << 0, 0.1 * std::sin(s), 0.2, 9.8;
        mag << 1, 30, 5 * std::sin(s), -40, 0.1 * std::sin(s), 0.2, 9.8;
        ekf.timeUpdate(u, s);
        ekf.measurementUpdate(u, ys, s);
    };
    for (int i = 1; i <= 3; ++i) sample(i);  // sizes settle

    const long before = allocation_counter::count();
    for (int i = 4; i < 504; ++i) sample(i);
    const long during = allocation_counter::count() - before;
    EXPECT_EQ(during, 0);
    EXPECT_NEAR(ekf.x().head(4).norm(), 1.0, 0.05);  // the filter ran for real
}

// Both host filters, as the acquisition thread runs them: nothing on the heap
// per sample once running.
template <typename Filter>
long allocationsOverSamples() {
    Filter filter;
    SensorSample in{}, out{};
    auto feed = [&](int k) {
        in.timestamp = static_cast<uint32_t>(100 * k);
        in.acc[0] = static_cast<float>(0.3 * std::sin(0.01 * k));
        in.acc[2] = 9.81f;
        in.gyr[1] = static_cast<float>(0.5 * std::cos(0.02 * k));
        in.mag[0] = 30.0f;
        in.mag[2] = -40.0f;
        filter.update(&in, &out, 1.0);
    };
    for (int k = 0; k < 50; ++k) feed(k);  // warm-up and start
    const long before = allocation_counter::count();
    for (int k = 50; k < 550; ++k) feed(k);
    return allocation_counter::count() - before;
}

TEST(HotPath, HostFiltersDoNotAllocatePerSample) {
    if (!allocation_counter::countsAllocations)
        GTEST_SKIP() << "allocations are not counted under a sanitizer";
    EXPECT_EQ(allocationsOverSamples<Quorvane::OrientationFilter>(), 0);
    EXPECT_EQ(allocationsOverSamples<Quorvane::RobustOrientationFilter>(), 0);
}

}  // namespace
