// Host-side costs of a streaming tracker against the simulated one: the
// latency the library adds between the wire and the caller, the acquisition
// thread's CPU time, and the time to open a tracker or list the attached ones.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <sched.h>
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "quorvane.h"
#include "sensor_config.h"
#include "tracker_sim.h"
#include "tty_discovery.h"

namespace {

using Clock = std::chrono::steady_clock;

// Bytes of a float packet with the ten sensor channels: 'A', timestamp,
// ten values, 'Z'; the line carries 10472.7 bytes/s.
constexpr int kPacketBytes = 46;
constexpr int kLineRate = static_cast<int>(10472.7 / kPacketBytes);  // 227 Hz

std::set<std::string> tasks() {
    std::set<std::string> ids;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (dirent* e = readdir(dir))
            if (e->d_name[0] != '.') ids.insert(e->d_name);
        closedir(dir);
    }
    return ids;
}

// CPU time of a thread of this process, by its kernel id, in seconds: the
// per-thread scheduler clock the kernel keeps for every task.
double threadCpuSeconds(pid_t tid) {
    const clockid_t clock = static_cast<clockid_t>((~static_cast<unsigned>(tid) << 3) | 6);
    timespec ts{};
    if (clock_gettime(clock, &ts) != 0) return -1;
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

// Starts the tracker and returns the kernel id of its acquisition thread:
// the one task that fenlarkStart adds to the process.
pid_t startAndFindThread(VirtualFenlark* tracker) {
    const auto before = tasks();
    fenlarkStart(tracker);
    pid_t tid = 0;
    for (const std::string& id : tasks())
        if (!before.count(id)) tid = static_cast<pid_t>(std::stol(id));
    return tid;
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * (v.size() - 1) + 0.5))];
}

// A tracker opened on the simulator at `frequency`; null (the benchmark
// skipped) when it could not be opened.
VirtualFenlark* openStreaming(benchmark::State& state, const sim::TrackerSim& device,
                              uint16_t frequency) {
    VirtualFenlark* tracker = fenlarkCreate(100);
    const SensorConfig config = Quorvane::testing::sensorConfig(0x3FF, frequency);
    if (fenlarkOpen(tracker, &config, device.devicePath().c_str()) != 0) {
        state.SkipWithError("open failed");
        fenlarkDestroy(tracker);
        return nullptr;
    }
    return tracker;
}

// From the moment the simulator wrote a packet's last byte to the pty to the
// return of the fenlarkGetData call that first hands out that sample. The
// caller polls as fast as it can, yielding between calls.
void BM_HostLatency(benchmark::State& state) {
    const auto frequency = static_cast<uint16_t>(state.range(0));
    sim::TrackerSim device;
    VirtualFenlark* tracker = openStreaming(state, device, frequency);
    if (!tracker) return;
    fenlarkStart(tracker);
    // (timestamp, when the reader got it); the write times are looked up
    // afterwards, since the simulator may log a write only after the host
    // already has the packet.
    std::vector<std::pair<uint32_t, Clock::time_point>> received;
    uint32_t last = 0;
    int skipped = 0;
    for (auto _ : state) {
        const auto end = Clock::now() + std::chrono::seconds(10);
        while (Clock::now() < end) {
            SensorSample s;
            fenlarkGetData(tracker, &s);
            const auto got = Clock::now();
            if (s.timestamp == last) {
                sched_yield();
                continue;
            }
            last = s.timestamp;
            if (++skipped <= 20) continue;  // the filter's start and the first packets
            received.emplace_back(s.timestamp, got);
        }
    }
    std::vector<double> latencies;
    for (const auto& [timestamp, got] : received)
        if (const auto written = device.packetWrittenAt(timestamp))
            latencies.push_back(std::chrono::duration<double, std::micro>(got - *written).count());
    fenlarkStop(tracker);
    fenlarkDestroy(tracker);
    state.counters["median_us"] = percentile(latencies, 0.5);
    state.counters["p99_us"] = percentile(latencies, 0.99);
    state.counters["samples"] = static_cast<double>(latencies.size());
    state.counters["skipped_by_sim"] = static_cast<double>(device.skippedSamples());
}
BENCHMARK(BM_HostLatency)
    ->Arg(100)
    ->Arg(kLineRate)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

