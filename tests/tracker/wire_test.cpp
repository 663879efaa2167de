// What the library sends on the line for open, start and stop, recorded by a
// tap between the host and the simulated tracker.
#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>

#include "tracker_fixture.h"

namespace {

using namespace Quorvane::testing;

std::string hex(const Bytes& bytes) {
    std::string s;
    for (std::uint8_t b : bytes) {
        char part[4];
        std::snprintf(part, sizeof part, "%02X ", b);
        s += part;
    }
    return s;
}

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// A write command to the tracker's memory: header, payload, payload checksum.
Bytes writeFrame(std::uint8_t letter, std::uint8_t address, std::uint8_t bank,
                 const Bytes& payload) {
    Bytes frame{0x1B, letter, address, 0x00, bank, static_cast<std::uint8_t>(payload.size())};
    frame.insert(frame.end(), payload.begin(), payload.end());
    unsigned sum = 0;
    for (std::uint8_t b : payload) sum += b;
    frame.push_back(static_cast<std::uint8_t>(sum));
    return frame;
}

// openTracker through the tap: a few tries, and what the tap recorded of a
// failed one is dropped, so that the next take() shows the opening that worked.
int openThroughTap(VirtualFenlark* tracker, const SensorConfig* config, WireTap& tap) {
    int result = -1;
    for (int attempt = 0; attempt < 3 && result != 0; ++attempt) {
        tap.take();
        result = fenlarkOpen(tracker, config, tap.path().c_str());
    }
    return result;
}

const Bytes kIdentify = {0x20, 0x1B, 0x53, 0x02, 0x00, 0x00, 0x01, 0x04, 0x04, 0x1B,
                         0x49, 0x1B, 0x53, 0x02, 0x00, 0x00, 0x01, 0x04, 0x04, 0x20};
const Bytes kReadConfig = {0x1B, 0x52, 0x00, 0x00, 0x00, 0x06};
const Bytes kReadBoresightAndFlags = {0x1B, 0x52, 0x6D, 0x00, 0x01, 0x20, 0x1B, 0x52, 0x00,
                                      0x00, 0x01, 0x01, 0x1B, 0x52, 0x00, 0x00, 0x01, 0x01};

TEST(Wire, OpenStartAndStopSendTheDocumentedBytes) {
    sim::TrackerSim device(simOptions("WIRE"));
    WireTap tap(device.devicePath());
    ASSERT_TRUE(tap.connected());
    Handle tracker;

    ASSERT_EQ(openThroughTap(tracker, nullptr, tap), 0);
    EXPECT_EQ(hex(tap.take()), hex(join({kIdentify, kReadConfig, kReadBoresightAndFlags})));
    fenlarkClose(tracker);
    EXPECT_EQ(hex(tap.take()), "20 ");

    // With a configuration it is written right after the configuration read.
    SensorConfig config = sensorConfig(0x3FF);
    config.autoStart = 1;
    ASSERT_EQ(openThroughTap(tracker, &config, tap), 0);
    EXPECT_EQ(hex(tap.take()),
              hex(join({kIdentify, kReadConfig,
                        writeFrame('W', 0, 0, {0xFF, 0x03, 0x06, 0x64, 0x00, 0x03}),
                        kReadBoresightAndFlags})));

    // Stop stores the boresight flag, the references as loaded at open, and
    // the jitter flag; both flag states give their command letter.
    const std::vector<std::uint8_t> bank = device.bankCopy(1);
    const Bytes references(bank.begin() + 109, bank.begin() + 141);
    for (bool boresightOn : {false, true}) {
        SCOPED_TRACE(boresightOn ? "boresight on" : "boresight off");
        EXPECT_TRUE(fenlarkSetBoresight(tracker, boresightOn));
        EXPECT_EQ(hex(tap.take()), hex(writeFrame(boresightOn ? 'S' : 'C', 0, 1, {0x08})));
        EXPECT_EQ(fenlarkStart(tracker), 1);
        EXPECT_EQ(hex(tap.take()), "30 ");
        EXPECT_TRUE(fenlarkStop(tracker));
        EXPECT_EQ(hex(tap.take()), hex(join({{0x20},
                                             writeFrame(boresightOn ? 'S' : 'C', 0, 1, {0x08}),
                                             writeFrame('W', 0x6D, 1, references),
                                             writeFrame('C', 0, 1, {0x10})})));
    }
    EXPECT_EQ(device.bankCopy(1)[0] & 0x18, 0x08);  // boresight on, jitter reduction off
}

}  // namespace
