// Samples through fenlarkGetData while the tracker streams: the ring's read
// rules, where the quaternion comes from, and how close the host's
// orientation is to the simulator's truth.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "tracker_fixture.h"

namespace {

using namespace Quorvane::testing;
using std::chrono::milliseconds;

const sim::Quat kTilted = {0.8, 0.3, -0.4, 0.33};  // about 75 degrees; normalised by the simulator

// Reads `count` samples back to back.
std::vector<uint32_t> burst(VirtualFenlark* tracker, int count) {
    std::vector<uint32_t> timestamps;
    for (int i = 0; i < count; ++i) {
        SensorSample s;
        fenlarkGetData(tracker, &s);
        timestamps.push_back(s.timestamp);
    }
    return timestamps;
}

// Returns once `count` more packets have been written by the simulator.
bool waitForPackets(const sim::TrackerSim& device, uint32_t count, uint32_t step) {
    const auto before = device.lastPacketWritten();
    std::optional<uint32_t> first;
    return eventually([&] {
        const auto now = device.lastPacketWritten();
        if (!now || (before && now->timestamp == before->timestamp)) return false;
        if (!first) first = now->timestamp;
        return now->timestamp - *first >= (count - 1) * step;
    });
}

TEST(Ring, ReaderThatFellBehindGetsTheNewestSamplesTheRingHolds) {
    // Asked length, slots it gets.
    const struct { uint16_t asked, slots; } cases[] = {{0, 2}, {1, 2}, {5, 5}};
    const uint32_t step = 500;  // 20 Hz: quiet gaps between packets
    sim::TrackerSim device(simOptions("RING"));
    const SensorConfig config = sensorConfig(0x3FF, 20);
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "length " << c.asked);
        Handle tracker(c.asked);
        ASSERT_EQ(openTracker(tracker, &config, device.devicePath()), 0);
        fenlarkStart(tracker);
        bool checked = false;
        // The burst must fall between two packets, with the newest one taken
        // in by the library; otherwise it is tried again.
        for (int attempt = 0; attempt < 5 && !checked; ++attempt) {
            ASSERT_TRUE(waitForPackets(device, c.slots + 1, step));
            std::this_thread::sleep_for(milliseconds(15));
            const auto newest = device.lastPacketWritten();
            const std::vector<uint32_t> got = burst(tracker, c.slots + 2);
            if (device.lastPacketWritten()->timestamp != newest->timestamp ||
                got.back() != newest->timestamp)
                continue;
            checked = true;
            std::vector<uint32_t> expected;
            for (int i = c.slots - 1; i >= 0; --i) expected.push_back(newest->timestamp - i * step);
            expected.push_back(newest->timestamp);
            expected.push_back(newest->timestamp);
            EXPECT_EQ(got, expected);
        }
        EXPECT_TRUE(checked) << "no quiet moment between packets";
        fenlarkStop(tracker);
    }
}

TEST(Ring, RestartBeginsWithTheInitialSampleAndTheFirstNewPacket) {
    sim::TrackerSim device(simOptions("RING"));
    Handle tracker(50);
    const SensorConfig config = sensorConfig(0x3FF, 10);
    ASSERT_EQ(openTracker(tracker, &config, device.devicePath()), 0);
    fenlarkStart(tracker);
    SensorSample s{};
    ASSERT_TRUE(nextNewSample(tracker, 0, &s));
    ASSERT_TRUE(nextNewSample(tracker, s.timestamp, &s));
    fenlarkStop(tracker);

    // Stopped: the newest sample of the period, again and again.
    SensorSample last;
    fenlarkGetData(tracker, &last);
    for (int i = 0; i < 3; ++i) {
        SensorSample again;
        fenlarkGetData(tracker, &again);
        EXPECT_EQ(std::memcmp(&again, &last, sizeof last), 0);
    }
    EXPECT_GE(last.timestamp, s.timestamp);

    const auto startedAt = std::chrono::steady_clock::now();
    fenlarkStart(tracker);
    SensorSample first;
    fenlarkGetData(tracker, &first);
    const auto firstReadDone = std::chrono::steady_clock::now();
    SensorSample fresh;
    ASSERT_TRUE(nextNewSample(tracker, first.timestamp, &fresh));
    const auto freshWritten = device.packetWrittenAt(fresh.timestamp);
    ASSERT_TRUE(freshWritten);
    // Nothing of the new period existed before its first packet was written.
    if (*freshWritten > firstReadDone) {
        EXPECT_EQ(first.timestamp, 0u);
        EXPECT_EQ(first.quat[0], 1.0f);
        EXPECT_EQ(first.acc[2], 0.0f);
    }
    // The first sample after the initial one is the period's first packet;
    // none of the old period comes back.
    EXPECT_GT(fresh.timestamp, last.timestamp);
    const auto before = device.packetWrittenAt(fresh.timestamp - 1000);
    EXPECT_TRUE(!before || *before < startedAt);
}

