// The simulator as the host sees it: a terminal device at devicePath().
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "host_terminal.h"
#include "identification.h"
#include "temp_dir.h"
#include "tracker_sim.h"

namespace {

using namespace simtest;

// The factory configuration streams from power-up: stop the stream, let the
// line drain and drop what arrived, so only replies follow.
void silence(const sim::TrackerSim& tracker, HostTerminal& host) {
    ASSERT_TRUE(host.send({' '}));
    ASSERT_TRUE(eventually([&] { return !tracker.streaming() && tracker.lineIdle(); }));
    ::tcflush(host.fd(), TCIFLUSH);
}

TEST(Pty, LineIsRawBeforeTheHostConfiguresIt) {
    sim::TrackerSim tracker;
    EXPECT_EQ(tracker.devicePath().rfind("/dev/pts/", 0), 0u) << tracker.devicePath();
    HostTerminal host(tracker.devicePath());
    ASSERT_TRUE(host.isOpen());
    silence(tracker, host);

    termios tio{};
    ASSERT_EQ(::tcgetattr(host.fd(), &tio), 0);
    EXPECT_EQ(tio.c_lflag & (ECHO | ICANON | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tio.c_iflag & (ICRNL | IXON | ISTRIP), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);

    // Bytes a cooked line would translate, swallow or echo, in one write.
    const Bytes payload = {0x0A, 0x0D, 0x11, 0x13, 0x7F, 0x04, 0x0A, 0x00};
    Bytes out = modifyFrame('W', 1, 1, payload);
    out.insert(out.end(), kIdentify.begin(), kIdentify.end());
    ASSERT_TRUE(host.send(out));

    const Bytes id = sim::identificationReply({});
    Bytes expected = {0x00};
    expected.insert(expected.end(), id.begin(), id.end());
    EXPECT_EQ(host.receive(expected.size()), expected);

    const auto bank1 = tracker.bankCopy(1);
    EXPECT_EQ(Bytes(bank1.begin() + 1, bank1.begin() + 9), payload);
    EXPECT_EQ(tracker.commandCount('W'), 1u);
    EXPECT_EQ(tracker.commandCount('I'), 1u);
    EXPECT_EQ(tracker.lastFrame(), kIdentify);
    // An echo of the reply would have come back as stray bytes ('0's of the id
    // would even have started the stream).
    EXPECT_EQ(tracker.ignoredBytes(), 0u);
}

TEST(Pty, HostCanReopenAndFaultsChangeWhileServing) {
    sim::TrackerSim tracker;
    {
        HostTerminal host(tracker.devicePath());
        ASSERT_TRUE(host.raw());
        silence(tracker, host);  // what the stream sent stays in the terminal otherwise
    }
    HostTerminal host(tracker.devicePath());
    ASSERT_TRUE(host.raw());

    sim::Faults faults;
    faults.status = 5;
    faults.replyDelayMs = 30;
    tracker.setFaults(faults);
    EXPECT_EQ(tracker.faults().status, 5);

    // Delayed replies still leave whole and in order.
    Bytes out = readFrame(0, 3, 2);
    out.insert(out.end(), kIdentify.begin(), kIdentify.end());
    ASSERT_TRUE(host.send(out));
    Bytes expected = {0x05, 0x64, 0x00, 0x64};
    const Bytes id = sim::identificationReply({});
    expected.insert(expected.end(), id.begin(), id.end());
    EXPECT_EQ(host.receive(expected.size()), expected);
    ASSERT_TRUE(host.send({'0'}));
    EXPECT_TRUE(eventually([&] { return tracker.streaming(); }));
    EXPECT_EQ(tracker.commandCount(' '), 1u);
    EXPECT_EQ(tracker.commandCount('0'), 1u);
}

// What lets a host flush its input knowing that nothing more is on the way.
TEST(Pty, LineIsIdleOnlyOnceTheLastReplyByteWasWritten) {
    sim::TrackerSim tracker;
    HostTerminal host(tracker.devicePath());
    ASSERT_TRUE(host.raw());
    silence(tracker, host);
    EXPECT_TRUE(tracker.lineIdle());

    sim::Faults late;
    late.replyDelayMs = 150;
    tracker.setFaults(late);
    const auto sentAt = std::chrono::steady_clock::now();
    ASSERT_TRUE(host.send(readFrame(0, 0, 222)));
    ASSERT_TRUE(eventually([&] { return tracker.commandCount('R') == 1; }));
    // The reply cannot be out before its delay has passed since the send.
    const bool idle = tracker.lineIdle();
    if (std::chrono::steady_clock::now() - sentAt < std::chrono::milliseconds(150)) {
        EXPECT_FALSE(idle) << "the delayed reply is still to come";
    }
    ASSERT_TRUE(eventually([&] { return tracker.lineIdle(); }));
    // The reply waited out its delay and 224 bytes of line time (21 ms).
    EXPECT_GE(std::chrono::steady_clock::now() - sentAt, std::chrono::milliseconds(170));
    // Every byte of it has been written to the terminal.
    EXPECT_EQ(host.receive(224).size(), 224u);
}

TEST(Pty, SavedStateIsLoadedAtTheNextStart) {
    TempDir dir;
    sim::Options options;
    options.stateFile = dir.file("tracker.state");
    std::vector<std::uint8_t> bank0, bank1;
    {
        sim::TrackerSim tracker(options);
        EXPECT_TRUE(tracker.streaming());  // factory autoStart
        HostTerminal host(tracker.devicePath());
        ASSERT_TRUE(host.raw());
        silence(tracker, host);
        ASSERT_TRUE(host.send(modifyFrame('C', 0, 2, {0x02})));  // autoStart off
        ASSERT_EQ(host.receive(1), Bytes{0x00});
        const Bytes heading = {0, 0, 0, 0x3F, 0, 0, 0, 0x3F, 0, 0, 0, 0, 0, 0, 0, 0};
        ASSERT_TRUE(host.send(modifyFrame('W', 1, 109, heading)));
        ASSERT_EQ(host.receive(1), Bytes{0x00});
        // The identify reply shows that the save before it has been done.
        Bytes out = {'9'};
        out.insert(out.end(), kIdentify.begin(), kIdentify.end());
        ASSERT_TRUE(host.send(out));
        ASSERT_EQ(host.receive(25).size(), 25u);
        bank0 = tracker.bankCopy(0);
        bank1 = tracker.bankCopy(1);
        EXPECT_EQ(bank0[2], 0x04);
        // Changes after the save are not persisted.
        tracker.writeBank(1, 0, {0xFF});
    }
    sim::TrackerSim restarted(options);
    EXPECT_EQ(restarted.bankCopy(0), bank0);
    EXPECT_EQ(restarted.bankCopy(1), bank1);
    EXPECT_FALSE(restarted.streaming());
    EXPECT_EQ(restarted.configBytes()[2], 0x04);
}

TEST(Pty, FullTransmitFifoDropsBytesInsteadOfBlocking) {
    sim::Options options;
    options.transmitCapacity = 64;
    sim::TrackerSim tracker(options);
    HostTerminal host(tracker.devicePath());
    ASSERT_TRUE(host.raw());

    // 400 kB of identification replies that the host never reads.
    Bytes flood;
    for (int i = 0; i < 16000; ++i) flood.insert(flood.end(), kIdentify.begin(), kIdentify.end());
    ASSERT_TRUE(host.send(flood));
    EXPECT_TRUE(eventually([&] { return tracker.droppedBytes() > 0; }));
    EXPECT_TRUE(eventually([&] { return tracker.commandCount('I') == 16000u; }));
    // The device still takes commands; destruction must not hang either.
    tracker.setConfigBytes({0x07, 0x00, 0x04, 0x32, 0x00, 0x01});
    ASSERT_TRUE(host.send({' '}));
    EXPECT_TRUE(eventually([&] { return !tracker.streaming(); }));
}

// Packets come from the source once per period while the device streams.
class CountingSource : public sim::PacketSource {
  public:
    void appendPacket(const sim::ConfigBytes& config, std::uint32_t deviceClock,
                      std::vector<std::uint8_t>& out) override {
        {
            std::lock_guard lock(mutex_);
            lastConfig_ = config;
        }
        out.push_back('A');
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<std::uint8_t>(deviceClock >> (8 * i)));
        out.push_back('Z');
    }
    sim::ConfigBytes lastConfig() const {
        std::lock_guard lock(mutex_);
        return lastConfig_;
    }

  private:
    mutable std::mutex mutex_;
    sim::ConfigBytes lastConfig_{};
};

TEST(Pty, StreamingCallsThePacketSource) {
    auto source = std::make_shared<CountingSource>();
    sim::Options options;
    options.packetSource = source;
    sim::TrackerSim tracker(options);
    HostTerminal host(tracker.devicePath());
    ASSERT_TRUE(host.raw());
    ASSERT_TRUE(tracker.streaming());

    const Bytes stream = host.receive(3 * 6);
    ASSERT_EQ(stream.size(), 18u);
    std::uint32_t previous = 0;
    for (std::size_t at = 0; at < stream.size(); at += 6) {
        EXPECT_EQ(stream[at], 'A');
        EXPECT_EQ(stream[at + 5], 'Z');
        const std::uint32_t clock = stream[at + 1] | stream[at + 2] << 8 | stream[at + 3] << 16 |
                                    static_cast<std::uint32_t>(stream[at + 4]) << 24;
        if (at > 0) {
            EXPECT_GT(clock, previous);
        }
        previous = clock;
    }
    EXPECT_EQ(source->lastConfig(), tracker.configBytes());
}

}  // namespace
