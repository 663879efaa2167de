// Telling real packets from false starts: the value and clock checks on
// their own, and readPacket over corrupted streams, where no sample may
// reach the caller that the device did not send whole, and no real sample
// may be refused.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "fake_io.h"
#include "fenlark_imu.h"
#include "packet_decoder.h"
#include "sensor_config.h"

using namespace Quorvane;
using Quorvane::testing::Bytes;
using Quorvane::testing::FakeIO;
using Quorvane::testing::sensorConfig;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// One packet of `config` from the readings in channel-bit order: ten sensor
// values, then three orientation elements (only the set channels are sent).
Bytes encode(const SensorConfig& config, uint32_t timestamp, const float (&reading)[13]) {
    Bytes b{'A'};
    const auto put = [&b](const void* p, size_t n) {
        const auto* c = static_cast<const unsigned char*>(p);
        b.insert(b.end(), c, c + n);
    };
    put(&timestamp, 4);
    for (int i = 0; i < 13; ++i) {
        const bool sent = i < 10 ? (config.channels >> i) & 1 : (config.channels >> 10) & 1;
        if (!sent) continue;
        if (config.raw) {
            const auto v = static_cast<int16_t>(reading[i]);
            put(&v, 2);
        } else {
            put(&reading[i], 4);
        }
    }
    b.push_back('Z');
    return b;
}

