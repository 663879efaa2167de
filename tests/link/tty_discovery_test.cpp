// Port discovery through a fake sysfs tree.
#include "tty_discovery.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;
using namespace Quorvane;

namespace {

class FakeSysfs : public ::testing::Test {
  protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("qv-sysfs-" + std::to_string(::getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "class" / "tty");
        unsetenv(kExtraPortsVariable);
    }
    void TearDown() override {
        fs::remove_all(root);
        unsetenv(kExtraPortsVariable);
    }

    // A USB device with one CDC interface carrying the tty `name`.
    void addUsbTty(const std::string& usbDev, const std::string& vid, const std::string& pid,
                   const std::string& name) {
        const fs::path dev = root / "devices" / "pci0000:00" / "usb1" / usbDev;
        const fs::path ttyDir = dev / (usbDev + ":1.0") / "tty" / name;
        fs::create_directories(ttyDir);
        std::ofstream(dev / "idVendor") << vid << "\n";
        std::ofstream(dev / "idProduct") << pid << "\n";
        fs::create_directory_symlink(fs::relative(ttyDir, root / "class" / "tty"),
                                     root / "class" / "tty" / name);
    }
    void addVirtualTty(const std::string& name) {
        const fs::path dir = root / "devices" / "virtual" / "tty" / name;
        fs::create_directories(dir);
        fs::create_directory_symlink(fs::relative(dir, root / "class" / "tty"),
                                     root / "class" / "tty" / name);
    }

    fs::path root;
};

TEST_F(FakeSysfs, FindsTrackerTtysSortedByteWise) {
    addUsbTty("1-1", "ffff", "0005", "ttyACM3");
    addUsbTty("1-2", "ffff", "0005", "ttyACM10");
    addUsbTty("1-3", "ffff", "0006", "ttyACM4");  // another product
    addUsbTty("1-4", "1234", "0005", "ttyUSB0");  // another vendor
    addVirtualTty("tty0");
    addVirtualTty("ttyS0");
    EXPECT_EQ(findTrackerTtys(root.string()), (std::vector<std::string>{"ttyACM10", "ttyACM3"}));
}

TEST_F(FakeSysfs, ExtraPortsFollowDetectedOnesAsGiven) {
    addUsbTty("1-1", "ffff", "0005", "ttyACM0");
    setenv(kExtraPortsVariable, "/dev/pts/7,,/tmp/my tracker,/dev/pts/7", 1);
    EXPECT_EQ(
        enumerateTrackerPorts(root.string()),
        (std::vector<std::string>{"/dev/ttyACM0", "/dev/pts/7", "/tmp/my tracker", "/dev/pts/7"}));
}

TEST_F(FakeSysfs, LongNamesAreHandledWhole) {
    const std::string longName = "ttyACM" + std::string(300, '9');
    addUsbTty("1-1", "ffff", "0005", longName.substr(0, 200));
    EXPECT_EQ(enumerateTrackerPorts(root.string()),
              (std::vector<std::string>{"/dev/" + longName.substr(0, 200)}));
}

TEST_F(FakeSysfs, UnreadableTtyListRaisesNamingTheFolder) {
    const fs::path missing = root / "nowhere";
    try {
        findTrackerTtys(missing.string());
        ADD_FAILURE() << "expected an exception";
    } catch (const std::runtime_error& e) {
        const std::string expected = "Can't read the list of serial devices in " +
                                     (missing / "class" / "tty").string() + ": ";
        EXPECT_EQ(std::string(e.what()).rfind(expected, 0), 0u) << e.what();
        EXPECT_GT(std::string(e.what()).size(), expected.size())
            << "the system's reason is missing";
    }
    // An empty list is no error.
    EXPECT_TRUE(findTrackerTtys(root.string()).empty());
}

TEST(PortList, SplitsOnCommas) {
    EXPECT_TRUE(splitPortList(nullptr).empty());
    EXPECT_TRUE(splitPortList("").empty());
    EXPECT_EQ(splitPortList(",a,,b,"), (std::vector<std::string>{"a", "b"}));
}

}  // namespace
