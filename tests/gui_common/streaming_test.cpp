// The worker's streaming loop against simulated trackers: the signals per
// sample, their values, every sample delivered in order up to the line's
// limit and across the clock's wrap, stop requests and unplugs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "gui_fixture.h"
#include "packet_source.h"

namespace {

using namespace Quorvane::testing;

constexpr int32_t kAllChannels = 0x7FF;  // ten sensor values and the device's orientation

// Float packets in the configured layout whose magnetometer x counts the
// ticks since the device clock's start (exact in a float for 27 minutes), so
// a receiver can tell a lost sample; the other values are fixed and within
// what the library accepts from a tracker.
class CountingSource : public sim::PacketSource {
  public:
    explicit CountingSource(uint32_t clockStart) : clockStart_(clockStart) {}
    void appendPacket(const sim::ConfigBytes& config, uint32_t deviceClock,
                      std::vector<uint8_t>& out) override {
        const int channels = (config[0] | config[1] << 8) & 0x7FF;
        const float ticks = static_cast<float>(deviceClock - clockStart_);
        // mag, acc, gyr, temperature, then orientation w, x, y
        const float values[13] = {ticks, 0, -40, 0, 0, 9.81f, 0, 0, 0, 23.456f, 0.5f, 0.5f, 0.5f};
        out.push_back('A');
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(deviceClock >> (8 * i)));
        for (int i = 0; i < 13; ++i) {
            if (!(channels & (1 << std::min(i, 10)))) continue;
            uint8_t bytes[4];
            std::memcpy(bytes, &values[i], 4);
            out.insert(out.end(), bytes, bytes + 4);
        }
        out.push_back('Z');
    }

  private:
    uint32_t clockStart_;
};

sim::Options countingOptions(uint32_t clockStart = 0) {
    sim::Options o = simOptions("COUNT");
    o.clockStart = clockStart;
    o.packetSource = std::make_shared<CountingSource>(clockStart);
    return o;
}

// A list with the one simulated tracker, current, configured as given.
void streamFrom(SensorArray& array, const sim::TrackerSim& device, const SensorConfig& config) {
    configure(device, config);
    scan(array, {&device});
    ASSERT_EQ(array.sensors().size(), 1u);
}

TEST(StreamingLoop, EachSampleGivesTheSignalsInOrderWithItsValues) {
    sim::TrackerSim device(countingOptions());
    SensorArray array;
    streamFrom(array, device, sensorConfig(kAllChannels, 100));
    SignalLog log(array);
    array.start();
    ASSERT_TRUE(processUntil([&] { return log.temperatures.size() >= 20; }));
    array.stopPolling();
    QCoreApplication::processEvents();

    const std::vector<std::string> order = {"acc", "gyro", "mag", "quat", "euler", "temp"};
    ASSERT_EQ(log.names.size() % order.size(), 0u);
    for (std::size_t i = 0; i < log.names.size(); ++i)
        ASSERT_EQ(log.names[i], order[i % order.size()]) << "signal " << i;
    for (std::size_t i = 0; i < log.mag.size(); ++i) {
        EXPECT_EQ(log.mag[i][2], -40);
        if (i > 0) {
            EXPECT_EQ(log.mag[i][0] - log.mag[i - 1][0], 100);  // every sample
        }
        EXPECT_FLOAT_EQ(log.acc[i][2], 9.81f);
        EXPECT_EQ(log.quat[i][0], 0.5);
        EXPECT_EQ(log.temperatures[i], "23.46");
    }
    EXPECT_TRUE(log.streamEnds.empty());  // stopped on request
    EXPECT_FALSE(array.isPolling());
}

TEST(StreamingLoop, RawTemperatureIsTruncatedAndMarked) {
    sim::TrackerSim device(simOptions("RAW"));
    SensorArray array;
    streamFrom(array, device, sensorConfig(0x3FF, 100, true));
    ASSERT_TRUE(array.currentSensor()->isEnabledRaw());
    SignalLog log(array);
    array.start();
    ASSERT_TRUE(processUntil([&] { return log.temperatures.size() >= 5; }));
    array.stopPolling();
    for (const QString& text : log.temperatures) {
        // RAW readings are whole counts (0.01 degrees): about 2400.
        ASSERT_TRUE(text.endsWith(" (RAW)")) << text.toStdString();
        bool isNumber = false;
        const int counts = text.chopped(6).toInt(&isNumber);
        EXPECT_TRUE(isNumber) << text.toStdString();
        EXPECT_GT(counts, 2000);
    }
}

