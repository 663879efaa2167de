// Device commands through the public API: refused while the tracker streams
// (their bytes would interleave with the stream), and what a configuration
// write leaves on the device and in the handle.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

#include "tracker_fixture.h"

namespace {

using namespace Quorvane::testing;

const char* const kRefused =
    "fenlark: the tracker is started; stop it before sending device commands";

TEST(DeviceCommands, AreRefusedWhileStartedAndTheStreamGoesOnUndisturbed) {
    sim::TrackerSim device(simOptions("BUSY"));
    WireTap tap(device.devicePath());
    ASSERT_TRUE(tap.connected());
    Handle tracker;
    const SensorConfig config = sensorConfig(0x3FF);
    ASSERT_EQ(openTracker(tracker, &config, tap.path()), 0);
    const std::vector<std::uint8_t> bank0 = device.bankCopy(0);
    fenlarkStart(tracker);
    SensorSample s{};
    ASSERT_TRUE(nextNewSample(tracker, 0, &s));
    tap.take();  // the start

    // One call of each family.
    const struct {
        const char* name;
        std::function<void(VirtualFenlark*)> call;
    } commands[] = {
        {"configuration set", [&](VirtualFenlark* h) { fenlarkSetConfig(h, &config); }},
        {"save", [](VirtualFenlark* h) { fenlarkSaveSettings(h); }},
        {"calibration get",
         [](VirtualFenlark* h) {
             CalibrationData c;
             fenlarkGetCalib(h, &c);
         }},
        {"calibration set",
         [](VirtualFenlark* h) {
             const CalibrationData c{};
             fenlarkSetCalib(h, &c);
         }},
        {"matrix get",
         [](VirtualFenlark* h) {
             float m[9];
             fenlarkGetKg(h, m);
         }},
        {"matrix set",
         [](VirtualFenlark* h) {
             const float m[9] = {2, 0, 0, 0, 2, 0, 0, 0, 2};
             fenlarkSetKm(h, m);
         }},
        {"matrix status get", [](VirtualFenlark* h) { fenlarkGetKaStatus(h); }},
        {"matrix status set", [](VirtualFenlark* h) { fenlarkSetKaStatus(h, 1); }},
    };
    for (const auto& c : commands) {
        SCOPED_TRACE(c.name);
        try {
            c.call(tracker);
            ADD_FAILURE() << "not refused";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), kRefused);
        }
        const uint32_t before = s.timestamp;
        ASSERT_TRUE(nextNewSample(tracker, before, &s)) << "the stream stopped";
        EXPECT_GT(s.timestamp - before, 0u);
        EXPECT_LT(s.timestamp - before, 0x80000000u) << "timestamps went back";
    }
    EXPECT_TRUE(device.streaming());
    EXPECT_TRUE(tap.take().empty()) << "bytes went to the tracker";
    EXPECT_EQ(device.bankCopy(0), bank0);

    // The host-side settings still change while started; they reach the
    // device at stop.
    EXPECT_TRUE(fenlarkBoresight(tracker, 1));
    EXPECT_EQ(fenlarkGetBoresight(tracker), 1);
    EXPECT_TRUE(fenlarkSetJitterStatus(tracker, 1));
    EXPECT_EQ(fenlarkGetJitterStatus(tracker), 1);
    EXPECT_FALSE(fenlarkSetBoresight(tracker, 0));
    EXPECT_EQ(fenlarkGetBoresight(tracker), 0);
    EXPECT_TRUE(fenlarkSetBoresight(tracker, 1));
    EXPECT_TRUE(tap.take().empty()) << "bytes went to the tracker";
    const uint32_t before = s.timestamp;
    EXPECT_TRUE(nextNewSample(tracker, before, &s));
    EXPECT_TRUE(fenlarkStop(tracker));
    EXPECT_EQ(device.bankCopy(1)[0] & 0x18, 0x18);  // boresight and jitter reduction on

    // Stopped, the same commands go through again.
    EXPECT_EQ(fenlarkGetKaStatus(tracker), 0);
    EXPECT_TRUE(fenlarkSetKaStatus(tracker, 1));
    EXPECT_EQ(fenlarkGetKaStatus(tracker), 1);
}

// Fields wider than their wire bits arrive masked; the handle reports what
// the device got, not what was asked.
TEST(DeviceCommands, ConfigurationHeldIsWhatTheDeviceGot) {
    sim::TrackerSim device(simOptions("MASK"));
    Handle tracker;
    ASSERT_EQ(openTracker(tracker, nullptr, device.devicePath()), 0);
    SensorConfig asked = sensorConfig(0x3FF);
    asked.frequency = 3000;
    asked.magDivider = 9;
    fenlarkSetConfig(tracker, &asked);

    SensorConfig held{};
    fenlarkGetConfig(tracker, &held);
    EXPECT_EQ(held.frequency, 3000 & 0x7FF);  // 952
    EXPECT_EQ(int{held.magDivider}, 9 & 7);   // 1
    EXPECT_EQ(held.channels, asked.channels);
    const sim::ConfigBytes onDevice = device.configBytes();
    EXPECT_EQ(onDevice[3] | onDevice[4] << 8, 952);
    EXPECT_EQ(onDevice[5], 1);
}

}  // namespace
