// The configuration records built from a tracker's settings.
#include "tracker_settings.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using GuiCommon::TrackerSettings;

TEST(ConfigurationEncoding, EachEnableIsItsChannelBit) {
    bool TrackerSettings::*const enables[11] = {
        &TrackerSettings::magX, &TrackerSettings::magY, &TrackerSettings::magZ,
        &TrackerSettings::accX, &TrackerSettings::accY, &TrackerSettings::accZ,
        &TrackerSettings::gyrX, &TrackerSettings::gyrY, &TrackerSettings::gyrZ,
        &TrackerSettings::temp, &TrackerSettings::nav};
    for (int bit = 0; bit < 11; ++bit) {
        TrackerSettings s;
        s.*enables[bit] = true;
        EXPECT_EQ(GuiCommon::encodeConfiguration(s).channels, 1 << bit) << "bit " << bit;
    }
}

TEST(ConfigurationEncoding, CarriesDividerFrequencyAndFlagsWithNothingElse) {
    TrackerSettings s;
    s.magX = s.gyrZ = s.nav = true;
    s.magDiv = 5;
    s.freq = 2000;
    s.ascii = false;
    s.autostart = true;
    s.raw = true;
    const SensorConfig c = GuiCommon::encodeConfiguration(s);
    EXPECT_EQ(c.channels, 0x001 | 0x100 | 0x400);
    EXPECT_EQ(c.magDivider, 5);
    EXPECT_EQ(c.frequency, 2000);
    EXPECT_EQ(c.ascii, 0);
    EXPECT_EQ(c.autoStart, 1);
    EXPECT_EQ(c.raw, 1);
    EXPECT_EQ(c.flagsReserved, 0);
    EXPECT_EQ(c.reserved1, 0);
    EXPECT_EQ(c.reserved2[0] | c.reserved2[1] | c.reserved2[2], 0);
}

TEST(ConfigurationEncoding, MotionConfigurationsKeepTheDevicesOtherBits) {
    SensorConfig device{};
    device.channels = 0x7FF;
    device.magDivider = 1;
    device.frequency = 50;
    device.ascii = 1;
    device.autoStart = 1;
    device.flagsReserved = 0x15;
    device.reserved1 = 7;
    device.reserved2[1] = 9;
    const SensorConfig cal = GuiCommon::calibrationConfiguration(device, 4, 400);
    const SensorConfig ori = GuiCommon::orientationConfiguration(device, 4, 400);
    for (const SensorConfig& c : {cal, ori}) {
        EXPECT_EQ(c.channels, 511);
        EXPECT_EQ(c.magDivider, 4);
        EXPECT_EQ(c.frequency, 400);
        EXPECT_EQ(c.ascii, 0);
        EXPECT_EQ(c.autoStart, 1);
        EXPECT_EQ(c.flagsReserved, 0x15);
        EXPECT_EQ(c.reserved1, 7);
        EXPECT_EQ(c.reserved2[1], 9);
    }
    EXPECT_EQ(cal.raw, 1);
    EXPECT_EQ(ori.raw, 0);
}

}  // namespace