// CPU time of the acquisition thread per second of streaming, with a reader
// that fetches every sample. The thread is the one task that fenlarkStart
// adds to the process; its kernel clock is read directly.
void BM_AcquisitionCpu(benchmark::State& state) {
    const auto frequency = static_cast<uint16_t>(state.range(0));
    sim::TrackerSim device;
    VirtualFenlark* tracker = openStreaming(state, device, frequency);
    if (!tracker) return;
    const pid_t tid = startAndFindThread(tracker);
    std::this_thread::sleep_for(std::chrono::seconds(1));  // past the filter's start
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        const double cpuStart = threadCpuSeconds(tid);
        const auto wallStart = Clock::now();
        const auto end = wallStart + std::chrono::seconds(10);
        while (Clock::now() < end) {
            SensorSample s;
            fenlarkGetData(tracker, &s);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        cpu += threadCpuSeconds(tid) - cpuStart;
        wall += std::chrono::duration<double>(Clock::now() - wallStart).count();
    }
    fenlarkStop(tracker);
    fenlarkDestroy(tracker);
    state.counters["cpu_ms_per_s"] = 1000.0 * cpu / wall;
}
BENCHMARK(BM_AcquisitionCpu)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// CPU time of the acquisition thread per second after the tracker was
// unplugged while streaming: it should park, not poll a port that is gone.
void BM_CpuAfterUnplug(benchmark::State& state) {
    sim::TrackerSim device;
    VirtualFenlark* tracker = openStreaming(state, device, 100);
    if (!tracker) return;
    const pid_t tid = startAndFindThread(tracker);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    device.unplug();
    const auto giveUp = Clock::now() + std::chrono::seconds(10);
    while (fenlarkGetStreamState(tracker) != FENLARK_STREAM_PORT_GONE && Clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const bool gone = fenlarkGetStreamState(tracker) == FENLARK_STREAM_PORT_GONE;
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        const double cpuStart = threadCpuSeconds(tid);
        const auto wallStart = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(5));
        cpu += threadCpuSeconds(tid) - cpuStart;
        wall += std::chrono::duration<double>(Clock::now() - wallStart).count();
    }
    fenlarkStop(tracker);
    fenlarkDestroy(tracker);
    if (!gone) state.SkipWithError("the unplug was not noticed");
    state.counters["cpu_ms_per_s"] = 1000.0 * cpu / wall;
}
BENCHMARK(BM_CpuAfterUnplug)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// fenlarkOpen on one simulated tracker: by its path (0) or the first one
// discovery finds (1). Each iteration closes the tracker again, untimed.
void BM_Open(benchmark::State& state) {
    sim::TrackerSim device;
    setenv(Quorvane::kExtraPortsVariable, device.devicePath().c_str(), 1);
    const char* port = state.range(0) == 0 ? device.devicePath().c_str() : nullptr;
    VirtualFenlark* tracker = fenlarkCreate(2);
    for (auto _ : state) {
        const auto start = Clock::now();
        const int result = fenlarkOpen(tracker, nullptr, port);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        if (result != 0) state.SkipWithError("open failed");
        fenlarkClose(tracker);
    }
    fenlarkDestroy(tracker);
    unsetenv(Quorvane::kExtraPortsVariable);
}
BENCHMARK(BM_Open)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

// One device command's round trip on an open, stopped tracker: a matrix
// read (36 bytes back) and a matrix write (acknowledged by one byte).
void BM_Command(benchmark::State& state) {
    sim::TrackerSim device;
    VirtualFenlark* tracker = openStreaming(state, device, 100);
    if (!tracker) return;
    float m[9];
    for (auto _ : state) {
        if (state.range(0) == 0)
            fenlarkGetKa(tracker, m);
        else
            fenlarkSetKa(tracker, m);
    }
    fenlarkDestroy(tracker);
}
BENCHMARK(BM_Command)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

void BM_DeviceList(benchmark::State& state) {
    sim::TrackerSim device;
    setenv(Quorvane::kExtraPortsVariable, device.devicePath().c_str(), 1);
    DeviceInfo list[4];
    for (auto _ : state)
        if (fenlarkGetDeviceList(list, 4) != 1) state.SkipWithError("tracker not listed");
    unsetenv(Quorvane::kExtraPortsVariable);
}
BENCHMARK(BM_DeviceList)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
