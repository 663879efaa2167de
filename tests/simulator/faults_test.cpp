// Injected faults in the replies to parameter commands.
#include <gtest/gtest.h>

#include "device_core.h"
#include "wire.h"

namespace {

using namespace simtest;

Bytes feed(sim::DeviceCore& core, const Bytes& in) {
    Bytes out;
    core.receive(in, out);
    return out;
}

TEST(Faults, BadChecksumSpoilsOnlyTheReadChecksum) {
    sim::Faults faults;
    faults.badChecksum = true;
    sim::DeviceCore core({}, sim::ParameterMemory::factory(), faults);
    const Bytes reply = feed(core, readFrame(0, 0, 6));
    ASSERT_EQ(reply.size(), 8u);
    EXPECT_EQ(Bytes(reply.begin(), reply.end() - 1),
              (Bytes{0x00, 0xFF, 0x03, 0x06, 0x64, 0x00, 0x03}));
    EXPECT_NE(reply.back(), sum8(reply, 1, 7));
    // Writes are not affected.
    EXPECT_EQ(feed(core, modifyFrame('S', 1, 0, {0x01})), Bytes{0x00});
    EXPECT_EQ(core.memory().bank(1)[0], 0x01);
}

TEST(Faults, ForcedStatusOnEveryParameterReply) {
    for (std::uint8_t status : {0x01, 0x7F, 0xFF}) {
        sim::Faults faults;
        faults.status = status;
        sim::DeviceCore core({}, sim::ParameterMemory::factory(), faults);
        const auto before = core.memory();

        EXPECT_EQ(feed(core, readFrame(1, 0, 2)), (Bytes{status, 0x00, 0x00, 0x00}));
        EXPECT_EQ(feed(core, modifyFrame('W', 1, 1, {1, 2, 3})), Bytes{status});
        EXPECT_EQ(feed(core, modifyFrame('S', 1, 0, {0x10})), Bytes{status});
        EXPECT_EQ(feed(core, modifyFrame('C', 0, 2, {0x02})), Bytes{status});
        EXPECT_EQ(feed(core, readFrame(5, 0, 1)), Bytes{status});  // rejected read: status alone
        EXPECT_TRUE(core.memory() == before) << "commands must not be applied";

        // Identification and stream commands are untouched.
        EXPECT_EQ(feed(core, kIdentify).size(), 25u);
        feed(core, {' '});
        EXPECT_FALSE(core.streaming());
    }
}

}  // namespace
