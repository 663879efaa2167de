// The tracker_sim command line.
#include "program_options.h"

#include <gtest/gtest.h>

namespace {

using Args = std::vector<std::string>;

TEST(ProgramOptions, AllOptionsAreTaken) {
    const auto o = sim::parseProgramOptions(
        {"--link", "/tmp/tracker", "--id", "AB12", "--firmware=2.17", "--state", "s.bin",
         "--fault-no-id", "--fault-short-id", "--fault-wrong-id", "--fault-bad-checksum",
         "--fault-status", "255", "--reply-delay=40"});
    EXPECT_EQ(o.link, "/tmp/tracker");
    EXPECT_EQ(o.sim.id, "AB12");
    EXPECT_EQ(o.sim.firmwareMajor, 2);
    EXPECT_EQ(o.sim.firmwareMinor, 17);
    EXPECT_EQ(o.sim.stateFile, "s.bin");
    EXPECT_TRUE(o.sim.faults.noId && o.sim.faults.shortId && o.sim.faults.wrongId &&
                o.sim.faults.badChecksum);
    EXPECT_EQ(o.sim.faults.status, 255);
    EXPECT_EQ(o.sim.faults.replyDelayMs, 40u);
    EXPECT_FALSE(o.help);

    const auto defaults = sim::parseProgramOptions({});
    EXPECT_EQ(defaults.sim.id, "QV00001");
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
    };
    for (const auto& args : cases)
        EXPECT_THROW(sim::parseProgramOptions(args), sim::UsageError) << args[0];
}

}  // namespace
