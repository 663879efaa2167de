// Data packets: the pure decoder, and readPacket's search, wait and
// resynchronisation over a scripted port.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>

#include "fake_io.h"
#include "fenlark_imu.h"
#include "packet_decoder.h"
#include "sensor_config.h"

using namespace Quorvane;
using Quorvane::testing::Bytes;
using Quorvane::testing::FakeIO;
using Quorvane::testing::sensorConfig;

namespace {

constexpr float kKeep = -7.5f;  // what the caller left in a field

SensorSample filledSample() {
    SensorSample s;
    s.timestamp = 0;
    float* f = &s.mag[0];
    for (size_t i = 0; i < (sizeof s - 4) / 4; ++i) f[i] = kKeep;
    return s;
}

void put(Bytes& b, const void* p, size_t n) {
    const auto* c = static_cast<const unsigned char*>(p);
    b.insert(b.end(), c, c + n);
}

// A packet for `channels` whose value j (in wire order) is value(j).
Bytes packet(int32_t channels, bool raw, uint32_t timestamp,
             const std::function<float(int)>& value) {
    Bytes b{'A'};
    put(b, &timestamp, 4);
    const int count =
        packetLayout(sensorConfig(channels, 100, raw)).sensorCount + ((channels & 0x400) ? 3 : 0);
    for (int j = 0; j < count; ++j) {
        if (raw) {
            const int16_t v = static_cast<int16_t>(value(j));
            put(b, &v, 2);
        } else {
            const float v = value(j);
            put(b, &v, 4);
        }
    }
    b.push_back('Z');
    return b;
}

TEST(PacketDecoder, LayoutsAndPlacement) {
    const struct {
        int32_t channels;
        bool raw;
        int length;
    } cases[] = {{0x007, false, 18}, {0x3FF, true, 26},  {0x7FF, false, 58}, {0x7FF, true, 32},
                 {0x000, false, 6},  {0x240, false, 14}, {-1, false, 58}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.channels);
        const PacketLayout layout = packetLayout(sensorConfig(c.channels, 100, c.raw));
        EXPECT_EQ(layout.length, c.length);

        const Bytes p =
            packet(c.channels, c.raw, 0xDEADBEEF, [](int j) { return 10.0f * (j + 1); });
        ASSERT_EQ(static_cast<int>(p.size()), c.length);
        SensorSample s = filledSample();
        decodePacket(p.data(), layout, c.channels, &s);
        EXPECT_EQ(s.timestamp, 0xDEADBEEFu);
        // Channel bit i lands in float slot i after the timestamp; slots of
        // clear bits keep the caller's value.
        const float* slots = &s.mag[0];
        int j = 0;
        for (int bit = 0; bit < 10; ++bit) {
            if (c.channels & (1 << bit))
                EXPECT_EQ(slots[bit], 10.0f * (++j)) << "bit " << bit;
            else
                EXPECT_EQ(slots[bit], kKeep) << "bit " << bit;
        }
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(s.quat[i], (c.channels & 0x400) ? 10.0f * (++j) : kKeep);
        EXPECT_EQ(s.quat[3], kKeep);
    }
}

TEST(PacketDecoder, RawValuesAreSignedIntegers) {
    Bytes p = packet(0x3FF, true, 1, [](int) { return 0.0f; });
    p[5] = 0x18;  // mag x = 0xFC18
    p[6] = 0xFC;
    p[7] = 0xFF;  // mag y = 0x7FFF
    p[8] = 0x7F;
    p[9] = 0x00;  // mag z = 0x8000
    p[10] = 0x80;
    SensorSample s = filledSample();
    decodePacket(p.data(), packetLayout(sensorConfig(0x3FF, 100, true)), 0x3FF, &s);
    EXPECT_EQ(s.mag[0], -1000.0f);
    EXPECT_EQ(s.mag[1], 32767.0f);
    EXPECT_EQ(s.mag[2], -32768.0f);
}

// A connected protocol object on a scripted port that accepts every command.
class Stream : public ::testing::Test {
  protected:
    void SetUp() override {
        io.open("/dev/fake", 115200);
        io.responder = [this](const Bytes& frame) {
            if (frame.size() == 2 && frame[1] == 'I') {
                const std::string reply = std::string("\0I", 2) + "Fenlark v1.0 #PKT\r\n      ";
                io.feed(reply);
            } else if (frame.size() > 1) {
                io.feed(Bytes{0x00});
            }
        };
        imu = std::make_unique<FenlarkIMU>(&io);
        io.responder = nullptr;
    }
    void use(int32_t channels, bool raw) {
        io.responder = [this](const Bytes&) { io.feed(Bytes{0x00}); };
        imu->setConfig(sensorConfig(channels, 100, raw));
        io.responder = nullptr;
    }
    std::string readError(SensorSample* s) {
        try {
            imu->readPacket(s);
        } catch (const std::runtime_error& e) {
            return e.what();
        }
        return "";
    }
    static Bytes cat(Bytes a, const Bytes& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    }