// Where the quaternion comes from, by channel mask.
TEST(QuaternionSource, FollowsTheChannelMask) {
    enum Source { Filter, Device, Identity };
    const struct {
        int32_t channels;
        Source source;
    } cases[] = {{0x3FF, Filter}, {0x7FF, Device}, {0x1FF, Filter}, {0x0FF, Identity}};
    sim::TrackerSim device(stillAt(kTilted));
    Handle tracker;
    SensorConfig config = sensorConfig(0x3FF);
    ASSERT_EQ(openTracker(tracker, &config, device.devicePath()), 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << "channels 0x" << c.channels);
        config.channels = c.channels;
        fenlarkSetConfig(tracker, &config);
        fenlarkStart(tracker);
        SensorSample s{};
        double lastError = 180;
        for (int n = 0; n < 150; ++n) {
            ASSERT_TRUE(nextNewSample(tracker, s.timestamp, &s));
            const auto truth = device.truthAt(s.timestamp);
            ASSERT_TRUE(truth);
            if (c.source == Device) {
                // w, x, y as sent, each within float rounding of the truth.
                EXPECT_NEAR(s.quat[0], truth->w, 1e-6);
                EXPECT_NEAR(s.quat[1], truth->x, 1e-6);
                EXPECT_NEAR(s.quat[2], truth->y, 1e-6);
            } else if (c.source == Identity) {
                const float identity[4] = {1, 0, 0, 0};
                EXPECT_EQ(std::memcmp(s.quat, identity, sizeof identity), 0);
            }
            lastError = angleBetween(s.quat, *truth);
        }
        // The filter has settled near the true pose, far from the identity.
        if (c.source == Filter) {
            EXPECT_LT(lastError, 10.0);
        }
        fenlarkStop(tracker);
    }
}

