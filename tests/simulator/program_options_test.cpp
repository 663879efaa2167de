// The tracker_sim command line.
#include "program_options.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <string>

#include "temp_dir.h"

namespace {

using Args = std::vector<std::string>;
using namespace simtest;

TEST(ProgramOptions, AllOptionsAreTaken) {
    const auto o = sim::parseProgramOptions(
        {"--link", "/tmp/tracker", "--id", "AB12", "--firmware=2.17", "--state", "s.bin",
         "--fault-no-id", "--fault-short-id", "--fault-wrong-id", "--fault-bad-checksum",
         "--fault-status", "255", "--reply-delay=40"});
    EXPECT_EQ(o.link, "/tmp/tracker");
    EXPECT_EQ(o.sim.identity.id, "AB12");
    EXPECT_EQ(o.sim.identity.firmwareMajor, 2);
    EXPECT_EQ(o.sim.identity.firmwareMinor, 17);
    EXPECT_EQ(o.sim.stateFile, "s.bin");
    EXPECT_TRUE(o.sim.faults.noId && o.sim.faults.shortId && o.sim.faults.wrongId &&
                o.sim.faults.badChecksum);
    EXPECT_EQ(o.sim.faults.status, 255);
    EXPECT_EQ(o.sim.faults.replyDelayMs, 40u);
    EXPECT_FALSE(o.help);

    TempDir dir;
    writeFile(dir.file("moves.txt"), "1 0 0 90\n0.5 0 0 0  0 2 0\n");
    const auto m = sim::parseProgramOptions({"--script",
                                             dir.file("moves.txt"),
                                             "--orientation",
                                             "0,1,0,0",
                                             "--truth",
                                             "t.csv",
                                             "--field=50,60",
                                             "--soft-iron",
                                             "1,0,0,0,2,0,0,0,3",
                                             "--hard-iron",
                                             "1,-2,3.5",
                                             "--gyro-bias",
                                             "0.1,0,-0.1",
                                             "--noise",
                                             "0",
                                             "--noise-seed",
                                             "9",
                                             "--clock-start",
                                             "4294967295",
                                             "--transmit-fifo",
                                             "128",
                                             "--fault-garbage-every",
                                             "3",
                                             "--fault-wrong-end-every",
                                             "4",
                                             "--fault-drop-byte-every",
                                             "5",
                                             "--fault-pause-every",
                                             "6",
                                             "--fault-unplug-after",
                                             "700"});
    EXPECT_EQ(m.sim.motion.kind, sim::Motion::Kind::Scripted);
    ASSERT_EQ(m.sim.motion.script.size(), 2u);
    EXPECT_DOUBLE_EQ(m.sim.motion.script[1].linearAcceleration[1], 2);
    EXPECT_DOUBLE_EQ(m.sim.motion.initial.x, 1);
    EXPECT_EQ(m.sim.truthFile, "t.csv");
    EXPECT_NEAR(m.sim.environment.field[0], 25, 1e-9);
    EXPECT_NEAR(m.sim.environment.field[2], -50 * std::sin(60 * 3.14159265358979 / 180), 1e-9);
    EXPECT_EQ(m.sim.environment.softIron[2][2], 3);
    EXPECT_EQ(m.sim.environment.hardIron[2], 3.5);
    EXPECT_EQ(m.sim.environment.gyroBias[2], -0.1);
    EXPECT_EQ(m.sim.environment.noiseScale, 0);
    EXPECT_EQ(m.sim.environment.noiseSeed, 9u);
    EXPECT_EQ(m.sim.clockStart, 4294967295u);
    EXPECT_EQ(m.sim.transmitFifo, 128u);
    EXPECT_EQ(m.sim.faults.garbageEvery, 3u);
    EXPECT_EQ(m.sim.faults.wrongEndEvery, 4u);
    EXPECT_EQ(m.sim.faults.dropByteEvery, 5u);
    EXPECT_EQ(m.sim.faults.pauseEvery, 6u);
    EXPECT_EQ(m.sim.faults.pauseMs, 500u) << "a pause needs a length";
    EXPECT_EQ(m.sim.faults.unplugAfter, 700u);
    const auto r =
        sim::parseProgramOptions({"--motion", "still", "--seed", "12", "--motion", "random"});
    EXPECT_EQ(r.sim.motion.kind, sim::Motion::Kind::Random);
    EXPECT_EQ(r.sim.motion.seed, 12u);

    const auto defaults = sim::parseProgramOptions({});
    EXPECT_EQ(defaults.sim.identity.id, "QV00001");
    EXPECT_EQ(defaults.sim.faults.status, 0);
    EXPECT_TRUE(sim::parseProgramOptions({"--help"}).help);
}

TEST(ProgramOptions, InvalidCommandLinesAreUsageErrors) {
    const Args cases[] = {
        {"--bogus"},
        {"extra"},
        {"--link"},
        {"--id", ""},
        {"--id", "QV000012"},
        {"--firmware", "1"},
        {"--firmware", "1.x"},
        {"--firmware", "65536.0"},
        {"--fault-status", "0"},
        {"--fault-status", "256"},
        {"--fault-status", "-1"},
        {"--reply-delay", "ten"},
        {"--fault-no-id=1"},
        {"--motion", "wobbly"},
        {"--script", "/nonexistent/script"},
        {"--orientation", "1,0,0"},
        {"--orientation", "0,0,0,0"},
        {"--hard-iron", "1,2,x"},
        {"--soft-iron", "1,0,0,0,1,0,0,0"},
        {"--noise", "-1"},
        {"--clock-start", "4294967296"},
        {"--transmit-fifo", "8"},
        {"--fault-pause-every", "0"},
    };
    for (const auto& args : cases)
        EXPECT_THROW(sim::parseProgramOptions(args), sim::UsageError) << args[0];
}

// A motion script that cannot be used is a usage error naming the file and
// the reason, found without waiting on a FIFO or reading on without end; the
// message quotes the offending text safely.
TEST(ProgramOptions, UnusableScriptFilesAreRefusedWithTheReason) {
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    writeFile(dir.file("large"), std::string(2 << 20, '#'));
    writeFile(dir.file("escape"), "1 0 0 \x1b[2J\n");
    writeFile(dir.file("empty"), "# nothing but a comment\n");
    ::mkdir(dir.file("dir").c_str(), 0700);
    const struct {
        std::string path;
        std::string says;
    } cases[] = {
        {dir.file("dir"), "is a directory"},
        {dir.file("fifo"), "is not a regular file"},
        {"/dev/zero", "is not a regular file"},
        {dir.file("large"), "larger than 1048576 bytes"},
        {dir.file("missing"), "no such file"},
        {dir.file("escape"), "line 1: '\\x1B[2J' is not a number"},
        {dir.file("empty"), "no segment"},
    };
    for (const auto& c : cases) {
        try {
            sim::parseProgramOptions({"--script", c.path});
            ADD_FAILURE() << "accepted " << c.path;
        } catch (const sim::UsageError& e) {
            const std::string message = e.what();
            EXPECT_NE(message.find("--script '" + c.path + "': "), std::string::npos) << message;
            EXPECT_NE(message.find(c.says), std::string::npos) << message;
        }
    }
    ::rmdir(dir.file("dir").c_str());
}

TEST(ProgramOptions, MessagesQuoteArgumentsSafely) {
    const struct {
        Args args;
        std::string says;
    } cases[] = {
        {{"--\x1b]0;title\x07"}, "unknown option '--\\x1B]0;title\\x07'"},
        {{"--id", "\x1b[31m"}, "identification '\\x1B[31m'"},
        {{"--seed", std::string(100000, '9')}, "(100000 bytes)"},
    };
    for (const auto& c : cases) {
        try {
            sim::parseProgramOptions(c.args);
            ADD_FAILURE() << "accepted " << c.args[0];
        } catch (const sim::UsageError& e) {
            const std::string message = e.what();
            EXPECT_NE(message.find(c.says), std::string::npos) << message;
            EXPECT_LT(message.size(), 200u);
            for (const char ch : message) EXPECT_GE(static_cast<unsigned char>(ch), 0x20);
        }
    }
}

}  // namespace
