// The ring's read and overwrite rules.
#include "sample_ring.h"

#include <gtest/gtest.h>

#include <chrono>

using Quorvane::SampleRing;

namespace {

void push(SampleRing& ring, uint32_t timestamp) {
    SensorSample* slot = ring.reserve();
    *slot = SampleRing::initialSample();
    slot->timestamp = timestamp;
    ring.publish();
}

uint32_t next(SampleRing& ring) {
    SensorSample s;
    ring.read(&s);
    return s.timestamp;
}

TEST(SampleRing, LengthIsAtLeastTwoAndStartsWithTheInitialSample) {
    for (uint16_t asked : {0, 1, 2, 7}) {
        SampleRing ring(asked);
        EXPECT_EQ(ring.length(), asked < 2 ? 2 : asked);
        for (int i = 0; i < 3; ++i) {
            SensorSample s;
            ring.read(&s);
            EXPECT_EQ(s.timestamp, 0u);
            EXPECT_EQ(s.quat[0], 1.0f);
            EXPECT_EQ(s.acc[2], 0.0f);
        }
    }
}

TEST(SampleRing, ReaderKeepingUpGetsEverySampleThenTheNewestAgain) {
    SampleRing ring(100);
    push(ring, 5);
    EXPECT_EQ(next(ring), 0u);  // the initial sample, then S5
    EXPECT_EQ(next(ring), 5u);
    push(ring, 6);
    EXPECT_EQ(next(ring), 5u);  // S5 once more: the read position was on it
    EXPECT_EQ(next(ring), 6u);
    EXPECT_EQ(next(ring), 6u);
    push(ring, 7);
    EXPECT_EQ(next(ring), 6u);
    EXPECT_EQ(next(ring), 7u);
}

TEST(SampleRing, SlowReaderLosesTheOldestSamples) {
    SampleRing ring(2);
    for (uint32_t t = 1; t <= 10; ++t) push(ring, t);
    EXPECT_EQ(next(ring), 9u);  // second-newest, then the newest
    EXPECT_EQ(next(ring), 10u);
    EXPECT_EQ(next(ring), 10u);

    SampleRing big(4);
    for (uint32_t t = 1; t <= 10; ++t) push(big, t);
    EXPECT_EQ(next(big), 7u);
    EXPECT_EQ(next(big), 8u);
}

TEST(SampleRing, ResetReturnsToTheInitialSample) {
    SampleRing ring(3);
    push(ring, 4);
    next(ring);
    next(ring);
    ring.reset();
    EXPECT_EQ(next(ring), 0u);
    push(ring, 11);
    EXPECT_EQ(next(ring), 0u);
    EXPECT_EQ(next(ring), 11u);
}

// A waiting reader learns of every sample exactly once: the wait ends for a
// sample not yet handed out and times out when the reader has them all.
TEST(SampleRing, WaitEndsForAnUnreadSampleAndTimesOutWhenAllWereRead) {
    using std::chrono::milliseconds;
    SampleRing ring(8);
    EXPECT_FALSE(ring.waitUnread(milliseconds(1)));  // the initial sample counts as read
    push(ring, 3);
    push(ring, 4);
    EXPECT_TRUE(ring.waitUnread(milliseconds(0)));
    EXPECT_EQ(next(ring), 0u);
    EXPECT_EQ(next(ring), 3u);
    EXPECT_TRUE(ring.waitUnread(milliseconds(0)));
    EXPECT_EQ(next(ring), 4u);
    EXPECT_FALSE(ring.waitUnread(milliseconds(1)));
    EXPECT_EQ(next(ring), 4u);  // the newest again, still not unread
    EXPECT_FALSE(ring.waitUnread(milliseconds(1)));
    ring.reset();
    EXPECT_FALSE(ring.waitUnread(milliseconds(1)));
}

}  // namespace
