// Cost of one host orientation filter update in the running state: the time
// update, the three measurement relations and the output, per sample; and of
// one update of the robust profile's filter. Heap
// use per update is counted by wrapping the C allocator and reported as the
// counter allocs_per_update (expected 0).
#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "orientation_filter.h"
#include "quaternion.h"
#include "robust_orientation_filter.h"
// Last: it declares the C allocator after the headers that also do.
#include "allocation_counter.h"

namespace {

constexpr uint32_t kStep = 35;  // ticks of 100 us between samples (285.7 Hz)
constexpr int kSamples = 4096;  // one lap of the recording, replayed round and round

// A tracker turning about all axes with noisy readings; saturated: the
// gyroscope reads beyond its limit on every sample (the inflation path).
std::vector<SensorSample> recording(bool saturated) {
    std::vector<SensorSample> samples(kSamples);
    using Filtering::Vec3d;
    Filtering::Quatd q = Filtering::fromRotationVector(Vec3d{0.4, -0.8, 1.2});
    const Vec3d up{0, 0, 9.81}, field{21, 0, -43};  // world: north, west, up
    std::srand(1);
    auto noise = [] { return 0.02 * (std::rand() / static_cast<double>(RAND_MAX) - 0.5); };
    for (int k = 0; k < kSamples; ++k) {
        double w[3] = {2 * std::sin(0.01 * k), 1.5 * std::cos(0.013 * k), 0.8};
        if (saturated) w[0] = 27;
        // Q_SW advances by the rotation -T w on the left.
        const double T = kStep * 1e-4;
        q = normalised(fromRotationVector(Vec3d{-T * w[0], -T * w[1], -T * w[2]}) * q);
        const Vec3d av = rotate(q, up), mv = rotate(q, field);
        const double a[3] = {av.x, av.y, av.z}, m[3] = {mv.x, mv.y, mv.z};
        SensorSample& s = samples[static_cast<size_t>(k)];
        s.timestamp = kStep * static_cast<uint32_t>(k);
        for (int i = 0; i < 3; ++i) {
            s.acc[i] = static_cast<float>(a[i] + 10 * noise());
            s.gyr[i] = static_cast<float>(w[i] + noise());
            s.mag[i] = static_cast<float>(m[i] + 50 * noise());
        }
    }
    return samples;
}

template <class Filter>
void runUpdates(benchmark::State& state, bool saturated) {
    std::vector<SensorSample> samples = recording(saturated);
    Filter filter;
    SensorSample out{};
    // Warm-up, start and some running steps, so that every size has settled.
    for (int k = 0; k < 64; ++k) filter.update(&samples[static_cast<size_t>(k)], &out, 1.0);
    if (!filter.initialised()) state.SkipWithError("the filter did not start");
    size_t k = 64;
    uint32_t lapOffset = 0;  // timestamps keep increasing from lap to lap
    const long before = allocation_counter::count();
    for (auto _ : state) {
        SensorSample in = samples[k];
        in.timestamp += lapOffset;
        filter.update(&in, &out, 1.0);
        benchmark::DoNotOptimize(out.quat);
        if (++k == samples.size()) {
            k = 0;
            lapOffset += kStep * kSamples;
        }
    }
    const long counted = allocation_counter::count() - before;
    state.counters["allocs_per_update"] =
        benchmark::Counter(static_cast<double>(counted), benchmark::Counter::kAvgIterations);
    state.counters["updates_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    if (!allocation_counter::countsAllocations)
        state.SetLabel("allocations not counted (sanitizer)");
}

void BM_FilterUpdate(benchmark::State& state) {
    runUpdates<Quorvane::OrientationFilter>(state, false);
}
BENCHMARK(BM_FilterUpdate);

void BM_FilterUpdateSaturated(benchmark::State& state) {
    runUpdates<Quorvane::OrientationFilter>(state, true);
}
BENCHMARK(BM_FilterUpdateSaturated);

// The robust profile's filter on the same recording.
void BM_RobustFilterUpdate(benchmark::State& state) {
    runUpdates<Quorvane::RobustOrientationFilter>(state, false);
}
BENCHMARK(BM_RobustFilterUpdate);

}  // namespace

BENCHMARK_MAIN();
