// Device discovery end to end: the exported function against simulated
// trackers on real pseudo-terminals.
#include <gtest/gtest.h>

#include <cstring>

#include "fenlark_io_posix.h"
#include "quorvane.h"
#include "sim_fixture.h"

using namespace Quorvane::testing;

namespace {

class Discovery : public ::testing::Test {
  protected:
    void TearDown() override { unsetenv(Quorvane::kExtraPortsVariable); }

    DeviceInfo list[4];
    void poison() { std::memset(list, 0x5A, sizeof list); }
};

TEST_F(Discovery, ListsTrackersInPortOrderWithIdentity) {
    sim::TrackerSim a(simOptions("QVA0001", 1, 4));
    sim::TrackerSim b(simOptions("B", 2, 11));
    listPorts({b.devicePath(), a.devicePath()});
    poison();

    ASSERT_EQ(fenlarkGetDeviceList(list, 4), 2);
    const struct {
        const sim::TrackerSim& sim;
        const char* id;
        int major, minor;
    } expected[] = {{b, "B", 2, 11}, {a, "QVA0001", 1, 4}};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_STREQ(list[i].port, expected[i].sim.devicePath().c_str());
        EXPECT_STREQ(list[i].id, expected[i].id);
        EXPECT_EQ(list[i].reserved, 0u);
        EXPECT_EQ(list[i].firmwareMajor, expected[i].major);
        EXPECT_EQ(list[i].firmwareMinor, expected[i].minor);
        // Identification stopped the factory-fresh stream, and it stays stopped.
        EXPECT_FALSE(expected[i].sim.streaming());
    }
    EXPECT_EQ(list[2].reserved, 0x5A5A5A5Au);  // nothing copied past the count
}

TEST_F(Discovery, DeviceFailingIdentificationThreeTimesIsLeftOut) {
    sim::TrackerSim good(simOptions("GOOD"));
    sim::Options badOptions = simOptions("BAD");
    badOptions.faults.wrongId = true;
    sim::TrackerSim bad(badOptions);
    listPorts({bad.devicePath(), good.devicePath()});

    ASSERT_EQ(fenlarkGetDeviceList(list, 4), 1);
    EXPECT_STREQ(list[0].id, "GOOD");
    EXPECT_EQ(bad.commandCount('I'), 3u);
    EXPECT_EQ(good.commandCount('I'), 1u);
}

TEST_F(Discovery, PortHeldByAnotherHandleIsNotListed) {
    sim::TrackerSim held(simOptions("HELD"));
    listPorts({held.devicePath()});
    Quorvane::FenlarkIOPosix holder(4096);
    holder.open(held.devicePath(), 115200);

    EXPECT_EQ(fenlarkGetDeviceList(list, 4), 0);
    EXPECT_EQ(held.commandCount('I'), 0u);

    holder.close();
    EXPECT_EQ(fenlarkGetDeviceList(list, 4), 1);
}

TEST_F(Discovery, MoreTrackersThanRoomGivesMinusOneAndCopiesWhatFits) {
    sim::TrackerSim a(simOptions("A")), b(simOptions("B"));
    listPorts({a.devicePath(), b.devicePath()});
    poison();

    EXPECT_EQ(fenlarkGetDeviceList(list, 0), -1);
    EXPECT_EQ(list[0].reserved, 0x5A5A5A5Au);
    EXPECT_EQ(fenlarkGetDeviceList(list, 1), -1);
    EXPECT_STREQ(list[0].id, "A");
    EXPECT_EQ(list[1].reserved, 0x5A5A5A5Au);
    EXPECT_EQ(fenlarkGetDeviceList(nullptr, 0), -1);
}

TEST_F(Discovery, MissingOrForeignPortsAreSkipped) {
    sim::TrackerSim a(simOptions("A"));
    listPorts({"/dev/nonexistent-tracker", "/dev/null", a.devicePath()});
    ASSERT_EQ(fenlarkGetDeviceList(list, 4), 1);
    EXPECT_STREQ(list[0].id, "A");
}

}  // namespace
