// A replacement for the built-in sensor stream, for tests of the serving
// loop itself. The serving thread calls the source once per sample while
// the device streams; its packets are paced and faulted like the built-in
// ones, but no truth is kept for them.
#pragma once

#include <cstdint>
#include <vector>

#include "param_memory.h"

namespace sim {

class PacketSource {
  public:
    virtual ~PacketSource() = default;

    // Appends the bytes of one packet measured at deviceClock (units of
    // 100 us since power-up, wrapping at 2^32) for the given configuration
    // bytes. Called from the serving thread only.
    virtual void appendPacket(const ConfigBytes& config, std::uint32_t deviceClock,
                              std::vector<std::uint8_t>& out) = 0;
};

}  // namespace sim
