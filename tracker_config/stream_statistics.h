// What the status bar says about a running stream: the sample rate that
// actually arrives and how many samples the device timestamps show missing.
// Pure arithmetic on the timestamps and the host's clock, fed one sample at
// a time; no Qt, no device.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

namespace TrackerConfig {

class StreamStatistics {
  public:
    // The device clock counts in 100 us and wraps at 2^32.
    static constexpr double kTicksPerSecond = 10000.0;
    // The rate is averaged over the samples of this last stretch of host time.
    static constexpr int64_t kRateWindowMs = 2000;

    // Forgets everything; frequencyHz is the configured output rate, from
    // which the expected spacing of the timestamps follows.
    void reset(int frequencyHz);
    // One sample with its device timestamp, received at hostMs (any
    // monotonic clock in milliseconds).
    void add(uint32_t timestamp, int64_t hostMs);

    // Samples per second received over the last window; 0 before two samples.
    double receivedRate() const;
    // Samples missing between the received ones since the reset.
    uint64_t missingSamples() const { return missing; }
    uint64_t receivedSamples() const { return received; }
    // "99.8 samples/s, 0 missing".
    std::string text() const;

  private:
    double expectedTicks = kTicksPerSecond / 100;
    bool haveLast = false;
    uint32_t last = 0;
    uint64_t received = 0;
    uint64_t missing = 0;
    std::deque<int64_t> arrivals;  // host times within the rate window
};

}  // namespace TrackerConfig
