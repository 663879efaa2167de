// Streams from the simulated tracker, decoded by the library: nothing lost at
// 100 Hz or at the line's limit, and RAW readings that the device's own
// calibration record turns back into physical values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "sensor_config.h"
#include "sim_fixture.h"

using namespace Quorvane;
using namespace Quorvane::testing;

namespace {

struct Received {
    std::vector<SensorSample> samples;
    int badPackets = 0;
};

// Reads the stream for `seconds` of wall time.
Received readFor(FenlarkIMU& imu, double seconds) {
    Received r;
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        SensorSample s{};
        try {
            imu.readPacket(&s);
            r.samples.push_back(s);
        } catch (const std::runtime_error& e) {
            if (std::string(e.what()) != "FenlarkIMU: Not enough data") ++r.badPackets;
        }
    }
    return r;
}

TEST(Stream, NoPacketIsLostAt100HzAndAtTheLineLimit) {
    // 46-byte packets; 11 bits a byte at 115200 baud carry 227 of them a second.
    for (int frequency : {100, 220}) {
        SCOPED_TRACE(frequency);
        sim::TrackerSim device(simOptions("STREAM"));
        Connection c(device);
        c.imu->setConfig(sensorConfig(0x3FF, static_cast<uint16_t>(frequency)));
        c.imu->startStreaming();
        const Received r = readFor(*c.imu, 3.0);
        c.imu->stopStreaming(false);

        EXPECT_EQ(r.badPackets, 0);
        EXPECT_EQ(device.skippedSamples(), 0u);
        ASSERT_GT(r.samples.size(), static_cast<size_t>(frequency * 2));
        // The device samples on a fixed grid of floor(k * 10000 / f) ticks:
        // consecutive timestamps are one period apart, never more.
        const uint32_t maxStep = (10000 + frequency - 1) / frequency;
        for (size_t i = 1; i < r.samples.size(); ++i) {
            const uint32_t step = r.samples[i].timestamp - r.samples[i - 1].timestamp;
            ASSERT_GE(step, 10000u / frequency) << "at sample " << i;
            ASSERT_LE(step, maxStep) << "at sample " << i;
        }
        // Every decoded sample carries a gravity-sized specific force.
        for (const SensorSample& s : r.samples) {
            const float g =
                std::sqrt(s.acc[0] * s.acc[0] + s.acc[1] * s.acc[1] + s.acc[2] * s.acc[2]);
            ASSERT_TRUE(g > 2.0f && g < 30.0f) << g;
        }
    }
}

TEST(Stream, RawReadingsCalibrateBackToPhysicalValues) {
    sim::Options o = simOptions("RAW");
    o.motion.kind = sim::Motion::Kind::Still;
    o.motion.initial = {0.9, 0.3, -0.2, 0.25};
    sim::TrackerSim device(o);
    Connection c(device);
    CalibrationData cal;
    c.imu->getCalibration(&cal);
    c.imu->setConfig(sensorConfig(0x3FF, 100, true));
    c.imu->startStreaming();
    const Received r = readFor(*c.imu, 1.0);
    c.imu->stopStreaming(false);
    ASSERT_GT(r.samples.size(), 50u);

    const sim::Quat q = *device.truthAt(r.samples.back().timestamp);
    // Gravity in the sensor frame: R(q) (0, 0, 9.81), the third column of R(q).
    const double gx = 2 * (q.x * q.z + q.y * q.w), gy = 2 * (q.y * q.z - q.x * q.w),
                 gz = 1 - 2 * (q.x * q.x + q.y * q.y);
    const double gravity[3] = {9.81 * gx, 9.81 * gy, 9.81 * gz};
    for (const SensorSample& s : r.samples) {
        // a = diag(Ak) AR (raw - Ab)
        double d[3], a[3];
        for (int i = 0; i < 3; ++i) d[i] = s.acc[i] - cal.Ab[i];
        for (int i = 0; i < 3; ++i)
            a[i] = cal.Ak[i] *
                   (cal.AR[3 * i] * d[0] + cal.AR[3 * i + 1] * d[1] + cal.AR[3 * i + 2] * d[2]);
        for (int i = 0; i < 3; ++i) ASSERT_NEAR(a[i], gravity[i], 0.15) << "axis " << i;
        // omega = GR diag(Gk) (raw - Gb - GK a): at rest only the small bias remains.
        double e[3], w[3];
        for (int i = 0; i < 3; ++i)
            e[i] = s.gyr[i] - cal.Gb[i] -
                   (cal.GK[3 * i] * a[0] + cal.GK[3 * i + 1] * a[1] + cal.GK[3 * i + 2] * a[2]);
        for (int i = 0; i < 3; ++i)
            w[i] = cal.GR[3 * i] * cal.Gk[0] * e[0] + cal.GR[3 * i + 1] * cal.Gk[1] * e[1] +
                   cal.GR[3 * i + 2] * cal.Gk[2] * e[2];
        ASSERT_LT(std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]), 0.03);
        // H = MR diag(Mk) (4096 / divider raw - Mb), divider 2^(3 + 5): a field
        // of the earth's size (tens of microtesla), with the board's distortion.
        double h[3], m[3];
        for (int i = 0; i < 3; ++i) h[i] = 16.0 * s.mag[i] - cal.Mb[i];
        for (int i = 0; i < 3; ++i)
            m[i] = cal.MR[3 * i] * cal.Mk[0] * h[0] + cal.MR[3 * i + 1] * cal.Mk[1] * h[1] +
                   cal.MR[3 * i + 2] * cal.Mk[2] * h[2];
        const double field = std::sqrt(m[0] * m[0] + m[1] * m[1] + m[2] * m[2]);
        ASSERT_TRUE(field > 25 && field < 80) << field;
    }
}

