// Device discovery end to end: the exported function against simulated
// trackers on real pseudo-terminals.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "fenlark_io_posix.h"
#include "pty_relay.h"
#include "quorvane.h"
#include "sim_fixture.h"

namespace fs = std::filesystem;
using namespace Quorvane::testing;

namespace {

// A line between the host and a simulated tracker that loses the tracker's
// replies to the first `lost` identification requests, as a host too busy to
// read within the reply window does. The requests still reach the tracker.
// The counters are the relay thread's only.
class LossyLine {
  public:
    LossyLine(const std::string& devicePath, int lost)
        : toLose_(lost),
          relay_(
              devicePath,
              [this](const std::uint8_t* bytes, std::size_t size) {
                  for (std::size_t i = 0; i < size; ++i) {
                      if (previous_ == 0x1B && bytes[i] == 'I' && toLose_ > 0) {
                          --toLose_;
                          dropping_ = true;
                      }
                      previous_ = bytes[i];
                  }
              },
              [this](const std::uint8_t* bytes, std::size_t size) {
                  std::size_t lost = 0;
                  while (dropping_ && lost < size) dropping_ = bytes[lost++] != '\n';
                  return lost;
              }) {}

    const std::string& path() const { return relay_.path(); }

  private:
    int toLose_;
    std::uint8_t previous_ = 0;
    bool dropping_ = false;  // until the end of the reply being lost
    PtyRelay relay_;         // last: its thread uses the counters
};

// A pseudo-terminal that no tracker serves, set up as another program left it.
struct ForeignPty {
    ForeignPty() {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return;
        path = ptsname(master);
        slave = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    }
    ~ForeignPty() {
        if (slave >= 0) ::close(slave);
        if (master >= 0) ::close(master);
    }
    termios settings() const {
        termios tio{};
        tcgetattr(slave, &tio);
        return tio;
    }
    int master = -1, slave = -1;
    std::string path;
};

// Waits until `done` holds (the simulator counts commands on its own thread);
// false when it has not after two seconds.
template <typename Done>
bool eventually(Done done) {
    for (int i = 0; i < 2000 && !done(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
}

std::vector<FenlarkPortProblem> portProblems() {
    FenlarkPortProblem list[16];
    const int n = fenlarkGetPortProblems(list, 16);
    return n < 0 ? std::vector<FenlarkPortProblem>(list, list + 16)
                 : std::vector<FenlarkPortProblem>(list, list + n);
}

// A scratch folder for links to the simulated trackers.
struct ScratchDir {
    ScratchDir() : root(fs::temp_directory_path() / ("qv-discovery-" + std::to_string(getpid()))) {
        fs::remove_all(root);
        fs::create_directories(root);
    }
    ~ScratchDir() { fs::remove_all(root); }
    // A symlink to `target` whose own path is exactly `length` characters.
    std::string linkOfLength(const std::string& target, size_t length) const {
        const fs::path dir = root / std::string(100, 'd');
        fs::create_directories(dir);
        const std::string path =
            dir.string() + "/" + std::string(length - dir.string().size() - 1, 'n');
        fs::create_symlink(target, path);
        return path;
    }
    fs::path root;
};

class Discovery : public ::testing::Test {
  protected:
    void TearDown() override { unsetenv(Quorvane::kExtraPortsVariable); }

    DeviceInfo list[4];
    void poison() { std::memset(list, 0x5A, sizeof list); }
};

TEST_F(Discovery, ListsTrackersInPortOrderWithIdentity) {
    sim::TrackerSim a(simOptions("QVA0001", 1, 4));
    sim::TrackerSim b(simOptions("B", 2, 11));
    listPorts({b.devicePath(), a.devicePath()});
    poison();

    ASSERT_EQ(fenlarkGetDeviceList(list, 4), 2);
    const struct {
        const sim::TrackerSim& sim;
        const char* id;
        int major, minor;
    } expected[] = {{b, "B", 2, 11}, {a, "QVA0001", 1, 4}};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_STREQ(list[i].port, expected[i].sim.devicePath().c_str());
        EXPECT_STREQ(list[i].id, expected[i].id);
        EXPECT_EQ(list[i].reserved, 0u);
        EXPECT_EQ(list[i].firmwareMajor, expected[i].major);
        EXPECT_EQ(list[i].firmwareMinor, expected[i].minor);
        // Identification stopped the factory-fresh stream, and it stays stopped.
        EXPECT_FALSE(expected[i].sim.streaming());
    }
    EXPECT_EQ(list[2].reserved, 0x5A5A5A5Au);  // nothing copied past the count
}

TEST_F(Discovery, DeviceFailingIdentificationThreeTimesIsLeftOut) {
    sim::TrackerSim good(simOptions("GOOD"));
    sim::Options badOptions = simOptions("BAD");
    badOptions.faults.wrongId = true;
    sim::TrackerSim bad(badOptions);
    listPorts({bad.devicePath(), good.devicePath()});

    ASSERT_EQ(fenlarkGetDeviceList(list, 4), 1);
    EXPECT_STREQ(list[0].id, "GOOD");
    EXPECT_EQ(bad.commandCount('I'), 3u);
    EXPECT_EQ(good.commandCount('I'), 1u);
}

TEST_F(Discovery, PortHeldByAnotherHandleIsNotListed) {
    sim::TrackerSim held(simOptions("HELD"));
    listPorts({held.devicePath()});
    Quorvane::FenlarkIOPosix holder(4096);
    holder.open(held.devicePath(), 115200);

    EXPECT_EQ(fenlarkGetDeviceList(list, 4), 0);
    EXPECT_EQ(held.commandCount('I'), 0u);

    holder.close();
    EXPECT_EQ(fenlarkGetDeviceList(list, 4), 1);
}

TEST_F(Discovery, MoreTrackersThanRoomGivesMinusOneAndCopiesWhatFits) {
    sim::TrackerSim a(simOptions("A")), b(simOptions("B"));
    listPorts({a.devicePath(), b.devicePath()});
    poison();

    EXPECT_EQ(fenlarkGetDeviceList(list, 0), -1);
    EXPECT_EQ(list[0].reserved, 0x5A5A5A5Au);
    EXPECT_EQ(fenlarkGetDeviceList(list, 1), -1);
    EXPECT_STREQ(list[0].id, "A");
    EXPECT_EQ(list[1].reserved, 0x5A5A5A5Au);
    EXPECT_EQ(fenlarkGetDeviceList(nullptr, 0), -1);
}

TEST_F(Discovery, TellsWhyEachCandidateWasLeftOut) {
    sim::TrackerSim good(simOptions("GOOD")), held(simOptions("HELD"));
    sim::Options wrong = simOptions("WRONG"), late = simOptions("LATE");
    wrong.faults.wrongId = true;
    late.faults.replyDelayMs = 40;  // every reply, the identification's too, 40 ms late
    sim::TrackerSim foreign(wrong), slow(late);
    Quorvane::FenlarkIOPosix holder(4096);
    holder.open(held.devicePath(), 115200);
    listPorts({"/dev/nonexistent-tracker", "/dev/null", held.devicePath(), foreign.devicePath(),
               slow.devicePath(), good.devicePath()});

    ASSERT_EQ(fenlarkGetDeviceList(list, 4), 1);
    EXPECT_STREQ(list[0].id, "GOOD");
    const struct {
        std::string port;
        int32_t reason;
        const char* inMessage;
    } expected[] = {
        {"/dev/nonexistent-tracker", FENLARK_PORT_OPEN_FAILED, "no such device"},
        {"/dev/null", FENLARK_PORT_OPEN_FAILED, "not a serial port"},
        {held.devicePath(), FENLARK_PORT_BUSY, "in use by another program"},
        {foreign.devicePath(), FENLARK_PORT_BAD_REPLY, "incorrect ID"},
        {slow.devicePath(), FENLARK_PORT_NO_REPLY, "no complete identification reply"},
    };
    const std::vector<FenlarkPortProblem> problems = portProblems();
    ASSERT_EQ(problems.size(), std::size(expected));
    for (size_t i = 0; i < problems.size(); ++i) {
        SCOPED_TRACE(expected[i].port);
        EXPECT_EQ(problems[i].port, expected[i].port);
        EXPECT_EQ(problems[i].reason, expected[i].reason);
        EXPECT_NE(std::string(problems[i].message).find(expected[i].inMessage), std::string::npos)
            << problems[i].message;
    }
    EXPECT_TRUE(eventually([&] { return slow.commandCount('I') >= 3; }));
    EXPECT_EQ(slow.commandCount('I'), 3u);

    // The next discovery's problems replace these.
    listPorts({good.devicePath()});
    ASSERT_EQ(fenlarkGetDeviceList(list, 4), 1);
    EXPECT_EQ(fenlarkGetPortProblems(nullptr, 0), 0);
}

TEST_F(Discovery, ForeignPortGetsItsLineSettingsBack) {
    ForeignPty port;
    ASSERT_GE(port.slave, 0);
    termios before = port.settings();
    before.c_lflag |= ICANON | ECHO;
    before.c_cflag = (before.c_cflag & ~CSIZE) | CS7 | PARENB;
    cfsetispeed(&before, B9600);
    cfsetospeed(&before, B9600);
    ASSERT_EQ(tcsetattr(port.slave, TCSANOW, &before), 0);
    before = port.settings();
    listPorts({port.path});

    ASSERT_EQ(fenlarkGetDeviceList(list, 4), 0);
    const std::vector<FenlarkPortProblem> problems = portProblems();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].reason, FENLARK_PORT_NO_REPLY);
    const termios after = port.settings();
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_oflag, before.c_oflag);
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(std::memcmp(after.c_cc, before.c_cc, sizeof after.c_cc), 0);
    EXPECT_EQ(cfgetispeed(&after), static_cast<speed_t>(B9600));
    EXPECT_EQ(cfgetospeed(&after), static_cast<speed_t>(B9600));
}

