// The per-sample path (time update, three measurement relations through the
// combined model) must not touch the heap once the sizes are set. Heap use is
// counted by wrapping the C allocator; sanitizer builds bring their own
// allocator, so there the test is skipped.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>

#include "combined_meas_model.h"
#include "ekf.h"
#include "gauss_noise.h"
#include "gyro_meas_model.h"
#include "imu_ori_dyn_model.h"
#include "inclinometer_meas_model.h"
#include "magnetometer_meas_model.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ESTIMATION_COUNT_ALLOCATIONS 0
#else
#define ESTIMATION_COUNT_ALLOCATIONS 1
#endif

namespace {
std::atomic<long> allocations{0};
}

#if ESTIMATION_COUNT_ALLOCATIONS
// Every allocation of the process (Eigen's, operator new's) ends in one of
// these; they count and hand over to the C library's allocator.
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);

void* malloc(size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
void* calloc(size_t n, size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(n, size);
}
void* realloc(void* p, size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** p, size_t alignment, size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    *p = __libc_memalign(alignment, size);
    return *p ? 0 : 12;  // ENOMEM
}
void free(void* p) {
    __libc_free(p);
}
}
#endif

namespace {

using namespace Filtering;

TEST(HotPath, NoHeapAllocationPerSample) {
#if !ESTIMATION_COUNT_ALLOCATIONS
    GTEST_SKIP() << "allocations are not counted under a sanitizer";
#endif
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

    const long before = allocations.load();
    for (int i = 4; i < 504; ++i) sample(i);
    const long during = allocations.load() - before;
    EXPECT_EQ(during, 0);
    EXPECT_NEAR(ekf.x().head(4).norm(), 1.0, 0.05);  // the filter ran for real
}

}  // namespace
