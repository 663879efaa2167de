// Samples from a simulated tracker to a slot in the GUI thread through
// SensorArray's streaming loop: samples delivered per second, samples lost
// on the host, and the latency from the simulator's write of a packet's last
// byte to the slot (median, 99th percentile).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "packet_source.h"
#include "sensor_array.h"
#include "sensor_config.h"
#include "tracker_sim.h"

namespace {

using Clock = std::chrono::steady_clock;

// Float packets whose magnetometer x is the device clock, so the receiver
// knows each sample's timestamp from the signal; the rest is a tracker at rest.
class ClockSource : public sim::PacketSource {
  public:
    void appendPacket(const sim::ConfigBytes& config, uint32_t deviceClock,
                      std::vector<uint8_t>& out) override {
        const int channels = (config[0] | config[1] << 8) & 0x3FF;
        const float values[10] = {
            static_cast<float>(deviceClock), 0, -40, 0, 0, 9.81f, 0, 0, 0, 24.0f};
        out.push_back('A');
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(deviceClock >> (8 * i)));
        for (int i = 0; i < 10; ++i) {
            if (!(channels & (1 << i))) continue;
            uint8_t bytes[4];
            std::memcpy(bytes, &values[i], 4);
            out.insert(out.end(), bytes, bytes + 4);
        }
        out.push_back('Z');
    }
};

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * (v.size() - 1) + 0.5))];
}

// All ten sensor channels (46-byte packets) at the given rate, for 10 s.
void BM_GuiStream(benchmark::State& state) {
    const auto frequency = static_cast<uint16_t>(state.range(0));
    sim::Options options;
    options.identity = {"BENCH", 1, 4};
    options.packetSource = std::make_shared<ClockSource>();
    sim::TrackerSim device(options);
    {
        VirtualFenlark* tracker = fenlarkCreate(2);
        const SensorConfig config = Quorvane::testing::sensorConfig(0x3FF, frequency);
        const int opened = fenlarkOpen(tracker, &config, device.devicePath().c_str());
        fenlarkDestroy(tracker);
        if (opened != 0) {
            state.SkipWithError("could not configure the tracker");
            return;
        }
    }
    SensorArray array;
    array.setAdditionalPorts(device.devicePath());
    array.rescan();
    if (array.sensors().size() != 1) {
        state.SkipWithError("tracker not listed");
        return;
    }
    std::vector<std::pair<uint32_t, Clock::time_point>> received;
    received.reserve(10000);
    QObject context;
    QObject::connect(&array, &SensorArray::magDataChanged, &context, [&](double x, double, double) {
        received.emplace_back(static_cast<uint32_t>(x), Clock::now());
    });
    double seconds = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        array.start();
        QEventLoop loop;
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
        array.stopPolling();
        QCoreApplication::processEvents();
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
    }
    // A step beyond the grid's largest (ceil(10000 / f) ticks) is a lost sample.
    const uint32_t maxStep = (10000 + frequency - 1) / frequency;
    double lost = 0;
    std::vector<double> latencies;
    for (std::size_t i = 0; i < received.size(); ++i) {
        if (i > 0) {
            const uint32_t step = received[i].first - received[i - 1].first;
            if (step > maxStep) lost += static_cast<double>(step) * frequency / 10000.0 - 1;
        }
        if (i >= 20)  // past the start
            if (const auto written = device.packetWrittenAt(received[i].first))
                latencies.push_back(
                    std::chrono::duration<double, std::micro>(received[i].second - *written)
                        .count());
    }
    const double skipped = static_cast<double>(device.skippedSamples());
    state.counters["delivered_per_s"] = static_cast<double>(received.size()) / seconds;
    state.counters["lost_by_host"] = std::max(0.0, lost - skipped);
    state.counters["skipped_by_sim"] = skipped;
    state.counters["median_us"] = percentile(latencies, 0.5);
    state.counters["p99_us"] = percentile(latencies, 0.99);
}
BENCHMARK(BM_GuiStream)
    ->Arg(100)
    ->Arg(227)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