TEST_F(Discovery, EachDeviceIsListedOnceWhicheverPathsLeadToIt) {
    sim::TrackerSim a(simOptions("A"));
    ScratchDir scratch;
    const std::string link = (scratch.root / "tracker").string();
    fs::create_symlink(a.devicePath(), link);
    const std::string roundabout =
        "/dev/pts/../pts/" + fs::path(a.devicePath()).filename().string();
    listPorts({a.devicePath(), link, a.devicePath(), roundabout});

    ASSERT_EQ(fenlarkGetDeviceList(list, 4), 1);
    EXPECT_STREQ(list[0].port, a.devicePath().c_str());
    EXPECT_EQ(a.commandCount('I'), 1u);
    const std::vector<FenlarkPortProblem> problems = portProblems();
    ASSERT_EQ(problems.size(), 3u);
    const std::string others[] = {link, a.devicePath(), roundabout};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(problems[i].port, others[i]);
        EXPECT_EQ(problems[i].reason, FENLARK_PORT_DUPLICATE);
        EXPECT_EQ(std::string(problems[i].message), "the same device as " + a.devicePath());
    }
}

TEST_F(Discovery, PathsLongerThanTheListHoldsAreLeftOutUnopened) {
    sim::TrackerSim fits(simOptions("FITS")), tooLong(simOptions("LONG"));
    ScratchDir scratch;
    const std::string longest = scratch.linkOfLength(fits.devicePath(), 255);
    const std::string over = scratch.linkOfLength(tooLong.devicePath(), 256);
    listPorts({over, longest});

    ASSERT_EQ(fenlarkGetDeviceList(list, 4), 1);
    EXPECT_EQ(list[0].port, longest);  // whole: it opens by this name
    EXPECT_STREQ(list[0].id, "FITS");
    EXPECT_EQ(tooLong.commandCount('I'), 0u);
    const std::vector<FenlarkPortProblem> problems = portProblems();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].reason, FENLARK_PORT_PATH_TOO_LONG);
    EXPECT_EQ(problems[0].port, over.substr(0, 255));
    EXPECT_NE(std::string(problems[0].message).find("256 characters"), std::string::npos)
        << problems[0].message;
}

