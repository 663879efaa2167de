// Simulated trackers on pseudo-terminals, made visible to the library's port
// discovery through the extra-ports variable.
#pragma once

#include <stdlib.h>

#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "fenlark_imu.h"
#include "fenlark_io_posix.h"
#include "tracker_sim.h"
#include "tty_discovery.h"

namespace Quorvane::testing {

inline sim::Options simOptions(const std::string& id, std::uint16_t major = 1,
                               std::uint16_t minor = 4) {
    sim::Options o;
    o.identity = {id, major, minor};
    return o;
}

// Points discovery at exactly the given device paths, in this order.
inline void listPorts(const std::vector<std::string>& paths) {
    std::string joined;
    for (const std::string& p : paths) joined += (joined.empty() ? "" : ",") + p;
    setenv(kExtraPortsVariable, joined.c_str(), 1);
}

// A port opened on a simulator and the protocol object on it (identified).
// The identification has a fixed window (20 ms) that a heavily loaded test
// machine can miss now and then; tests whose subject is not the
// identification allow a few tries, on a freshly opened port each.
struct Connection {
    explicit Connection(const sim::TrackerSim& sim) : io(4096) {
        for (int attempt = 1;; ++attempt) {
            io.open(sim.devicePath(), 115200);
            try {
                imu = std::make_unique<FenlarkIMU>(&io);
                return;
            } catch (const std::runtime_error&) {
                io.close();
                if (attempt == 3) throw;
            }
        }
    }
    FenlarkIOPosix io;
    std::unique_ptr<FenlarkIMU> imu;
};

// Waits for a condition the library or the simulator makes true eventually;
// false when the (generous) patience ran out.
template <typename Condition>
bool eventually(Condition condition,
                std::chrono::milliseconds patience = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Waits until the simulator has nothing more on the way to the host (a late
// reply included), so that the host's next command starts on a quiet line.
inline bool lineGoesQuiet(const sim::TrackerSim& sim) {
    return eventually([&] { return sim.lineIdle(); });
}

}  // namespace Quorvane::testing
