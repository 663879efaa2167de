// Spoils stream packets as the stream faults ask, for testing the host's
// resynchronisation. Pure apart from its own seeded generator.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "device_core.h"

namespace sim {

constexpr std::uint8_t kWrongEnd = 0x5B;

class StreamFaults {
  public:
    explicit StreamFaults(std::uint64_t seed) : rng_(seed) {}

    // packet holds one whole packet; index is its 1-based number among the
    // packets sent. Applies wrong end, dropped byte and trailing garbage.
    void apply(const Faults& faults, std::uint64_t index, std::vector<std::uint8_t>& packet);

  private:
    unsigned below(unsigned n) { return static_cast<unsigned>(rng_() % n); }

    std::mt19937_64 rng_;
};

// True when fault period every hits packet number index.
inline bool hits(unsigned every, std::uint64_t index) {
    return every != 0 && index % every == 0;
}

}  // namespace sim
