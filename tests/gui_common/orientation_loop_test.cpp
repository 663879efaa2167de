// The orientation-only loop (mouse emulator): what it writes to the device
// while it runs, and that the device gets its own values back.
#include <gtest/gtest.h>

#include <cstring>

#include "gui_fixture.h"

namespace {

using namespace Quorvane::testing;

constexpr std::size_t kKaAddress = 1, kKgAddress = 37;  // bank 1, 9 floats each

std::vector<float> matrixAt(const std::vector<uint8_t>& bank, std::size_t address) {
    std::vector<float> m(9);
    std::memcpy(m.data(), bank.data() + address, 36);
    return m;
}

TEST(OrientationLoop, StreamsAnglesWithTheWorkingSetupAndRestoresTheDevice) {
    sim::TrackerSim device(simOptions("MOUSE"));
    SensorArray array;
    scan(array, {&device});
    ASSERT_EQ(array.sensors().size(), 1u);
    const std::vector<uint8_t> bank1 = device.bankCopy(1);
    const sim::ConfigBytes config = device.configBytes();

    SignalLog log(array);
    ASSERT_TRUE(array.selectSensor(0));
    array.setMode(SensorArray::OrientationOnly);
    array.start();
    ASSERT_TRUE(processUntil([&] { return log.count("euler") >= 20; }));

    // While it runs: the nine motion axes in float mode, Ka and Kg 0.68 I.
    const std::vector<uint8_t> working = device.bankCopy(1);
    const std::vector<float> gain = {0.68f, 0, 0, 0, 0.68f, 0, 0, 0, 0.68f};
    EXPECT_EQ(matrixAt(working, kKaAddress), gain);
    EXPECT_EQ(matrixAt(working, kKgAddress), gain);
    const sim::ConfigBytes running = device.configBytes();
    EXPECT_EQ((running[0] | running[1] << 8) & 0x7FF, 0x1FF);

    array.stopPolling();
    QCoreApplication::processEvents();
    EXPECT_EQ(log.count("acc") + log.count("quat") + log.count("temp"), 0u);  // angles only
    EXPECT_TRUE(log.streamEnds.empty());
    EXPECT_EQ(device.bankCopy(1), bank1);
    EXPECT_EQ(device.configBytes(), config);
}

}  // namespace
