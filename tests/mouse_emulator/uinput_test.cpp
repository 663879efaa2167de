// The virtual pointer's records and events, and, where /dev/uinput can be
// opened, the device itself.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "uinput_events.h"
#include "uinput_pointer.h"

namespace {

using namespace MouseEmulator;

TEST(VirtualPointerEvents, AbsoluteAxesThenASyncRelativeToTheDesktopAndClamped) {
    // Two screens side by side, the left one starting at x -1280.
    const ScreenArea desktop{-1280, 0, 1919, 1079};
    struct Case {
        PointerPosition at;
        int x, y;
    };
    const Case cases[] = {
        {{0, 0}, 1280, 0},           // the desktop's origin is the axes' 1280
        {{-1280, 1079}, 0, 1079},    // bottom left corner
        {{1920, 1080}, 3199, 1079},  // one past the edge: the last column and row
        {{-5000, -5}, 0, 0},
    };
    for (const Case& c : cases) {
        const auto events = pointerMoveEvents(c.at, desktop);
        EXPECT_EQ(events[0].type, EV_ABS);
        EXPECT_EQ(events[0].code, ABS_X);
        EXPECT_EQ(events[0].value, c.x) << c.at.x;
        EXPECT_EQ(events[1].type, EV_ABS);
        EXPECT_EQ(events[1].code, ABS_Y);
        EXPECT_EQ(events[1].value, c.y) << c.at.y;
        EXPECT_EQ(events[2].type, EV_SYN);
        EXPECT_EQ(events[2].code, SYN_REPORT);
        EXPECT_EQ(events[2].value, 0);
    }
}

TEST(VirtualPointerEvents, AxesSpanTheDesktopAndTheDeviceIsNamed) {
    const auto axes = virtualPointerAxes({-1280, -100, 1919, 1079});
    EXPECT_EQ(axes[0].code, ABS_X);
    EXPECT_EQ(axes[0].absinfo.minimum, 0);
    EXPECT_EQ(axes[0].absinfo.maximum, 3199);
    EXPECT_EQ(axes[1].code, ABS_Y);
    EXPECT_EQ(axes[1].absinfo.minimum, 0);
    EXPECT_EQ(axes[1].absinfo.maximum, 1179);
    const uinput_setup setup = virtualPointerSetup();
    EXPECT_STREQ(setup.name, kVirtualPointerName);
    EXPECT_EQ(setup.id.bustype, BUS_VIRTUAL);
}

TEST(VirtualPointerDevice, AppearsUnderItsNameAndTakesMoves) {
    std::string error;
    auto device = UinputPointer::create({0, 0, 1919, 1079}, &error);
    if (!device) GTEST_SKIP() << "no virtual pointer here: " << error;
    ASSERT_FALSE(device->systemName().empty());
    std::ifstream nameFile("/sys/devices/virtual/input/" + device->systemName() + "/name");
    std::string name;
    std::getline(nameFile, name);
    EXPECT_EQ(name, kVirtualPointerName);
    EXPECT_TRUE(device->move({960, 540}));
}

}  // namespace
