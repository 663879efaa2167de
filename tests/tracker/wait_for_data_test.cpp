// fenlarkWaitForData: a reader that waits for samples instead of polling
// gets every one the line carries, once and in order.
#include <gtest/gtest.h>

#include <vector>

#include "tracker_fixture.h"

namespace {

using namespace Quorvane::testing;

TEST(WaitForData, WaitingReaderGetsEverySampleOnceAndInOrder) {
    const uint16_t frequency = 200;  // 46-byte packets: near the line's limit
    const uint32_t step = 10000 / frequency;
    sim::TrackerSim device(simOptions("WAIT"));
    Handle tracker(256);
    const SensorConfig config = sensorConfig(0x3FF, frequency);
    ASSERT_EQ(openTracker(tracker, &config, device.devicePath()), 0);
    EXPECT_EQ(fenlarkWaitForData(tracker, 1000), 0);  // not started: at once

    fenlarkStart(tracker);
    std::vector<uint32_t> got;
    uint32_t last = 0;
    int idleWaits = 0;
    while (got.size() < 400 && idleWaits < 100) {
        if (!fenlarkWaitForData(tracker, 100)) {
            ++idleWaits;
            continue;
        }
        // Everything new since the last wait, until the newest comes again.
        for (;;) {
            SensorSample s;
            fenlarkGetData(tracker, &s);
            if (s.timestamp == last) break;
            last = s.timestamp;
            if (s.timestamp != 0) got.push_back(s.timestamp);
        }
    }
    fenlarkStop(tracker);
    ASSERT_EQ(got.size(), 400u);
    ASSERT_EQ(device.skippedSamples(), 0u) << "the simulator itself dropped samples";
    for (std::size_t i = 1; i < got.size(); ++i)
        ASSERT_EQ(got[i] - got[i - 1], step) << "at sample " << i;
    EXPECT_EQ(fenlarkWaitForData(tracker, 1000), 0);  // stopped again: at once
}

}  // namespace
