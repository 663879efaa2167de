// Public records and the library-wide default configuration.
#include <gtest/gtest.h>

#include <cstring>

#include "default_config.h"
#include "fenlark_imu.h"
#include "quorvane.h"

namespace {

TEST(DefaultConfig, IsAllSensorChannelsAt100HzWithAutoStart) {
    const SensorConfig& c = Quorvane::kDefaultConfig;
    EXPECT_EQ(c.channels, 1023);
    EXPECT_EQ(c.magDivider, 3);
    EXPECT_EQ(c.frequency, 100);
    EXPECT_EQ(c.ascii, 0);
    EXPECT_EQ(c.autoStart, 1);
    EXPECT_EQ(c.raw, 0);
    unsigned char wire[6];
    Quorvane::FenlarkIMU::encodeConfig(c, wire);
    const unsigned char expected[6] = {0xFF, 0x03, 0x06, 0x64, 0x00, 0x03};
    EXPECT_EQ(0, std::memcmp(wire, expected, 6));
}

TEST(SensorConfigLayout, FlagBitsSitAtByte8InOrder) {
    // {which flag is set, expected byte 8}
    const struct {
        int flag;
        unsigned char byte8;
    } cases[] = {{0, 0x01}, {1, 0x02}, {2, 0x04}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flag);
        SensorConfig config;
        std::memset(&config, 0, sizeof config);
        if (c.flag == 0) config.ascii = 1;
        if (c.flag == 1) config.autoStart = 1;
        if (c.flag == 2) config.raw = 1;
        unsigned char bytes[sizeof config];
        std::memcpy(bytes, &config, sizeof config);
        EXPECT_EQ(bytes[8], c.byte8);
    }
}

}  // namespace
