// Simulated trackers on pseudo-terminals, made visible to the library's port
// discovery through the extra-ports variable.
#pragma once

#include <stdlib.h>

#include <memory>
#include <string>
#include <vector>

#include "tracker_sim.h"
#include "tty_discovery.h"

namespace Quorvane::testing {

inline sim::Options simOptions(const std::string& id, std::uint16_t major = 1,
                               std::uint16_t minor = 4) {
    sim::Options o;
    o.id = id;
    o.firmwareMajor = major;
    o.firmwareMinor = minor;
    return o;
}

// Points discovery at exactly the given device paths, in this order.
inline void listPorts(const std::vector<std::string>& paths) {
    std::string joined;
    for (const std::string& p : paths) joined += (joined.empty() ? "" : ",") + p;
    setenv(kExtraPortsVariable, joined.c_str(), 1);
}

}  // namespace Quorvane::testing