TEST(BusyHost, OpenGivesADeviceThatMissedItsReplyWindowASecondAttempt) {
    const struct {
        int lost;
        int result;
    } cases[] = {{1, 0}, {2, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lost);
        sim::TrackerSim device(simOptions("SLOW"));
        LossyLine line(device.devicePath(), c.lost);
        VirtualFenlark* tracker = fenlarkCreate(10);
        EXPECT_EQ(fenlarkOpen(tracker, nullptr, line.path().c_str()), c.result);
        EXPECT_TRUE(eventually([&] { return device.commandCount('I') >= 2; }));
        EXPECT_EQ(device.commandCount('I'), 2u);
        if (c.result == 0) {
            char id[8];
            fenlarkGetID(tracker, id);
            EXPECT_STREQ(id, "SLOW");
        }
        fenlarkDestroy(tracker);
    }
}

TEST(BusyHost, DiscoveryKeepsATrackerThatMissedTwoReplyWindows) {
    sim::TrackerSim device(simOptions("SLOW"));
    LossyLine line(device.devicePath(), 2);
    listPorts({line.path()});
    DeviceInfo info[1];
    EXPECT_EQ(fenlarkGetDeviceList(info, 1), 1);
    EXPECT_STREQ(info[0].id, "SLOW");
    EXPECT_EQ(fenlarkGetPortProblems(nullptr, 0), 0);
    unsetenv(Quorvane::kExtraPortsVariable);
}

TEST_F(Discovery, MissingOrForeignPortsAreSkipped) {
    sim::TrackerSim a(simOptions("A"));
    listPorts({"/dev/nonexistent-tracker", "/dev/null", a.devicePath()});
    ASSERT_EQ(fenlarkGetDeviceList(list, 4), 1);
    EXPECT_STREQ(list[0].id, "A");
}

}  // namespace
