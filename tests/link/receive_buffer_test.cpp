// The receive-buffer arithmetic shared by every port backend.
#include <gtest/gtest.h>

#include <stdexcept>

#include "fake_io.h"

using Quorvane::testing::Bytes;
using Quorvane::testing::FakeIO;

namespace {

Bytes ramp(int n) {
    Bytes b(n);
    for (int i = 0; i < n; ++i) b[i] = static_cast<unsigned char>(i * 7);
    return b;
}

struct OpenFake : FakeIO {
    OpenFake() { open("/dev/fake", 115200); }
};

TEST(ReceiveBuffer, ReadAppendsIntoFreeTailAndStopsWhenFull) {
    OpenFake io;
    io.feed(ramp(5000));
    EXPECT_EQ(io.read(), 4096);
    EXPECT_EQ(io.available(), 4096);
    const int callsBefore = io.readDeviceCalls;
    EXPECT_EQ(io.read(), 0);  // full: the port is not asked
    EXPECT_EQ(io.readDeviceCalls, callsBefore);
    EXPECT_EQ(io.data()[4095], ramp(4096)[4095]);
}

TEST(ReceiveBuffer, ConsumeCompactsOnlyPastAQuarter) {
    // {consumed of 1500, expect the remaining bytes moved to the start}
    const struct {
        int consumed;
        bool moved;
    } cases[] = {{1000, false}, {1024, false}, {1025, true}, {1100, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.consumed);
        OpenFake io;
        const Bytes bytes = ramp(1500);
        io.feed(bytes);
        ASSERT_EQ(io.read(), 1500);
        const unsigned char* start = io.data();
        io.consume(c.consumed);
        EXPECT_EQ(io.available(), 1500 - c.consumed);
        EXPECT_EQ(io.data() == start, c.moved);
        EXPECT_EQ(io.data() == start + c.consumed, !c.moved);
        EXPECT_EQ(Bytes(io.data(), io.data() + io.available()),
                  Bytes(bytes.begin() + c.consumed, bytes.end()));
        // New bytes land right behind the kept ones.
        io.feed(Bytes{0xAB});
        ASSERT_EQ(io.read(), 1);
        EXPECT_EQ(io.data()[io.available() - 1], 0xAB);
    }
}

TEST(ReceiveBuffer, ConsumingEverythingResetsToTheStart) {
    OpenFake io;
    io.feed(ramp(300));
    io.read();
    const unsigned char* start = io.data();
    io.consume(100);
    io.consume(io.available());
    EXPECT_EQ(io.available(), 0);
    EXPECT_EQ(io.data(), start);
    io.feed(ramp(4096));
    EXPECT_EQ(io.read(), 4096);  // the whole capacity is free again
}

TEST(ReceiveBuffer, ClearDiscardsBufferedAndQueuedBytes) {
    OpenFake io;
    io.feed(ramp(100));
    io.read();
    io.feed(ramp(50));
    io.clear();
    EXPECT_EQ(io.available(), 0);
    EXPECT_EQ(io.purgeCalls, 1);
    EXPECT_EQ(io.read(), 0);
}

TEST(ReceiveBuffer, UnopenedPortRaisesClosedPortFailsQuietly) {
    FakeIO io;
    const unsigned char byte = ' ';
    for (auto op : {+[](FakeIO& p) { p.read(); },
                    +[](FakeIO& p) {
                        const unsigned char b = ' ';
                        p.write(&b, 1);
                    }}) {
        try {
            op(io);
            ADD_FAILURE() << "expected an exception";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "No Fenlarker open");
        }
    }
    io.open("/dev/fake", 115200);
    io.close();
    EXPECT_FALSE(io.write(&byte, 1));
    io.feed(ramp(10));
    EXPECT_EQ(io.read(), 0);
    EXPECT_TRUE(io.writes.empty());
}

TEST(ReceiveBuffer, PortPathChecksTheIndex) {
    struct Listed : FakeIO {
        Listed() { ports = {"/dev/ttyACM10", "/dev/ttyACM3"}; }
    } io;
    EXPECT_EQ(io.portCount(), 2u);
    EXPECT_EQ(io.portPath(1), "/dev/ttyACM3");
    try {
        io.portPath(2);
        ADD_FAILURE() << "expected an exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Device index bigger than device count!");
    }
}

}  // namespace
