// Stream faults as the host sees them, the unplugged device, and the truth file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <sstream>

#include "stream_host.h"
#include "temp_dir.h"

namespace {

using namespace simtest;
using std::chrono::milliseconds;

const Layout kLayout{0x3FF, false};  // factory layout, 100 Hz

struct Received {
    Bytes bytes;
    std::vector<Packet> packets;
    ReadStats stats;
    std::size_t onGrid = 0;   // packets whose timestamp lies on the first one's 10 ms grid
    std::size_t missing = 0;  // grid slots between first and last without a packet
};

Received streamWith(const sim::Faults& faults, milliseconds duration) {
    sim::Options options;
    options.motion.kind = sim::Motion::Kind::Still;
    options.faults = faults;
    sim::TrackerSim tracker(options);
    HostTerminal host(tracker.devicePath());
    Received r;
    if (!host.raw() || !restartStream(tracker, host, streamConfig(0x3FF, false, 100))) return r;
    r.bytes = receiveFor(host, duration);
    r.packets = decodeStream(r.bytes, kLayout, &r.stats);
    if (r.packets.empty()) return r;
    const std::uint32_t first = r.packets.front().timestamp;
    std::uint32_t last = first;
    for (const Packet& p : r.packets) {
        if ((p.timestamp - first) % 100 != 0) continue;  // a false start after a broken frame
        ++r.onGrid;
        last = p.timestamp;
    }
    r.missing = (last - first) / 100 + 1 - r.onGrid;
    return r;
}

TEST(StreamFaults, GarbageBetweenPacketsIsSkippedWithoutLoss) {
    sim::Faults faults;
    faults.garbageEvery = 3;
    const Received r = streamWith(faults, milliseconds(1500));
    ASSERT_GE(r.packets.size(), 60u);
    EXPECT_EQ(r.stats.badFrames, 0u) << "garbage never holds an 'A'";
    EXPECT_EQ(r.missing, 0u);
    EXPECT_GE(r.stats.skippedBytes, r.packets.size() / 3 - 1);
    EXPECT_LE(r.stats.skippedBytes, 8 * (r.packets.size() / 3 + 1));
}

TEST(StreamFaults, BrokenPacketsCostTheirSamples) {
    struct Case {
        const char* name;
        unsigned sim::Faults::*every;
        unsigned n;
    };
    const Case cases[] = {{"wrong end", &sim::Faults::wrongEndEvery, 4},
                          {"dropped byte", &sim::Faults::dropByteEvery, 5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Faults faults;
        faults.*c.every = c.n;
        const Received r = streamWith(faults, milliseconds(2000));
        ASSERT_GE(r.onGrid, 100u);
        EXPECT_GT(r.stats.badFrames, 0u);
        EXPECT_GE(r.onGrid, r.packets.size() * 97 / 100) << "resynchronised on the next packet";
        const double lost = double(r.missing) / double(r.missing + r.onGrid);
        EXPECT_NEAR(lost, 1.0 / c.n, 0.05);
    }
    // The wrong end byte is visible as such.
    sim::Faults faults;
    faults.wrongEndEvery = 1;
    const Received r = streamWith(faults, milliseconds(300));
    ASSERT_GE(r.bytes.size(), kLayout.size());
    EXPECT_EQ(r.bytes[kLayout.size() - 1], 0x5B);
    EXPECT_TRUE(r.packets.empty());
}

TEST(StreamFaults, PauseSilencesTheStreamWhileTheClockRuns) {
    sim::Faults faults;
    faults.pauseEvery = 20;
    faults.pauseMs = 300;
    const Received r = streamWith(faults, milliseconds(1800));
    ASSERT_GE(r.packets.size(), 40u);
    std::vector<std::size_t> runs{1};
    for (std::size_t i = 1; i < r.packets.size(); ++i) {
        const std::uint32_t dt = r.packets[i].timestamp - r.packets[i - 1].timestamp;
        ASSERT_TRUE(dt == 100 || dt == 3000) << dt;
        if (dt == 3000)
            runs.push_back(1);
        else
            ++runs.back();
    }
    ASSERT_GE(runs.size(), 3u) << "at least two pauses";
    for (std::size_t i = 1; i + 1 < runs.size(); ++i) EXPECT_EQ(runs[i], 20u);
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

TEST(Unplug, AfterItsPacketsTheDeviceDisappears) {
    sim::TrackerSim tracker;
    const std::string path = tracker.devicePath();
    HostTerminal host(path);
    ASSERT_TRUE(host.raw());
    sim::Faults faults;
    faults.unplugAfter = tracker.packetsSent() + 20;
    tracker.setFaults(faults);
    ASSERT_TRUE(eventually([&] { return tracker.unplugged(); }));
    EXPECT_FALSE(exists(path));
    const Bytes rest = receiveFor(host, milliseconds(300));  // ends at the hang-up
    std::uint8_t byte;
    EXPECT_LE(::read(host.fd(), &byte, 1), 0) << "reads fail once unplugged";
    EXPECT_GE(tracker.packetsSent(), 20u);
    // The object stays usable.
    EXPECT_EQ(tracker.bankCopy(0).size(), 222u);
    const auto sent = tracker.packetsSent();
    ::usleep(100000);
    EXPECT_EQ(tracker.packetsSent(), sent) << "no stream after the unplug";
}

TEST(Unplug, OnRequestThePathGoesAway) {
    sim::TrackerSim tracker;
    const std::string path = tracker.devicePath();
    ASSERT_TRUE(exists(path));
    HostTerminal host(path);
    ASSERT_TRUE(host.isOpen());
    tracker.unplug();
    EXPECT_TRUE(tracker.unplugged());
    EXPECT_FALSE(exists(path));
    EXPECT_FALSE(HostTerminal(path).isOpen());
    EXPECT_FALSE(host.send(kIdentify));
}

TEST(Truth, CsvHoldsTheOrientationOfEveryPacketSent) {
    TempDir dir;
    sim::Options options;  // random motion
    options.truthFile = dir.file("truth.csv");
    std::vector<Packet> packets;
    std::vector<sim::Quat> looked;
    {
        sim::TrackerSim tracker(options);
        HostTerminal host(tracker.devicePath());
        ASSERT_TRUE(host.raw());
        ASSERT_TRUE(restartStream(tracker, host, streamConfig(0x7FF, false, 100)));
        packets = receivePackets(host, {0x7FF, false}, 100);
        ASSERT_EQ(packets.size(), 100u);
        for (const Packet& p : packets) {
            const auto q = tracker.truthAt(p.timestamp);
            ASSERT_TRUE(q);
            looked.push_back(*q);
        }
        EXPECT_FALSE(tracker.truthAt(packets.back().timestamp + 50)) << "no packet there";
    }
    std::istringstream csv(readFile(options.truthFile));
    std::string line;
    ASSERT_TRUE(std::getline(csv, line));
    EXPECT_EQ(line, "timestamp,qw,qx,qy,qz");
    std::map<std::uint32_t, std::array<double, 4>> rows;
    while (std::getline(csv, line)) {
        std::istringstream fields(line);
        std::uint32_t ts;
        std::array<double, 4> q;
        char comma;
        ASSERT_TRUE(fields >> ts >> comma >> q[0] >> comma >> q[1] >> comma >> q[2] >> comma >>
                    q[3])
            << line;
        rows[ts] = q;
    }
    double moved = 0;
    for (std::size_t i = 0; i < packets.size(); ++i) {
        const auto row = rows.find(packets[i].timestamp);
        ASSERT_NE(row, rows.end());
        const auto& q = row->second;
        EXPECT_NEAR(q[0], looked[i].w, 1e-7);
        EXPECT_NEAR(q[3], looked[i].z, 1e-7);
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(packets[i].values[10 + k], q[k], 1e-6);
        moved = std::max(moved, angleBetween(fromSim(looked[0]), fromSim(looked[i])));
    }
    EXPECT_GT(moved, 0.01) << "the random motion moves the tracker";
}

}  // namespace
