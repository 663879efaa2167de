// Boresighting, RAW mode and jitter reduction on a streaming simulated tracker.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <stdexcept>

#include "tracker_fixture.h"
#include "virtual_fenlark.h"

namespace {

using namespace Quorvane::testing;

const sim::Quat kTilted = {0.8, 0.3, -0.4, 0.33};
const sim::Quat kLevel = rotation(70, 0, 0, 1);  // yaw only

// One sample read twice: with the correction and without. The read rule
// hands a caught-up reader the same sample again, so equal timestamps mean
// the same packet.
void sameSampleBothWays(VirtualFenlark* tracker, SensorSample* corrected, SensorSample* plain) {
    for (;;) {
        SensorSample again;
        fenlarkSetBoresight(tracker, 1);
        fenlarkGetData(tracker, corrected);
        fenlarkGetData(tracker, &again);
        fenlarkSetBoresight(tracker, 0);
        fenlarkGetData(tracker, plain);
        if (corrected->timestamp == again.timestamp && again.timestamp == plain->timestamp) {
            fenlarkSetBoresight(tracker, 1);
            return;
        }
    }
}

// Waits until the host's orientation has settled near the pose the tracker
// rests in.
bool settled(VirtualFenlark* tracker, const sim::TrackerSim& device, const sim::Quat& pose) {
    const float target[4] = {static_cast<float>(pose.w), static_cast<float>(pose.x),
                             static_cast<float>(pose.y), static_cast<float>(pose.z)};
    return eventually([&] {
        SensorSample s;
        fenlarkGetData(tracker, &s);
        const auto truth = device.truthAt(s.timestamp);
        return truth && angleBetween(target, *truth) < 0.5 && angleBetween(s.quat, *truth) < 1.0;
    });
}

float norm(const float v[3]) {
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

TEST(Boresight, ModesReadBackAsDefinedOnSimulatedPoses) {
    sim::TrackerSim device(stillAt(kLevel));
    Handle tracker;
    const SensorConfig config = sensorConfig(0x3FF);
    ASSERT_EQ(openTracker(tracker, &config, device.devicePath()), 0);
    fenlarkStart(tracker);
    ASSERT_TRUE(settled(tracker, device, kLevel));
    SensorSample corrected, plain, next;

    {
        SCOPED_TRACE("mode 1, level pose: reads as the identity, vectors unrotated");
        EXPECT_TRUE(fenlarkBoresight(tracker, 1));
        EXPECT_EQ(fenlarkGetBoresight(tracker), 1);
        sameSampleBothWays(tracker, &corrected, &plain);
        EXPECT_LT(angleBetween(corrected.quat, {1, 0, 0, 0}), 1.0);
        EXPECT_EQ(std::memcmp(corrected.acc, plain.acc, sizeof plain.acc), 0);
        EXPECT_EQ(std::memcmp(corrected.mag, plain.mag, sizeof plain.mag), 0);
    }

    fenlarkSetBoresight(tracker, 0);
    device.setMotion(stillAt(kTilted).motion, true);
    ASSERT_TRUE(settled(tracker, device, kTilted));
    {
        SCOPED_TRACE("mode 3: the pose reads as the identity, gravity along z");
        EXPECT_TRUE(fenlarkBoresight(tracker, 3));
        ASSERT_TRUE(nextNewSample(tracker, 0, &next));
        ASSERT_TRUE(nextNewSample(tracker, next.timestamp, &next));
        EXPECT_LT(angleBetween(next.quat, {1, 0, 0, 0}), 1.0);
        EXPECT_GT(std::fabs(next.acc[2]), 0.99f * norm(next.acc));
    }
    {
        SCOPED_TRACE("mode 2: the pose reads as its pure yaw rotation, gravity along z");
        fenlarkSetBoresight(tracker, 0);
        SensorSample reference;
        ASSERT_TRUE(nextNewSample(tracker, 0, &reference));
        float euler[3];
        fenlarkEulerOri(&reference, euler);
        EXPECT_TRUE(fenlarkBoresight(tracker, 2));
        ASSERT_TRUE(nextNewSample(tracker, reference.timestamp, &next));
        const sim::Quat yaw = rotation(euler[0] * 180 / M_PI, 0, 0, 1);
        EXPECT_LT(angleBetween(next.quat, yaw), 1.0);
        EXPECT_GT(std::fabs(next.acc[2]), 0.99f * norm(next.acc));
        EXPECT_GT(angleBetween(next.quat, {1, 0, 0, 0}), 10.0);  // heading kept
    }
    {
        SCOPED_TRACE("mode 0: only enables, the references stay");
        fenlarkSetBoresight(tracker, 0);
        EXPECT_TRUE(fenlarkBoresight(tracker, 0));
        EXPECT_EQ(fenlarkGetBoresight(tracker), 1);
        sameSampleBothWays(tracker, &corrected, &plain);
        float euler[3];
        fenlarkEulerOri(&plain, euler);
        EXPECT_LT(angleBetween(corrected.quat, rotation(euler[0] * 180 / M_PI, 0, 0, 1)), 1.0);
    }
    fenlarkStop(tracker);
    EXPECT_EQ(device.bankCopy(1)[0] & 0x08, 0x08);  // the flag went to the device
}

TEST(Boresight, RawModeBypassesTheCorrection) {
    sim::TrackerSim device(stillAt(kTilted));
    // References on the device, loaded at open: a 30 degree alignment.
    const sim::Quat a = rotation(30, 1, 0, 0);
    const float references[8] = {1, 0, 0, 0, static_cast<float>(a.w), static_cast<float>(a.x),
                                 0, 0};
    std::vector<std::uint8_t> bytes(32);
    std::memcpy(bytes.data(), references, 32);
    device.writeBank(1, 109, bytes);
    device.writeBank(1, 0, {0x08});
    Handle tracker;
    SensorConfig config = sensorConfig(0x3FF, 100, true);
    ASSERT_EQ(openTracker(tracker, &config, device.devicePath()), 0);
    EXPECT_EQ(fenlarkGetBoresight(tracker), 1);

    for (bool raw : {true, false}) {
        SCOPED_TRACE(raw ? "RAW" : "floats");
        config.raw = raw;
        fenlarkSetConfig(tracker, &config);
        fenlarkStart(tracker);
        SensorSample corrected, plain;
        ASSERT_TRUE(nextNewSample(tracker, 0, &plain));
        sameSampleBothWays(tracker, &corrected, &plain);
        if (raw) {
            EXPECT_EQ(std::memcmp(&corrected, &plain, sizeof plain), 0);
        } else {
            // acc rotated by the alignment: y and z mix, x stays.
            const float c = static_cast<float>(a.w * a.w - a.x * a.x);
            const float s = static_cast<float>(2 * a.w * a.x);
            EXPECT_FLOAT_EQ(corrected.acc[0], plain.acc[0]);
            EXPECT_NEAR(corrected.acc[1], c * plain.acc[1] - s * plain.acc[2], 1e-4);
            EXPECT_NEAR(corrected.acc[2], s * plain.acc[1] + c * plain.acc[2], 1e-4);
        }
        fenlarkStop(tracker);
    }
}

// The gain handed to the filter, observed through the tracker object.
TEST(JitterReduction, GainShrinksAtRestAndRecoversInMotion) {
    sim::TrackerSim device(stillAt(kTilted));
    Quorvane::VirtualFenlark tracker(10);
    const SensorConfig config = sensorConfig(0x3FF);
    tracker.open(device.devicePath().c_str(), &config);
    tracker.setJitterStatus(false);
    tracker.start();
    SensorSample s{};
    for (int n = 0; n < 50; ++n)
        ASSERT_TRUE(eventually([&] {
            SensorSample t;
            tracker.getData(&t);
            if (t.timestamp == s.timestamp) return false;
            s = t;
            return true;
        }));
    EXPECT_EQ(tracker.jitterGain(), 1.0);  // off: the filter runs at full gain

    EXPECT_TRUE(tracker.setJitterStatus(true));  // while started: kept until stop
    EXPECT_TRUE(
        eventually([&] { return tracker.jitterGain() == Quorvane::JitterReduction::kMinGain; }));

    sim::Motion turning;
    turning.kind = sim::Motion::Kind::Scripted;
    turning.script = {{5.0, {0.0, 0.0, 1.5}}};
    device.setMotion(turning);
    EXPECT_TRUE(eventually([&] { return tracker.jitterGain() == 1.0; }));
    tracker.stop();
    EXPECT_EQ(device.bankCopy(1)[0] & 0x10, 0x10);  // the flag went to the device at stop
}

TEST(JitterReduction, ParametersReadBackAndTheThirdOutputIsLeftAlone) {
    Handle tracker;
    fenlarkSetJitterParam(tracker, 0.5, 0.01, 0.2);
    double alpha = 0, threshold = 0, third = -7.5;
    fenlarkGetJitterParam(tracker, &alpha, &threshold, &third);
    EXPECT_EQ(alpha, 0.5);
    EXPECT_EQ(threshold, 0.01);
    EXPECT_EQ(third, -7.5);
}

TEST(JitterReduction, NonFiniteParametersAreRefusedAndChangeNothing) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double alpha, threshold, c;
    } cases[] = {{nan, 0.01, 0.2}, {0.5, nan, 0.2},  {0.5, 0.01, nan},
                 {inf, 0.01, 0.2}, {0.5, -inf, 0.2}, {0.5, 0.01, inf}};
    Handle tracker;
    fenlarkSetJitterParam(tracker, 0.9, 0.02, 0.5);
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.alpha << ", " << c.threshold << ", " << c.c);
        EXPECT_THROW(fenlarkSetJitterParam(tracker, c.alpha, c.threshold, c.c),
                     std::invalid_argument);
        double alpha = 0, threshold = 0;
        fenlarkGetJitterParam(tracker, &alpha, &threshold, nullptr);
        EXPECT_EQ(alpha, 0.9);
        EXPECT_EQ(threshold, 0.02);
    }
}

}  // namespace
