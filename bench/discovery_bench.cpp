// How long discovery takes with simulated trackers attached.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <memory>
#include <string>
#include <vector>

#include "device_list.h"
#include "quorvane.h"
#include "tracker_sim.h"
#include "tty_discovery.h"

namespace {

void BM_GetDeviceList(benchmark::State& state) {
    std::vector<std::unique_ptr<sim::TrackerSim>> sims;
    std::string ports;
    for (int i = 0; i < state.range(0); ++i) {
        sim::Options o;
        o.identity.id = "BENCH" + std::to_string(i);
        sims.push_back(std::make_unique<sim::TrackerSim>(o));
        ports += (ports.empty() ? "" : ",") + sims.back()->devicePath();
    }
    setenv(Quorvane::kExtraPortsVariable, ports.c_str(), 1);
    DeviceInfo list[8];
    for (auto _ : state) {
        const int n = Quorvane::getDeviceList(
            list, 8, [] { return Quorvane::createPlatformIO(Quorvane::kPortBufferSize); });
        if (n != state.range(0)) state.SkipWithError("a simulated tracker was not found");
    }
    unsetenv(Quorvane::kExtraPortsVariable);
}
BENCHMARK(BM_GetDeviceList)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
