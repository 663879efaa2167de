// The command protocol against the simulated device: both sides were written
// independently, so agreement here checks the wire layout from two directions.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "error_of.h"
#include "fenlark_imu.h"
#include "fenlark_io_posix.h"
#include "sim_fixture.h"

using namespace Quorvane;
using namespace Quorvane::testing;

namespace {

std::string constructionError(const sim::TrackerSim& sim) {
    FenlarkIOPosix io(4096);
    io.open(sim.devicePath(), 115200);
    try {
        FenlarkIMU imu(&io);
    } catch (const std::runtime_error& e) {
        io.close();
        return e.what();
    }
    return "";
}

TEST(Protocol, FaultsGiveTheirErrors) {
    const char* noId = "FenlarkIMU:  No device found, no ID received";
    const struct {
        const char* name;
        sim::Faults faults;
        const char* error;
    } cases[] = {
        {"no reply", {true, false, false, false, 0, 0}, noId},
        {"short reply", {false, true, false, false, 0, 0}, noId},
        {"late reply", {false, false, false, false, 0, 60}, noId},
        {"wrong text",
         {false, false, true, false, 0, 0},
         "FenlarkIMU:  No device found, incorrect ID"},
        {"status", {false, false, false, false, 1, 0}, "FenlarkIMU: Write command failed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Options o = simOptions("F");
        o.faults = c.faults;
        sim::TrackerSim device(o);
        EXPECT_EQ(constructionError(device), c.error);
    }
}

TEST(Protocol, FaultsAfterIdentificationFailCommands) {
    sim::TrackerSim device(simOptions("F"));
    Connection c(device);
    const struct {
        const char* name;
        sim::Faults faults;
        const char* readError;
        const char* writeError;
    } cases[] = {
        {"bad checksum", {false, false, false, true, 0, 0}, "FenlarkIMU: Read command failed", ""},
        {"status",
         {false, false, false, false, 7, 0},
         "FenlarkIMU: Read command failed",
         "FenlarkIMU: Write command failed"},
        {"reply after the host looked",
         {false, false, false, false, 0, 160},
         "FenlarkIMU: Read command failed",
         "FenlarkIMU: Write command failed"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        device.setFaults(k.faults);
        EXPECT_EQ(errorOf([&] { c.imu->getConfig(true); }), k.readError);
        // A reply that comes late is taken for the answer to whatever command
        // is waiting then; let it pass before the next command.
        ASSERT_TRUE(lineGoesQuiet(device));
        EXPECT_EQ(errorOf([&] { c.imu->setJitterStatus(true); }), k.writeError);
        device.setFaults({});
        ASSERT_TRUE(lineGoesQuiet(device));  // late replies arrive; the next command clears them
    }
    EXPECT_TRUE(c.imu->getJitterStatus());
}

TEST(Protocol, ParametersRoundTripAndLandAtTheirAddresses) {
    sim::TrackerSim device(simOptions("RT"));
    Connection c(device);

    SensorConfig config{};
    config.channels = 0x407;
    config.magDivider = 5;
    config.frequency = 200;
    config.raw = 1;
    c.imu->setConfig(config);
    const auto wire = device.configBytes();
    EXPECT_EQ(std::vector<unsigned>(wire.begin(), wire.end()),
              (std::vector<unsigned>{0x07, 0x04, 0x0C, 0xC8, 0x00, 0x05}));
    const SensorConfig back = c.imu->getConfig(true);
    EXPECT_EQ(back.channels, 0x407);
    EXPECT_EQ(back.magDivider, 5);
    EXPECT_EQ(back.frequency, 200);
    EXPECT_EQ(back.raw, 1);
    EXPECT_EQ(back.ascii, 0);
    EXPECT_EQ(back.autoStart, 0);

    float kg[9], kgBack[9];
    for (int i = 0; i < 9; ++i) kg[i] = 0.5f + i;
    c.imu->setMatrix(FenlarkIMU::Kg, kg);
    c.imu->getMatrix(FenlarkIMU::Kg, kgBack);
    EXPECT_EQ(0, std::memcmp(kg, kgBack, sizeof kg));
    EXPECT_EQ(0, std::memcmp(device.bankCopy(1).data() + 37, kg, sizeof kg));

    const float heading[4] = {0.5f, 0.5f, -0.5f, 0.5f}, alignment[4] = {0.f, 1.f, 0.f, 0.f};
    float h[4], a[4];
    c.imu->setBoresight(heading, alignment);
    c.imu->getBoresight(h, a);
    EXPECT_EQ(0, std::memcmp(h, heading, sizeof h));
    EXPECT_EQ(0, std::memcmp(a, alignment, sizeof a));
    EXPECT_EQ(0, std::memcmp(device.bankCopy(1).data() + 109, heading, sizeof heading));

    CalibrationData cal, calBack;
    float* f = reinterpret_cast<float*>(&cal);
    for (int i = 0; i < 54; ++i) f[i] = -1.0f + 0.25f * i;
    c.imu->setCalibration(&cal);
    c.imu->getCalibration(&calBack);
    EXPECT_EQ(0, std::memcmp(&cal, &calBack, sizeof cal));
    EXPECT_EQ(0, std::memcmp(device.bankCopy(0).data() + 6, &cal, sizeof cal));

    // Flags: set two, clear one; the others stay.
    c.imu->setStatusBit(FenlarkIMU::KmBit, true);
    c.imu->setBoresightStatus(true);
    c.imu->setStatusBit(FenlarkIMU::KmBit, false);
    EXPECT_EQ(device.bankCopy(1)[0], 0x08);
    EXPECT_TRUE(c.imu->getBoresightStatus());
    EXPECT_FALSE(c.imu->getStatusBit(FenlarkIMU::KmBit));
}

TEST(Protocol, SavedSettingsSurviveARestart) {
    const auto stateFile = std::filesystem::temp_directory_path() /
                           ("qv-state-" + std::to_string(::getpid()) + ".bin");
    std::filesystem::remove(stateFile);
    sim::Options o = simOptions("SAVE");
    o.stateFile = stateFile.string();
    {
        sim::TrackerSim device(o);
        Connection c(device);
        c.imu->setJitterStatus(true);
        c.imu->saveSettings();
        EXPECT_EQ(device.commandCount('9'), 1u);
        EXPECT_FALSE(device.streaming());
    }
    {
        sim::TrackerSim device(o);
        Connection c(device);
        EXPECT_TRUE(c.imu->getJitterStatus());
    }
    std::filesystem::remove(stateFile);
}

TEST(Protocol, StreamStartsAndStopsAndClosingStopsIt) {
    sim::TrackerSim device(simOptions("S"));
    {
        Connection c(device);
        EXPECT_FALSE(device.streaming());
        c.imu->startStreaming();
        EXPECT_TRUE(eventually([&] { return device.streaming(); }));
        DeviceInfo info;
        c.imu->getDeviceInfo(&info);
        EXPECT_STREQ(info.port, device.devicePath().c_str());
    }
    EXPECT_FALSE(device.streaming());
}

}  // namespace

namespace {

// Replies are taken as soon as they are whole, but a slow device still gets
// the whole pause: a reply just inside it is taken, one beyond it is not.
// A loaded machine can only make a reply later, never earlier, so a reply
// inside the pause gets a few tries; a wait that gave up early would miss it
// every time.
constexpr int kTriesInsideThePause = 3;

TEST(Protocol, RepliesAreTakenUpToTheEndOfTheirPause) {
    const struct {
        const char* name;
        unsigned delayMs;
        const char* error;
    } cases[] = {
        {"inside the pause", 60, ""},
        {"beyond the pause", 140, "FenlarkIMU: Read command failed"},
    };
    sim::TrackerSim device(simOptions("SLOW"));
    Connection c(device);
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        sim::Faults slow;
        slow.replyDelayMs = k.delayMs;
        std::string error;
        for (int i = 0; i < kTriesInsideThePause; ++i) {
            device.setFaults(slow);
            error = errorOf([&] { c.imu->getConfig(true); });
            device.setFaults({});
            ASSERT_TRUE(lineGoesQuiet(device));  // a late reply passes before the next command
            if (error == k.error) break;
        }
        EXPECT_EQ(error, k.error);
    }
}

TEST(Protocol, IdentificationReplyJustInsideItsPauseIsTaken) {
    sim::Options o = simOptions("IDLATE");
    // The identification allows 20 ms; its 36 bytes take 3.4 ms on the line.
    o.faults.replyDelayMs = 8;
    std::string error;
    for (int i = 0; i < kTriesInsideThePause; ++i) {
        sim::TrackerSim device(o);
        error = constructionError(device);
        if (error.empty()) break;
    }
    EXPECT_EQ(error, "");
}

}  // namespace
