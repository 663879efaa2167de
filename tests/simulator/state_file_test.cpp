// Persistence of the parameter memory in the state file.
#include "state_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <stdexcept>
#include <string>

#include "temp_dir.h"
#include "tracker_sim.h"

namespace {

using simtest::TempDir;

sim::ParameterMemory modifiedMemory() {
    auto memory = sim::ParameterMemory::factory();
    for (std::size_t i = 0; i < memory.bank(0).size(); ++i)
        memory.bank(0)[i] = static_cast<std::uint8_t>(i * 3 + 1);
    memory.bank(1)[0] = 0x1F;
    memory.bank(1)[140] = 0xA5;
    return memory;
}

TEST(StateFile, SaveThenLoadGivesTheSameMemory) {
    TempDir dir;
    const std::string path = dir.file("tracker.state");
    EXPECT_FALSE(sim::loadStateFile(path).has_value());

    const auto memory = modifiedMemory();
    sim::saveStateFile(path, memory);
    auto loaded = sim::loadStateFile(path);
    ASSERT_TRUE(loaded.has_value());
    EXPECT_TRUE(*loaded == memory);

    // Saving again replaces the file and leaves no temporary file behind.
    sim::saveStateFile(path, sim::ParameterMemory::factory());
    EXPECT_TRUE(*sim::loadStateFile(path) == sim::ParameterMemory::factory());
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"tracker.state"});
}

TEST(StateFile, CorruptFilesAreRejectedAndKept) {
    TempDir dir;
    const std::string path = dir.file("tracker.state");
    sim::saveStateFile(path, modifiedMemory());
    const std::string good = simtest::readFile(path);
    ASSERT_EQ(good.size(), 10u + 222u + 141u);

    std::string wrongMagic = good, wrongVersion = good, wrongBank = good;
    wrongMagic[0] = 'X';
    wrongVersion[4] = 2;
    wrongBank[8] = 140;
    const std::string cases[] = {
        "",           good.substr(0, 9), good.substr(0, good.size() - 1), good + '\0', wrongMagic,
        wrongVersion, wrongBank,
    };
    for (const auto& contents : cases) {
        simtest::writeFile(path, contents);
        try {
            sim::loadStateFile(path);
            ADD_FAILURE() << "accepted a state file of " << contents.size() << " bytes";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
        }
    }

    // The simulator refuses to start on it, and does not overwrite it.
    simtest::writeFile(path, wrongMagic);
    sim::Options options;
    options.stateFile = path;
    EXPECT_THROW(sim::TrackerSim{options}, std::runtime_error);
    EXPECT_EQ(simtest::readFile(path), wrongMagic);
}

// Files the simulator cannot use stop it at start with the reason, at once:
// a FIFO is not waited on, /dev/zero not read on without end.
TEST(StateFile, UnusableFilesAreRefusedWithoutWaiting) {
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    simtest::writeFile(dir.file("large"), std::string(1 << 20, 'T'));
    const struct {
        std::string path;
        std::string says;
    } cases[] = {
        {"/tmp", "is a directory"},
        {dir.file("fifo"), "is not a regular file"},
        {"/dev/zero", "is not a regular file"},
        {dir.file("large"), "larger than 373 bytes"},
    };
    for (const auto& c : cases) {
        try {
            sim::loadStateFile(c.path);
            ADD_FAILURE() << "accepted " << c.path;
        } catch (const std::runtime_error& e) {
            const std::string message = e.what();
            EXPECT_NE(message.find("'" + c.path + "': " + c.says), std::string::npos) << message;
        }
        sim::Options options;
        options.stateFile = c.path;
        EXPECT_THROW(sim::TrackerSim{options}, std::runtime_error) << c.path;
    }
    // The truth file is written, but a FIFO would block its opening all the same.
    for (const std::string& path : {dir.file("fifo"), std::string("/tmp")}) {
        sim::Options options;
        options.truthFile = path;
        EXPECT_THROW(sim::TrackerSim{options}, std::runtime_error) << path;
    }
}

}  // namespace