TEST(PacketValues, RealExtremesPassAndImpossibleValuesFail) {
    const SensorConfig all = sensorConfig(0x7FF);
    // mag x y z, acc x y z, gyr x y z, temperature, orientation w x y
    const float rest[13] = {22, -3, -41, 0.1f, -0.2f, 9.81f, 0.001f, 0, -0.002f, 24, 1, 0, 0};
    const struct {
        const char* what;
        int index;
        float value;
        bool plausible;
    } cases[] = {
        {"at rest", 0, 22, true},
        {"4000 deg/s, beyond a 2000 deg/s gyroscope's range", 8, -69.8f, true},
        {"16 g shock", 4, 157, true},
        {"magnet on the case, field in nT", 1, 9.5e5f, true},
        {"exact zero", 6, 0, true},
        {"cold start", 9, -40, true},
        {"orientation element at its bound", 11, -1, true},
        {"NaN", 3, kNaN, false},
        {"infinity", 0, -kInf, false},
        {"temperature 1.5e32", 9, 1.5e32f, false},
        {"gyroscope 4e36", 7, 4e36f, false},
        {"temperature below absolute zero", 9, -300, false},
        {"denormal", 5, 1e-40f, false},
        {"far below any resolution", 2, -3e-25f, false},
        {"orientation element 12", 12, 12, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        float reading[13];
        std::memcpy(reading, rest, sizeof reading);
        reading[c.index] = c.value;
        const Bytes p = encode(all, 1, reading);
        EXPECT_EQ(plausibleValues(p.data(), packetLayout(all), all.channels), c.plausible);
        // A channel that is not sent cannot spoil the packet.
        SensorConfig without = all;
        without.channels = c.index < 10 ? all.channels & ~(1 << c.index) : 0x3FF;
        const Bytes q = encode(without, 1, reading);
        EXPECT_TRUE(plausibleValues(q.data(), packetLayout(without), without.channels));
    }
    // RAW readings are 16-bit counts: every one of them is possible.
    const SensorConfig raw = sensorConfig(0x7FF, 100, true);
    const float extremes[13] = {-32768, 32767, 0, -1, 1, 32767, -32768, 0, 5, 2400, 16384, 0, 0};
    const Bytes r = encode(raw, 1, extremes);
    EXPECT_TRUE(plausibleValues(r.data(), packetLayout(raw), raw.channels));
}

TEST(PacketClock, FollowsForwardWithinTwoSecondsAcrossTheWrap) {
    const struct {
        uint32_t previous, next;
        bool follows;
    } cases[] = {
        {1000, 1100, true},         {1000, 1001, true},
        {1000, 21000, true},        {1000, 21001, false},
        {1000, 1000, false},        {1000, 900, false},
        {0xFFFFFFC0u, 0x24, true},  {0xFFFFFFC0u, 0xFFFFFF00u, false},
        {0x24, 0xFFFFFFC0u, false}, {0, 0x41414141u, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(timestampFollows(c.previous, c.next), c.follows) << c.previous << " " << c.next;
}

void noSleep(int) {}

// A connected protocol object on a scripted port, without wall-clock pauses.
class Screen : public ::testing::Test {
  protected:
    void SetUp() override {
        setSleepFunction(noSleep);
        io.open("/dev/fake", 115200);
        io.responder = [this](const Bytes& frame) {
            if (frame.size() == 2 && frame[1] == 'I')
                io.feed(std::string("\0I", 2) + "Fenlark v1.0 #SCREEN\r\n    ");
            else if (frame.size() > 1)
                io.feed(Bytes{0x00});
        };
        imu = std::make_unique<FenlarkIMU>(&io);
    }
    void TearDown() override {
        imu.reset();
        setSleepFunction(nullptr);
    }

    // Sets the configuration and starts a stream with nothing received yet.
    void stream(const SensorConfig& config) {
        imu->setConfig(config);
        imu->startStreaming();
        io.incoming.clear();
    }

    // Reads until the fed bytes are used up; returns the samples.
    std::vector<SensorSample> readAll() {
        std::vector<SensorSample> out;
        for (;;) {
            SensorSample s{};
            try {
                imu->readPacket(&s);
                out.push_back(s);
            } catch (const std::runtime_error& e) {
                if (std::string(e.what()) == "FenlarkIMU: Not enough data" && io.incoming.empty())
                    return out;
            }
        }
    }

    FakeIO io;
    std::unique_ptr<FenlarkIMU> imu;
};

// Readings of a tracker that is turned about fast and slowly: gravity-sized
// acceleration, whose floats hold 'A' bytes (9.81 is 0x411CF5C3); field
// values around 13.6, whose floats hold 'Z' bytes (0x415A....); rates up to
// 30 rad/s. RAW readings are counts over the whole 16-bit range.
struct Tracker {
    explicit Tracker(unsigned seed) : rng(seed) {}

    void read(bool raw, float (&out)[13]) {
        std::normal_distribution<float> noise(0, 1);
        std::uniform_real_distribution<float> unit(-1, 1);
        if (raw) {
            std::uniform_int_distribution<int> counts(-32768, 32767);
            for (float& v : out) v = static_cast<float>(counts(rng));
            return;
        }
        for (int i = 0; i < 3; ++i) out[i] = 13.6f + 0.05f * noise(rng);
        out[3] = 0.3f * noise(rng);
        out[4] = -0.2f + 0.3f * noise(rng);
        out[5] = 9.81f + 0.02f * noise(rng);
        for (int i = 6; i < 9; ++i) out[i] = 30 * unit(rng);
        out[9] = 25 + noise(rng);
        const float q[3] = {unit(rng), unit(rng), unit(rng)};
        const float n = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + 1);
        for (int i = 0; i < 3; ++i) out[10 + i] = q[i] / n;
    }

    std::mt19937 rng;
};

TEST_F(Screen, CorruptedStreamsDeliverOnlyWholePacketsAndEveryOneOfThem) {
    const SensorConfig configs[] = {sensorConfig(0x3FF),           sensorConfig(0x7FF),
                                    sensorConfig(0x007),           sensorConfig(0x1C0),
                                    sensorConfig(0x200),           sensorConfig(0x3FF, 100, true),
                                    sensorConfig(0x7FF, 220, true)};
    uint64_t rejectedTotal = 0;
    for (const SensorConfig& config : configs) {
        for (unsigned seed = 1; seed <= 40; ++seed) {
            SCOPED_TRACE(::testing::Message()
                         << "channels 0x" << std::hex << config.channels << std::dec << " raw "
                         << int(config.raw) << " seed " << seed);
            Tracker tracker(seed);
            std::mt19937 faults(seed * 7919u);
            std::uniform_int_distribution<int> percent(0, 99);
            std::uniform_int_distribution<int> anyByte(0, 255);
            // Some streams begin just before the clock wraps.
            uint32_t clock = seed % 4 == 0 ? 0xFFFFFFFFu - 30000 : faults();
            const uint32_t period = 10000 / config.frequency;

            struct Sent {
                uint32_t timestamp;
                Bytes packet;
                bool whole;
            };
            std::vector<Sent> sent;
            Bytes wire;
            for (int n = 0; n < 600; ++n) {
                clock += period * (percent(faults) < 5 ? 3 : 1);  // now and then samples skipped
                float reading[13];
                tracker.read(config.raw, reading);
                Bytes p = encode(config, clock, reading);
                const int fault = percent(faults);
                if (fault < 8) {
                    p.back() = 0x5B;  // wrong end
                } else if (fault < 16 && p.size() > 6) {
                    p.erase(p.begin() + 5 + faults() % (p.size() - 6));  // a value byte lost
                }
                sent.push_back({clock, p, fault >= 16});
                wire.insert(wire.end(), p.begin(), p.end());
                if (percent(faults) < 8) {
                    // Line noise, start and end bytes included.
                    for (int g = faults() % 9; g > 0; --g) {
                        const int pick = percent(faults);
                        wire.push_back(pick < 20 ? 'A' : pick < 40 ? 'Z' : anyByte(faults));
                    }
                }
            }
            stream(config);
            const uint64_t rejectedBefore = imu->rejectedPackets();
            io.chunk = 1 + static_cast<int>(faults() % 64);
            io.feed(wire);
            const std::vector<SensorSample> got = readAll();
            rejectedTotal += imu->rejectedPackets() - rejectedBefore;

            // The samples are the packets that arrived whole, in order and
            // unchanged, from one of the first few on (a stream that begins
            // out of step takes a few packets to find it), none left out.
            // One exception: a RAW packet that lost a value byte and is
            // followed by noise that ends in 'Z' has a right frame, its own
            // timestamp and values that are all possible: nothing tells it
            // apart. In float mode its values are out of step and refused.
            ASSERT_FALSE(got.empty());
            const PacketLayout layout = packetLayout(config);
            size_t next = 0;
            size_t wholeSkipped = 0;
            for (size_t i = 0; i < got.size(); ++i) {
                const SensorSample& s = got[i];
                while (next < sent.size() && sent[next].timestamp != s.timestamp) {
                    wholeSkipped += sent[next].whole;
                    ++next;
                }
                ASSERT_LT(next, sent.size())
                    << "sample " << i << " the device never sent: time " << s.timestamp << " acc "
                    << s.acc[0] << " gyr " << s.gyr[0] << " temperature " << s.temperature;
                if (i == 0) {
                    EXPECT_LE(wholeSkipped, 4u) << "found the step late";
                    wholeSkipped = 0;
                }
                EXPECT_EQ(wholeSkipped, 0u) << "whole packets lost before sample " << i;
                wholeSkipped = 0;
                if (!sent[next].whole) {
                    EXPECT_TRUE(config.raw) << "a damaged packet came out, sample " << i;
                } else {
                    SensorSample expected{};
                    decodePacket(sent[next].packet.data(), layout, config.channels, &expected);
                    ASSERT_EQ(std::memcmp(&s, &expected, sizeof s), 0) << "sample " << i;
                }
                ++next;
            }
            for (; next < sent.size(); ++next) EXPECT_FALSE(sent[next].whole) << "lost at the end";
        }
    }
    // The screen had work to do: false starts with a proper end byte came up.
    EXPECT_GT(rejectedTotal, 0u);
}

TEST_F(Screen, CleanStreamsAtTheLimitsLoseNothing) {
    const struct {
        const char* what;
        SensorConfig config;
        uint32_t start;
        uint32_t step;
        float gyro;
        float field;
    } cases[] = {
        {"spinning at 2000 deg/s", sensorConfig(0x3FF), 1000, 100, 34.9f, 48},
        {"strong field", sensorConfig(0x3FF), 1000, 100, 0.01f, 2.5e4f},
        {"clock wrap", sensorConfig(0x7FF), 0xFFFFFFFFu - 1000, 100, -20, 48},
        {"1 Hz", sensorConfig(0x3FF, 1), 5, 10000, 1, 48},
        {"2047 Hz", sensorConfig(0x3FF, 2047), 0, 4, 1, 48},
        {"RAW at full scale", sensorConfig(0x3FF, 100, true), 77, 100, 32767, -32768},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        stream(c.config);
        uint32_t clock = c.start;
        for (int n = 0; n < 200; ++n, clock += c.step) {
            const float sign = n % 2 ? -1.0f : 1.0f;
            const float g = sign * c.gyro, m = sign * c.field;
            const float reading[13] = {m, m, m, 0, 0, 9.81f, g, g, g, 30, 0.5f, 0.5f, 0.5f};
            io.feed(encode(c.config, clock, reading));
        }
        const uint64_t rejectedBefore = imu->rejectedPackets();
        const std::vector<SensorSample> got = readAll();
        ASSERT_EQ(got.size(), 200u);
        EXPECT_EQ(got.back().timestamp, c.start + 199 * c.step);
        EXPECT_EQ(imu->rejectedPackets(), rejectedBefore);
    }
}

TEST_F(Screen, FalseStartsAreCountedAndTheStreamGoesOn) {
    const SensorConfig config = sensorConfig(0x3FF);
    stream(config);
    // No 'A' or 'Z' in these values: each false start below is one packet.
    const float rest[13] = {40, 5, -40, 0, 0, -9.81f, 0, 0, 0, 35, 0, 0, 0};
    io.feed(encode(config, 100, rest));
    // Framed right, but the values are floats read out of step.
    float wild[13];
    std::memcpy(wild, rest, sizeof wild);
    wild[9] = 1.5e32f;
    wild[7] = 4e36f;
    io.feed(encode(config, 200, wild));
    // Real values, but a timestamp that is a float's bit pattern.
    io.feed(encode(config, 0x411CF5C3u, rest));
    for (uint32_t t = 300; t <= 500; t += 100) io.feed(encode(config, t, rest));

    const std::vector<SensorSample> got = readAll();
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].timestamp, 100u);
    EXPECT_EQ(got[1].timestamp, 300u);
    EXPECT_EQ(got.back().timestamp, 500u);
    EXPECT_EQ(imu->rejectedPackets(), 2u);
}

TEST_F(Screen, ClockThatJumpsIsFollowedAtOnce) {
    // A pause longer than the clock step taken as continuity, or a device
    // that restarted its clock: the packets after the jump confirm it.
    const SensorConfig config = sensorConfig(0x3FF);
    stream(config);
    const float rest[13] = {13.6f, 13.6f, 13.6f, 0, 0, 9.81f, 0, 0, 0, 25, 0, 0, 0};
    for (uint32_t t = 100; t <= 1000; t += 100) io.feed(encode(config, t, rest));
    for (uint32_t t = 500000; t <= 501000; t += 100) io.feed(encode(config, t, rest));
    for (uint32_t t = 5; t <= 505; t += 100) io.feed(encode(config, t, rest));
    const std::vector<SensorSample> got = readAll();
    ASSERT_EQ(got.size(), 10u + 11u + 6u);
    EXPECT_EQ(got[9].timestamp, 1000u);
    EXPECT_EQ(got[10].timestamp, 500000u);
    EXPECT_EQ(got[21].timestamp, 5u);
    EXPECT_EQ(got.back().timestamp, 505u);
    EXPECT_EQ(imu->rejectedPackets(), 0u);
}

}  // namespace
