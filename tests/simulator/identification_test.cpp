// The identification reply as the host parses it: skip two bytes, overwrite
// the last byte with a terminator, scan "Fenlark v%u.%u #%7s".
#include "identification.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>
#include <string>

#include "device_core.h"
#include "wire.h"

namespace {

using namespace simtest;

struct Parsed {
    int fields = 0;
    unsigned major = 0, minor = 0;
    std::string id;
};

Parsed parseLikeTheHost(Bytes reply) {
    Parsed p;
    if (reply.size() < 3) return p;
    reply.back() = 0;
    char id[8] = {};
    p.fields = std::sscanf(reinterpret_cast<const char*>(reply.data() + 2), "Fenlark v%u.%u #%7s",
                           &p.major, &p.minor, id);
    p.id = id;
    return p;
}

TEST(Identification, DefaultReplyBytes) {
    const std::string expected = std::string("\x00\x49", 2) + "Fenlark v1.4 #QV00001\r\n";
    EXPECT_EQ(sim::identificationReply(sim::Identity{}), Bytes(expected.begin(), expected.end()));
}

TEST(Identification, RepliesParseForShortAndLongIds) {
    const sim::Identity cases[] = {
        {"Q", 1, 4},
        {"QV00001", 1, 4},
        {"a-b_7.", 0, 0},
        {"ZZZZZZZ", 65535, 65535},
    };
    for (const auto& identity : cases) {
        const Bytes reply = sim::identificationReply(identity);
        EXPECT_GE(reply.size(), 25u) << identity.id;
        EXPECT_EQ(reply[0], 0x00);
        EXPECT_EQ(reply[1], 0x49);
        const Parsed p = parseLikeTheHost(reply);
        EXPECT_EQ(p.fields, 3) << identity.id;
        EXPECT_EQ(p.major, identity.firmwareMajor);
        EXPECT_EQ(p.minor, identity.firmwareMinor);
        EXPECT_EQ(p.id, identity.id);
    }
}

TEST(Identification, InvalidIdsAreRejected) {
    for (const std::string id : {"", "QV000012", "QV 01", "Q\tV", "Q\xE9"}) {
        EXPECT_THROW(sim::validateIdentity({id, 1, 4}), std::invalid_argument) << id;
        EXPECT_THROW(sim::DeviceCore({id, 1, 4}, sim::ParameterMemory::factory()),
                     std::invalid_argument)
            << id;
    }
}

TEST(Identification, FaultsSpoilTheReply) {
    const Bytes good = sim::identificationReply({});
    sim::Faults noId, shortId, wrongId;
    noId.noId = true;
    shortId.shortId = true;
    wrongId.wrongId = true;

    sim::DeviceCore core({}, sim::ParameterMemory::factory(), noId);
    Bytes reply;
    core.receive(kIdentify, reply);
    EXPECT_TRUE(reply.empty());
    EXPECT_EQ(core.stats().counts['I'], 1u);

    core.setFaults(shortId);
    core.receive(kIdentify, reply);
    EXPECT_EQ(reply, Bytes(good.begin(), good.begin() + 24));

    reply.clear();
    core.setFaults(wrongId);
    core.receive(kIdentify, reply);
    EXPECT_GE(reply.size(), 25u);
    EXPECT_EQ(parseLikeTheHost(reply).fields, 0);

    reply.clear();
    core.setFaults({});
    core.receive(kIdentify, reply);
    EXPECT_EQ(reply, good);
}

}  // namespace
