#include "stream_statistics.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using TrackerConfig::StreamStatistics;

// Feeds timestamps at 100 Hz device time, arriving every 10 ms.
StreamStatistics fed(const std::vector<uint32_t>& timestamps, int frequency = 100) {
    StreamStatistics stats;
    stats.reset(frequency);
    int64_t host = 0;
    for (uint32_t t : timestamps) {
        stats.add(t, host);
        host += 10;
    }
    return stats;
}

TEST(StreamStatistics, CountsMissingSamplesFromTimestampSpacing) {
    struct Case {
        const char* what;
        std::vector<uint32_t> timestamps;
        int frequency;
        uint64_t missing;
    };
    const Case cases[] = {
        {"regular", {0, 100, 200, 300}, 100, 0},
        {"jitter within half a period", {0, 140, 200, 260, 400}, 100, 0},
        {"one lost", {0, 100, 300}, 100, 1},
        {"three lost, then one", {0, 400, 500, 700}, 100, 4},
        {"across the clock's wrap", {0xFFFFFF9Cu, 0, 200}, 100, 1},
        {"50 Hz spacing", {0, 200, 400, 800}, 50, 1},
    };
    for (const Case& c : cases) {
        const StreamStatistics stats = fed(c.timestamps, c.frequency);
        EXPECT_EQ(stats.missingSamples(), c.missing) << c.what;
        EXPECT_EQ(stats.receivedSamples(), c.timestamps.size()) << c.what;
    }
}

TEST(StreamStatistics, RateIsMeasuredOverTheRecentWindowOfHostTime) {
    StreamStatistics stats;
    stats.reset(100);
    EXPECT_EQ(stats.receivedRate(), 0);
    uint32_t t = 0;
    int64_t host = 0;
    // Three seconds at 100 per second, then three at 50 per second: the
    // window holds only the recent stretch.
    for (int i = 0; i < 300; ++i, t += 100, host += 10) stats.add(t, host);
    EXPECT_NEAR(stats.receivedRate(), 100, 0.5);
    for (int i = 0; i < 150; ++i, t += 100, host += 20) stats.add(t, host);
    EXPECT_NEAR(stats.receivedRate(), 50, 0.5);
    EXPECT_EQ(stats.text(), "50.0 samples/s, 0 missing");
}

TEST(StreamStatistics, ResetForgetsTheLastTimestamp) {
    StreamStatistics stats = fed({0, 100, 500});
    EXPECT_EQ(stats.missingSamples(), 3u);
    stats.reset(100);
    stats.add(90000, 0);  // far from the previous stream's last one
    EXPECT_EQ(stats.missingSamples(), 0u);
    EXPECT_EQ(stats.receivedSamples(), 1u);
}

}  // namespace
