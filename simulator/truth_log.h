// The true orientation of every packet sent: a bounded in-memory history for
// lookups by timestamp from any thread, and optionally a CSV file
// (header "timestamp,qw,qx,qy,qz", one row per packet, w >= 0).
#pragma once

#include <cstdint>
#include <deque>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>

#include "vec_math.h"

namespace sim {

class TruthLog {
  public:
    // Keeps the packets of the last historyTicks (100 us units; default 60 s).
    // Throws std::runtime_error when csvPath is given and cannot be created.
    explicit TruthLog(const std::string& csvPath = {}, std::uint64_t historyTicks = 600000);

    // tick: 64-bit device clock since power-up, increasing; timestamp: what the
    // packet carried (clock start + tick, wrapped).
    void record(std::uint32_t timestamp, std::uint64_t tick, const Quat& q);
    // Writes buffered CSV rows out, so readers of the file see them.
    void flush();

    // The orientation sent with the packet carrying timestamp, if it is still
    // in the history.
    std::optional<Quat> at(std::uint32_t timestamp) const;

  private:
    struct Entry {
        std::uint64_t tick;
        std::uint32_t timestamp;
        Quat q;
    };

    const std::uint64_t historyTicks_;
    mutable std::mutex mutex_;
    std::deque<Entry> entries_;  // guarded by mutex_
    std::ofstream csv_;          // serving thread only
    bool dirty_ = false;
};

}  // namespace sim
