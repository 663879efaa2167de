// The log of when each stream packet's last byte reached the pseudo-terminal,
// against what a host reading the line sees.
#include <gtest/gtest.h>

#include "stream_host.h"

namespace {

using namespace simtest;
using Clock = std::chrono::steady_clock;

struct Received {
    std::uint32_t timestamp;
    Clock::time_point at;  // when the host had the packet's last byte
};

// Reads whole packets one at a time and notes when each was complete.
std::vector<Received> receiveTimedPackets(HostTerminal& host, const Layout& layout,
                                          std::size_t count) {
    std::vector<Received> got;
    Bytes pending;
    while (got.size() < count) {
        const Bytes more = host.receive(1);
        if (more.empty()) break;
        const auto now = Clock::now();
        pending.insert(pending.end(), more.begin(), more.end());
        const auto packets = decodeStream(pending, layout);
        if (packets.empty()) continue;
        got.push_back({packets.front().timestamp, now});
        pending.clear();
    }
    return got;
}

TEST(WriteLog, EveryPacketIsLoggedBeforeTheHostHasIt) {
    const struct {
        unsigned frequency;
        const char* name;
    } cases[] = {{100, "paced"}, {2000, "line saturated, samples skipped"}};
    sim::TrackerSim tracker;
    HostTerminal host(tracker.devicePath());
    ASSERT_TRUE(host.raw());
    const Layout layout{0x3FF, false};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(restartStream(tracker, host, streamConfig(0x3FF, false, c.frequency)));
        const auto packets = receiveTimedPackets(host, layout, 30);
        ASSERT_EQ(packets.size(), 30u);
        std::optional<Clock::time_point> previous;
        for (const Received& p : packets) {
            // The serving thread logs a write just after it; a quick host can
            // have the bytes a moment before the entry is there.
            ASSERT_TRUE(eventually([&] {
                return tracker.packetWrittenAt(p.timestamp).has_value();
            })) << p.timestamp;
            const auto written = tracker.packetWrittenAt(p.timestamp);
            EXPECT_LE(*written, p.at) << p.timestamp;
            if (previous) {
                EXPECT_GE(*written, *previous);
            }
            previous = written;
        }
        // Skipped samples never reached the line, so they are not in the log.
        if (c.frequency == 2000) {
            const std::uint32_t step = 10000 / c.frequency;
            EXPECT_FALSE(tracker.packetWrittenAt(packets.back().timestamp - step));
        }
    }
    ASSERT_TRUE(host.send({' '}));
    // The last packet has drained from the line.
    ASSERT_TRUE(eventually([&] { return !tracker.streaming() && tracker.lineIdle(); }));
    const auto newest = tracker.lastPacketWritten();
    ASSERT_TRUE(newest);
    EXPECT_EQ(tracker.packetWrittenAt(newest->timestamp), newest->at);
    EXPECT_FALSE(tracker.packetWrittenAt(newest->timestamp + 1));
}

}  // namespace