TEST(Stream, SpoiltStreamsGiveOnlySamplesTheDeviceSent) {
    // Wrong ends, lost value bytes and line noise make the reader search for
    // the next start byte among the values. A steady acceleration of 13.65
    // m/s^2 (float 0x415A....) puts 'Z', 'A' into every packet, 4 bytes
    // after a packet start minus one packet: false starts with a right end.
    struct Spoil {
        unsigned wrongEnd, dropByte, garbage;
    };
    const Spoil spoils[] = {{3, 0, 0}, {0, 4, 0}, {0, 0, 3}, {4, 5, 3}};
    for (bool raw : {false, true}) {
        std::uint64_t seed = 0;
        for (const Spoil& spoil : spoils) {
            ++seed;
            SCOPED_TRACE(::testing::Message()
                         << "raw " << raw << " wrong end " << spoil.wrongEnd << " drop "
                         << spoil.dropByte << " garbage " << spoil.garbage << " seed " << seed);
            sim::Options o = simOptions("SPOILT");
            o.faults.wrongEndEvery = spoil.wrongEnd;
            o.faults.dropByteEvery = spoil.dropByte;
            o.faults.garbageEvery = spoil.garbage;
            o.environment.noiseSeed = seed;
            o.motion.kind = sim::Motion::Kind::Scripted;
            sim::MotionSegment pushed;
            pushed.duration = 100;
            pushed.linearAcceleration = {13.65, 0, 0};
            o.motion.script = {pushed};
            sim::TrackerSim device(o);
            Connection c(device);
            c.imu->setConfig(sensorConfig(0x3FF, 100, raw));
            c.imu->startStreaming();
            const Received r = readFor(*c.imu, 1.0);
            c.imu->stopStreaming(false);

            ASSERT_GT(r.samples.size(), 40u);
            for (size_t i = 0; i < r.samples.size(); ++i) {
                const SensorSample& s = r.samples[i];
                // Every timestamp is one the device measured at.
                ASSERT_TRUE(device.truthAt(s.timestamp).has_value())
                    << "sample " << i << " time " << s.timestamp << " temperature " << s.temperature
                    << " gyr " << s.gyr[0];
                if (i > 0) {
                    const uint32_t step = s.timestamp - r.samples[i - 1].timestamp;
                    ASSERT_TRUE(step > 0 && step <= 20000) << "sample " << i;
                }
                if (raw) continue;
                const float g =
                    std::sqrt(s.acc[0] * s.acc[0] + s.acc[1] * s.acc[1] + s.acc[2] * s.acc[2]);
                ASSERT_TRUE(g > 2.0f && g < 30.0f) << "sample " << i << " acc " << g;
                ASSERT_TRUE(s.temperature > 15.0f && s.temperature < 35.0f)
                    << "sample " << i << " temperature " << s.temperature;
                for (float w : s.gyr) ASSERT_LT(std::fabs(w), 35.0f) << "sample " << i;
            }
        }
    }
}

}  // namespace
