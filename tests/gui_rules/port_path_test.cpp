// Port paths of the additional ports the user lists.
#include "port_path.h"

#include <gtest/gtest.h>

namespace {

using GuiCommon::portPath;
using GuiCommon::portPaths;
using Paths = std::vector<std::string>;

TEST(PortPath, DevicePrefixUnlessTheNameIsAPath) {
    EXPECT_EQ(portPath("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(portPath("/dev/pts/3"), "/dev/pts/3");
    EXPECT_EQ(portPath("  ttyACM1\t"), "/dev/ttyACM1");
    EXPECT_EQ(portPath("   "), "");
}

TEST(PortPath, ListSplitsAtCommasAndDropsEmptyParts) {
    EXPECT_EQ(portPaths("ttyUSB0, /dev/pts/3"), (Paths{"/dev/ttyUSB0", "/dev/pts/3"}));
    EXPECT_EQ(portPaths("ttyS0,,ttyS1, ,"), (Paths{"/dev/ttyS0", "/dev/ttyS1"}));
    EXPECT_EQ(portPaths(""), Paths{});
    EXPECT_EQ(portPaths(",,"), Paths{});
}

}  // namespace
