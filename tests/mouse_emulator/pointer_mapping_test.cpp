// Where the pointer goes for a yaw and pitch, on one screen at (0, 0) and on
// a primary screen elsewhere on the desktop.
#include "pointer_mapping.h"

#include <gtest/gtest.h>

namespace {

using MouseEmulator::pointerPosition;
using MouseEmulator::ScreenArea;

constexpr float kRadiansPerDegree = 3.14159265358979f / 180;

struct MappingCase {
    float yawDegrees;
    float pitchDegrees;
    int x;
    int y;
};

class PointerMapping : public ::testing::TestWithParam<MappingCase> {};

TEST_P(PointerMapping, FullHdScreenAtTheOrigin) {
    const MappingCase c = GetParam();
    const ScreenArea screen{0, 0, 1919, 1079};
    const auto p = pointerPosition(c.yawDegrees * kRadiansPerDegree,
                                   c.pitchDegrees * kRadiansPerDegree, screen);
    EXPECT_EQ(p.x, c.x);
    EXPECT_EQ(p.y, c.y);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PointerMapping,
    ::testing::Values(MappingCase{180, 0, 960, 540},
                      MappingCase{100, 0, 0, 540},       // left of the range: left edge
                      MappingCase{300, 0, 1920, 540},    // right of it: one past the last column
                      MappingCase{180, 60, 960, 0},      // above: top edge
                      MappingCase{180, -60, 960, 1080},  // below: one past the last row
                      MappingCase{134.9f, 0, 0, 540},
                      MappingCase{135.1f, 0, 2, 540},  // 1920 x 0.1 / 90 = 2.13, truncated
                      MappingCase{170, 17.3f, 746, 332}));

TEST(PointerMappingOnADesktop, LandsOnThePrimaryScreenWhereverItStarts) {
    // Primary screen right of a 1280-wide screen and 200 rows down.
    const ScreenArea primary{1280, 200, 1280 + 1919, 200 + 1079};
    const auto centre = pointerPosition(180 * kRadiansPerDegree, 0, primary);
    EXPECT_EQ(centre.x, 1280 + 960);
    EXPECT_EQ(centre.y, 200 + 540);
    const auto topLeft = pointerPosition(0, 90 * kRadiansPerDegree, primary);
    EXPECT_EQ(topLeft.x, 1280);
    EXPECT_EQ(topLeft.y, 200);
    // A screen left of or above the desktop's origin.
    const ScreenArea negative{-1920, -1080, -1, -1};
    const auto p = pointerPosition(180 * kRadiansPerDegree, 0, negative);
    EXPECT_EQ(p.x, -960);
    EXPECT_EQ(p.y, -540);
}

}  // namespace