    FakeIO io;
    std::unique_ptr<FenlarkIMU> imu;
};

TEST_F(Stream, SkipsGarbageAndDiscardsAllGarbage) {
    use(0x007, false);
    const Bytes good = packet(0x007, false, 42, [](int j) { return j + 0.5f; });
    io.feed(cat(Bytes{0x00, 0x13, 'Z', 0xFF}, good));
    SensorSample s = filledSample();
    EXPECT_EQ(readError(&s), "");
    EXPECT_EQ(s.timestamp, 42u);
    EXPECT_EQ(s.mag[2], 2.5f);
    EXPECT_EQ(s.acc[0], kKeep);
    EXPECT_EQ(io.available(), 0);

    io.feed(Bytes{'z', 0x00, 'Z', 0x7F});
    EXPECT_EQ(readError(&s), "FenlarkIMU: No appropriate data");
    EXPECT_EQ(io.available(), 0);
}

TEST_F(Stream, IncompletePacketStaysBufferedUntilTheRestArrives) {
    use(0x7FF, false);
    // Orientation elements are those of a unit quaternion.
    const Bytes p = packet(0x7FF, false, 7, [](int j) { return j / 16.0f; });
    io.feed(cat(Bytes{0x01, 0x02}, Bytes(p.begin(), p.begin() + 30)));
    SensorSample s = filledSample();
    EXPECT_EQ(readError(&s), "FenlarkIMU: Not enough data");
    ASSERT_EQ(io.available(), 30);
    EXPECT_EQ(io.data()[0], 'A');

    io.feed(Bytes(p.begin() + 30, p.end()));
    EXPECT_EQ(readError(&s), "");
    EXPECT_EQ(s.timestamp, 7u);
    EXPECT_EQ(s.quat[2], 0.75f);
}

TEST_F(Stream, BytesTricklingInAreCollectedWithoutLoss) {
    use(0x3FF, true);
    io.chunk = 4;  // the port hands over 4 bytes per read
    io.feed(packet(0x3FF, true, 9, [](int j) { return -100.0f * j; }));
    io.feed(packet(0x3FF, true, 10, [](int j) { return 1.0f * j; }));
    // Depending on how many reads fit into the wait, a call may give up with
    // the bytes kept; the packets still come out whole and in order.
    SensorSample s = filledSample();
    std::string error;
    for (uint32_t expected : {9u, 10u}) {
        int calls = 0;
        while ((error = readError(&s)) == "FenlarkIMU: Not enough data" && ++calls < 10) {
        }
        EXPECT_EQ(error, "");
        EXPECT_EQ(s.timestamp, expected);
    }
    EXPECT_EQ(s.temperature, 9.0f);
}

TEST_F(Stream, BadEndResynchronisesOnTheNextStart) {
    // The device sends three channels more than the mask held here, as after
    // a configuration change the host did not see.
    use(0x007, false);
    const Bytes wrong = packet(0x03F, false, 1, [](int) { return 1.0f; });
    const Bytes good = packet(0x007, false, 2, [](int) { return 2.0f; });
    io.feed(cat(wrong, good));
    SensorSample s = filledSample();
    std::string error;
    int bad = 0;
    for (int i = 0; i < 50 && (error = readError(&s)) != ""; ++i) {
        EXPECT_TRUE(error == "FenlarkIMU: Bad packet" || error == "FenlarkIMU: No appropriate data")
            << error;
        bad += error == "FenlarkIMU: Bad packet";
    }
    EXPECT_EQ(error, "");
    EXPECT_GE(bad, 1);
    EXPECT_EQ(s.timestamp, 2u);
    EXPECT_EQ(s.mag[0], 2.0f);
}

TEST_F(Stream, StartBytesInsideValuesAreNotPacketStarts) {
    use(0x3FF, false);
    // 0x41414141 is the float 12.078431; 'A' also sits in the timestamp.
    float a;
    const uint32_t bits = 0x41414141;
    std::memcpy(&a, &bits, 4);
    Bytes all;
    for (uint32_t t = 0x41; t < 0x41 + 20; ++t)
        all = cat(all, packet(0x3FF, false, t, [&](int) { return a; }));
    io.feed(all);
    SensorSample s = filledSample();
    for (uint32_t t = 0x41; t < 0x41 + 20; ++t) {
        ASSERT_EQ(readError(&s), "");
        EXPECT_EQ(s.timestamp, t);
        EXPECT_EQ(s.temperature, a);
    }
}

}  // namespace
