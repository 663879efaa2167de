// Simulated trackers on pseudo-terminals, made visible to the library's port
// discovery through the extra-ports variable.
#pragma once

#include <stdlib.h>

#include <memory>
#include <string>
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
struct Connection {
    explicit Connection(const sim::TrackerSim& sim) : io(4096) {
        io.open(sim.devicePath(), 115200);
        imu = std::make_unique<FenlarkIMU>(&io);
    }
    FenlarkIOPosix io;
    std::unique_ptr<FenlarkIMU> imu;
};

}  // namespace Quorvane::testing