// At the line's limit and across the device clock's wrap, every sample the
// tracker sends arrives once and in order.
TEST(StreamingLoop, EverySampleArrivesAtTheLineLimitAcrossTheClockWrap) {
    // Nine values (no magnetometer z, so no host orientation) in 42-byte
    // packets: 249 fit the line per second.
    const uint16_t frequency = 240;
    const uint32_t start = 0xFFFFFFFFu - 10000;  // one second before the wrap
    sim::TrackerSim device(countingOptions(start));
    SensorArray array;
    configure(device, sensorConfig(0x3FB, frequency));
    scan(array, {&device});
    ASSERT_EQ(array.sensors().size(), 1u);
    SignalLog log(array);
    array.start();
    ASSERT_TRUE(processUntil([&] { return log.mag.size() >= 480; }));
    array.stopPolling();
    QCoreApplication::processEvents();

    // Ticks step by 41 or 42 (the grid floor(k * 10000 / 240)). The simulator
    // skips samples that do not fit its transmitter; those are not the host's.
    std::size_t gaps = 0;
    for (std::size_t i = 1; i < log.mag.size(); ++i) {
        const double step = log.mag[i][0] - log.mag[i - 1][0];
        ASSERT_GT(step, 0) << "out of order at " << i;
        if (step > 42) ++gaps;
    }
    EXPECT_LE(gaps, device.skippedSamples());
    EXPECT_GT(log.mag.back()[0], 10000);  // past the wrap
}

TEST(StreamingLoop, StopDuringTheOpenReturnsAndNothingStreams) {
    sim::TrackerSim device(simOptions("SLOW"));
    SensorArray array;
    scan(array, {&device});
    ASSERT_EQ(array.sensors().size(), 1u);
    sim::Faults slow;
    slow.replyDelayMs = 15;  // every command takes its time: the open lasts long
    device.setFaults(slow);
    SignalLog log(array);
    for (int round = 0; round < 3; ++round) {
        device.resetCounters();
        array.start();
        // Stop once the open is under way (or has even failed).
        ASSERT_TRUE(eventually([&] { return device.commandCount('I') > 0 || !array.isRunning(); }));
        array.stopPolling();
        EXPECT_FALSE(array.isRunning());
        EXPECT_FALSE(array.isPolling());
    }
    EXPECT_TRUE(eventually([&] { return !device.streaming(); }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(log.streamEnds.empty());
}

TEST(StreamingLoop, UnopenableTrackerEndsTheRunWithItsReason) {
    SensorArray array;
    array.addManualPort("/dev/pts/no-such-tracker");
    SignalLog log(array);
    array.start();
    ASSERT_TRUE(processUntil([&] { return !log.streamEnds.empty(); }));
    EXPECT_EQ(log.streamEnds[0], "could not open /dev/pts/no-such-tracker");
    array.stopPolling();
    EXPECT_FALSE(array.isPolling());
}

// Needs the library to notice the port's hang-up (FENLARK_STREAM_PORT_GONE).
TEST(StreamingLoop, UnplugEndsTheRunAndSaysSo) {
    sim::Options options = simOptions("GONE");
    sim::TrackerSim device(options);
    SensorArray array;
    scan(array, {&device});
    ASSERT_EQ(array.sensors().size(), 1u);
    sim::Faults faults;
    faults.unplugAfter = 150;
    device.setFaults(faults);
    SignalLog log(array);
    array.start();
    ASSERT_TRUE(processUntil([&] { return !log.streamEnds.empty(); }));
    EXPECT_EQ(log.streamEnds[0], "tracker disconnected");
    EXPECT_TRUE(array.wait(30000));
    EXPECT_FALSE(array.isPolling());
    EXPECT_GT(log.acc.size(), 0u);
    array.stopPolling();
}

}  // namespace
