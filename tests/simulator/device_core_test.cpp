// The command stream handled byte for byte, without a terminal in between.
#include "device_core.h"

#include <gtest/gtest.h>

#include <cstring>

#include "quorvane.h"
#include "wire.h"

namespace {

using namespace simtest;
using sim::DeviceCore;
using sim::ParameterMemory;

Bytes feed(DeviceCore& core, const Bytes& in) {
    Bytes out;
    core.receive(in, out);
    return out;
}

Bytes slice(const std::vector<std::uint8_t>& bank, std::size_t at, std::size_t n) {
    return Bytes(bank.begin() + at, bank.begin() + at + n);
}

float floatAt(const std::vector<std::uint8_t>& bank, std::size_t at) {
    const std::uint32_t bits = bank[at] | bank[at + 1] << 8 | bank[at + 2] << 16 |
                               static_cast<std::uint32_t>(bank[at + 3]) << 24;
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

struct CoreTest : ::testing::Test {
    DeviceCore core{sim::Identity{}, ParameterMemory::factory()};
    std::vector<std::uint8_t>& bank0() { return core.memory().bank(0); }
    std::vector<std::uint8_t>& bank1() { return core.memory().bank(1); }
};

TEST_F(CoreTest, FactoryStateAsReadOverTheWire) {
    EXPECT_EQ(bank0().size(), 222u);
    EXPECT_EQ(bank1().size(), 141u);
    EXPECT_EQ(feed(core, readFrame(0, 0, 6)),
              (Bytes{0x00, 0xFF, 0x03, 0x06, 0x64, 0x00, 0x03, 0x6F}));
    EXPECT_EQ(feed(core, readFrame(1, 0, 1)), (Bytes{0x00, 0x00, 0x00}));
    for (std::size_t matrix : {1u, 37u, 73u})
        for (int i = 0; i < 9; ++i)
            EXPECT_EQ(floatAt(bank1(), matrix + 4 * i), i % 4 == 0 ? 1.0f : 0.0f) << matrix;
    for (std::size_t quat : {109u, 125u})
        for (int i = 0; i < 4; ++i) EXPECT_EQ(floatAt(bank1(), quat + 4 * i), i == 0 ? 1.0f : 0.0f);

    // The factory record of this unit's chips (its exactness is checked with
    // the chip model): unit-length rows or columns close to the axes, gains of
    // the raw scales, offsets in counts.
    CalibrationData cal;
    std::memcpy(&cal, bank0().data() + 6, sizeof cal);
    for (const float* R : {cal.AR, cal.GR, cal.MR}) {
        float offDiagonal = 0;
        for (int i = 0; i < 9; ++i) {
            if (i % 4 == 0) {
                EXPECT_NEAR(R[i], 1.0f, 0.02f);
            } else {
                EXPECT_LT(std::abs(R[i]), 0.05f);
                offDiagonal += std::abs(R[i]);
            }
        }
        EXPECT_GT(offDiagonal, 0.0f);
    }
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(cal.Ak[i], 9.81f / 16384, 9.81f / 16384 * 0.03f);
        EXPECT_NEAR(cal.Gk[i], 3.14159265f / 180 / 16.384f, 0.03f * 3.14159265f / 180 / 16.384f);
        EXPECT_NEAR(cal.Mk[i], 1 / 38.0f, 0.03f / 38);
    }
    for (const float* b : {cal.Ab, cal.Gb, cal.Mb}) {
        float size = 0;
        for (int i = 0; i < 3; ++i) size += std::abs(b[i]);
        EXPECT_GT(size, 10.0f);
        EXPECT_LT(size, 1000.0f);
    }
    for (int i = 0; i < 9; ++i) EXPECT_LT(std::abs(cal.GK[i]), 0.1f);
}

TEST_F(CoreTest, ReadRepliesStatusDataAndChecksum) {
    bank1()[5] = 0x0A;
    bank1()[6] = 0x0B;
    EXPECT_EQ(feed(core, readFrame(1, 5, 2)), (Bytes{0x00, 0x0A, 0x0B, 0x15}));

    // The checksum keeps only the low 8 bits of the sum.
    std::fill(bank0().begin() + 6, bank0().begin() + 10, 0xF0);
    EXPECT_EQ(feed(core, readFrame(0, 6, 4)), (Bytes{0x00, 0xF0, 0xF0, 0xF0, 0xF0, 0xC0}));
}

TEST_F(CoreTest, SetAndClearBitsTouchOnlyTheirBits) {
    EXPECT_EQ(modifyFrame('S', 1, 0, {0x04}),
              (Bytes{0x1B, 0x53, 0x00, 0x00, 0x01, 0x01, 0x04, 0x04}));
    EXPECT_EQ(feed(core, modifyFrame('S', 1, 0, {0x04})), Bytes{0x00});
    EXPECT_EQ(feed(core, modifyFrame('S', 1, 0, {0x18})), Bytes{0x00});
    EXPECT_EQ(bank1()[0], 0x1C);
    EXPECT_EQ(feed(core, Bytes{0x1B, 0x43, 0x00, 0x00, 0x01, 0x01, 0x08, 0x08}), Bytes{0x00});
    EXPECT_EQ(bank1()[0], 0x14);

    // Several bytes at once, on the configuration.
    EXPECT_EQ(feed(core, modifyFrame('C', 0, 1, {0x01, 0x06})), Bytes{0x00});
    EXPECT_EQ(slice(bank0(), 0, 6), (Bytes{0xFF, 0x02, 0x00, 0x64, 0x00, 0x03}));
    EXPECT_EQ(feed(core, modifyFrame('S', 0, 2, {0x04})), Bytes{0x00});
    EXPECT_EQ(bank0()[2], 0x04);
}

TEST_F(CoreTest, WriteIsAppliedOnlyWithAGoodChecksum) {
    Bytes kg(36);
    for (std::size_t i = 0; i < kg.size(); ++i) kg[i] = static_cast<std::uint8_t>(0x40 + 7 * i);
    const auto before = bank1();

    Bytes bad = modifyFrame('W', 1, 37, kg);
    bad.back() ^= 0x01;
    EXPECT_EQ(feed(core, bad), Bytes{0x01});
    EXPECT_EQ(bank1(), before);

    EXPECT_EQ(feed(core, modifyFrame('W', 1, 37, kg)), Bytes{0x00});
    EXPECT_EQ(slice(bank1(), 37, 36), kg);
    EXPECT_EQ(slice(bank1(), 0, 37), slice(before, 0, 37));
    EXPECT_EQ(slice(bank1(), 73, 68), slice(before, 73, 68));
}

TEST_F(CoreTest, UnknownBankAndRangesBeyondTheBankAreRejected) {
    const auto before0 = bank0();
    const auto before1 = bank1();
    struct Case {
        Bytes frame;
        Bytes reply;
    };
    const Case cases[] = {
        {readFrame(2, 0, 1), {0x03}},
        {readFrame(1, 140, 2), {0x02}},
        {readFrame(0, 0, 223 - 0), {0x02}},
        {{0x1B, 'R', 0x00, 0x01, 0x00, 0x01}, {0x02}},  // address 256
        {modifyFrame('W', 2, 0, {0x01}), {0x03}},
        {modifyFrame('W', 0, 221, {0x01, 0x02}), {0x02}},
        {modifyFrame('S', 1, 141, {0x01}), {0x02}},
        {{0x1B, 'C', 0x00, 0x01, 0x01, 0x01, 0xFF, 0xFF}, {0x02}},
        // The last byte of each bank is still in range.
        {readFrame(1, 140, 1), {0x00, before1[140], before1[140]}},
        {readFrame(0, 0, 222), {}},
    };
    for (const auto& c : cases) {
        const Bytes reply = feed(core, c.frame);
        if (c.reply.empty()) {
            ASSERT_EQ(reply.size(), 224u);
            EXPECT_EQ(reply[0], 0x00);
            EXPECT_EQ(reply.back(), sum8(before0));
        } else {
            EXPECT_EQ(reply, c.reply) << "frame letter " << c.frame[1] << " bank " << +c.frame[4];
        }
    }
    EXPECT_EQ(bank0(), before0);
    EXPECT_EQ(bank1(), before1);
}

TEST_F(CoreTest, FramesSplitAcrossReadsAreReassembled) {
    Bytes payload(32);
    for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(i * 9);
    const Bytes frame = modifyFrame('W', 1, 109, payload);

    for (std::size_t cut = 1; cut < frame.size(); ++cut) {
        DeviceCore fresh{sim::Identity{}, ParameterMemory::factory()};
        EXPECT_TRUE(feed(fresh, Bytes(frame.begin(), frame.begin() + cut)).empty()) << cut;
        EXPECT_TRUE(fresh.midFrame());
        EXPECT_EQ(feed(fresh, Bytes(frame.begin() + cut, frame.end())), Bytes{0x00}) << cut;
        EXPECT_EQ(slice(fresh.memory().bank(1), 109, 32), payload) << cut;
    }

    // Byte by byte, a read followed by an identify.
    Bytes stream = readFrame(0, 3, 2);
    stream.insert(stream.end(), kIdentify.begin(), kIdentify.end());
    Bytes replies;
    for (std::uint8_t b : stream) {
        const Bytes r = feed(core, {b});
        replies.insert(replies.end(), r.begin(), r.end());
    }
    ASSERT_GE(replies.size(), 4u + 25u);
    EXPECT_EQ(Bytes(replies.begin(), replies.begin() + 4), (Bytes{0x00, 0x64, 0x00, 0x64}));
    EXPECT_EQ(replies[4], 0x00);
    EXPECT_EQ(replies[5], 0x49);
}

TEST_F(CoreTest, SingleByteCommandsActOnlyOutsideFrames) {
    int saves = 0;
    core.setSaveHandler([&](const ParameterMemory&) { ++saves; });
    ASSERT_TRUE(core.streaming());  // factory configuration has autoStart

    feed(core, {' '});
    EXPECT_FALSE(core.streaming());
    feed(core, {'0'});
    EXPECT_TRUE(core.streaming());
    feed(core, {' '});

    // The same byte values inside headers, payloads and checksums.
    EXPECT_EQ(feed(core, readFrame(0x30, 0x30, 0x30)), Bytes{0x03});
    EXPECT_EQ(feed(core, readFrame(0x20, 0x39, 0x20)), Bytes{0x03});
    EXPECT_EQ(feed(core, modifyFrame('W', 1, 0x20,
                                     {0x30, 0x39, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x20})),
              Bytes{0x00});
    EXPECT_FALSE(core.streaming());
    EXPECT_EQ(saves, 0);
    auto stats = core.stats();
    EXPECT_EQ(stats.counts['0'], 1u);
    EXPECT_EQ(stats.counts[' '], 2u);
    EXPECT_EQ(stats.counts['9'], 0u);
    EXPECT_EQ(stats.counts['R'], 2u);
    EXPECT_EQ(stats.counts['W'], 1u);

    feed(core, {'9'});
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(core.stats().counts['9'], 1u);
}

TEST_F(CoreTest, StrayBytesAreIgnoredAndTheLastFrameIsKept) {
    // Stray bytes, an ESC with an unknown letter, a repeated ESC.
    Bytes in = {'x', 0x00, 0xFF, 0x1B, 'Q', 0x1B, 0x1B, 'R', 0x00, 0x00, 0x00, 0x01};
    EXPECT_EQ(feed(core, in), (Bytes{0x00, 0xFF, 0xFF}));
    const auto stats = core.stats();
    EXPECT_EQ(stats.ignoredBytes, 6u);
    EXPECT_EQ(stats.counts['R'], 1u);
    EXPECT_EQ(stats.counts['Q'], 0u);
    EXPECT_EQ(stats.lastFrame, readFrame(0, 0, 1));

    const Bytes write = modifyFrame('W', 0, 3, {0xC8, 0x00});
    feed(core, write);
    feed(core, {' '});
    EXPECT_EQ(core.stats().lastFrame, write);
    EXPECT_EQ(core.memory().frequency(), 200u);

    // A frame abandoned half-way does not swallow the next command.
    feed(core, {0x1B, 'W', 0x00, 0x00, 0x01, 0x05, 0x01});
    core.abandonFrame();
    EXPECT_EQ(feed(core, readFrame(0, 3, 1)), (Bytes{0x00, 0xC8, 0xC8}));

    core.resetStats();
    const auto cleared = core.stats();
    EXPECT_EQ(cleared.counts['R'], 0u);
    EXPECT_EQ(cleared.ignoredBytes, 0u);
    EXPECT_TRUE(cleared.lastFrame.empty());
}

}  // namespace
