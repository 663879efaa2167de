#include "stream_statistics.h"

#include <cmath>
#include <cstdio>

namespace TrackerConfig {

void StreamStatistics::reset(int frequencyHz) {
    expectedTicks = kTicksPerSecond / (frequencyHz > 0 ? frequencyHz : 100);
    haveLast = false;
    last = 0;
    received = 0;
    missing = 0;
    arrivals.clear();
}

void StreamStatistics::add(uint32_t timestamp, int64_t hostMs) {
    if (haveLast) {
        // Unsigned difference: right across the clock's wrap.
        const uint32_t ticks = timestamp - last;
        // A spacing of n periods means n - 1 samples never arrived; half a
        // period of jitter either way still counts as on time.
        const double periods = std::floor(ticks / expectedTicks + 0.5);
        if (periods > 1) missing += static_cast<uint64_t>(periods) - 1;
    }
    haveLast = true;
    last = timestamp;
    ++received;
    arrivals.push_back(hostMs);
    while (!arrivals.empty() && hostMs - arrivals.front() > kRateWindowMs) arrivals.pop_front();
}

double StreamStatistics::receivedRate() const {
    if (arrivals.size() < 2) return 0;
    const int64_t span = arrivals.back() - arrivals.front();
    if (span <= 0) return 0;
    return (arrivals.size() - 1) * 1000.0 / span;
}

std::string StreamStatistics::text() const {
    char buffer[80];
    std::snprintf(buffer, sizeof buffer, "%.1f samples/s, %llu missing", receivedRate(),
                  static_cast<unsigned long long>(missing));
    return buffer;
}

}  // namespace TrackerConfig