// The host's orientation against the truth. A wrong convention (the inverse
// rotation, or another frame) is off by tens of degrees for these poses.
TEST(HostOrientation, StaysNearTheTruthStillAndMoving) {
    sim::Motion moving;
    moving.kind = sim::Motion::Kind::Scripted;
    moving.initial = kTilted;
    moving.script = {{2.0, {0.5, 0.2, -0.3}}, {2.0, {-0.3, 0.4, 0.6}}, {1.0, {0, 0, 0}}};
    const struct {
        const char* name;
        sim::Motion motion;
        int profile;   // host filter: standard or robust
        double bound;  // degrees
    } cases[] = {{"still", stillAt(kTilted).motion, 0, 5.0},
                 {"moving", moving, 0, 15.0},
                 {"still, robust filter", stillAt(kTilted).motion, 1, 5.0},
                 {"moving, robust filter", moving, 1, 15.0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Options options = stillAt(kTilted, "TRUE");
        options.motion = c.motion;
        sim::TrackerSim device(options);
        Handle tracker;
        ASSERT_TRUE(fenlarkSetFilterProfile(tracker, c.profile));
        EXPECT_EQ(fenlarkGetFilterProfile(tracker), c.profile);
        const SensorConfig config = sensorConfig(0x3FF);
        ASSERT_EQ(openTracker(tracker, &config, device.devicePath()), 0);
        fenlarkStart(tracker);
        SensorSample s{};
        double worst = 0;
        // About 2 s to settle, then 5 s compared.
        for (int n = 0; n < 700; ++n) {
            ASSERT_TRUE(nextNewSample(tracker, s.timestamp, &s));
            if (n < 200) continue;
            const auto truth = device.truthAt(s.timestamp);
            ASSERT_TRUE(truth);
            worst = std::max(worst, angleBetween(s.quat, *truth));
        }
        EXPECT_LT(worst, c.bound);
        std::printf("%s: worst %.2f deg\n", c.name, worst);
        fenlarkStop(tracker);
    }
}

// A magnet fixed under the board on the sensor's z axis. While the tracker
// lies level its field only adds to the vertical, so both filters start with
// the right heading. Then the tracker turns and the magnet turns with it: the
// standard filter follows the distorted field and its heading goes wrong by
// tens of degrees, while the robust filter sees the field's norm and dip
// swing, rejects it and holds the heading on the gyroscope.
TEST(HostOrientation, RobustProfileRidesOutAMagnetFixedToTheBoard) {
    sim::Options options = stillAt({1, 0, 0, 0}, "MAGNET");
    options.environment.hardIron = {0, 0, 30};  // uT, sensor frame
    // A stalled simulator then catches up instead of skipping samples, so a
    // loaded machine leaves the filters no gaps to integrate the gyroscope over.
    options.transmitFifo = 1024;
    struct Run {
        int profile;
        double bound;  // RMS error, degrees
        bool above;    // the error must exceed the bound instead
    };
    const Run runs[] = {{0, 15.0, true}, {1, 4.0, false}};
    // Both profiles at once on identical trackers: the same motion and noise.
    sim::TrackerSim devices[] = {sim::TrackerSim(options), sim::TrackerSim(options)};
    Handle trackers[2];
    const SensorConfig config = sensorConfig(0x3FF);
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(fenlarkSetFilterProfile(trackers[i], runs[i].profile));
        ASSERT_EQ(openTracker(trackers[i], &config, devices[i].devicePath()), 0);
        fenlarkStart(trackers[i]);
    }
    // A second level and still: both filters have started.
    SensorSample last[2] = {};
    for (int n = 0; n < 100; ++n)
        for (int i = 0; i < 2; ++i)
            ASSERT_TRUE(nextNewSample(trackers[i], last[i].timestamp, &last[i]));
    sim::Motion turning;
    turning.kind = sim::Motion::Kind::Random;
    turning.seed = 1;
    for (sim::TrackerSim& device : devices) device.setMotion(turning);

    // Rests, slow and fast turns and pushes: 3 s for the magnet to turn
    // away from the vertical, then 8 s compared with the truth.
    double squares[2] = {0, 0};
    int counted[2] = {0, 0};
    for (int n = 0; n < 1100; ++n) {
        for (int i = 0; i < 2; ++i) {
            ASSERT_TRUE(nextNewSample(trackers[i], last[i].timestamp, &last[i]));
            if (n < 300) continue;
            const auto truth = devices[i].truthAt(last[i].timestamp);
            ASSERT_TRUE(truth);
            const double error = angleBetween(last[i].quat, *truth);
            squares[i] += error * error;
            ++counted[i];
        }
    }
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(::testing::Message() << "profile " << runs[i].profile);
        const double rms = std::sqrt(squares[i] / counted[i]);
        std::printf("profile %d, magnet on the board: RMS error %.2f deg\n", runs[i].profile, rms);
        if (runs[i].above) {
            EXPECT_GT(rms, runs[i].bound) << "the magnet no longer misleads the standard filter";
        } else {
            EXPECT_LT(rms, runs[i].bound);
        }
    }
}

TEST(HostOrientation, UnknownFilterProfileIsRefused) {
    Handle tracker;
    EXPECT_EQ(fenlarkGetFilterProfile(tracker), 0);
    for (int profile : {-1, 2})
        EXPECT_THROW(fenlarkSetFilterProfile(tracker, profile), std::invalid_argument);
    EXPECT_EQ(fenlarkGetFilterProfile(tracker), 0);
}

}  // namespace
