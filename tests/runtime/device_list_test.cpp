// Why discovery leaves a port out: the reason codes and messages that reach
// fenlarkGetPortProblems, and how long they are kept.
#include "device_list.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <stdexcept>
#include <string>

#include "error_of.h"
#include "fake_io.h"
#include "fenlark_io_posix.h"

using namespace Quorvane;
using Quorvane::testing::FakeIO;

namespace {

TEST(PortProblem, EachFailureGetsItsReasonAndAMessageToActOn) {
    const std::string port = "/dev/ttyACM0";
    const struct {
        const char* name;
        std::exception_ptr failure;
        int32_t reason;
        const char* inMessage;
    } cases[] = {
        {"EACCES", std::make_exception_ptr(openFailure(port, EACCES)), FENLARK_PORT_PERMISSION,
         "resources/udev/70-quorvane-tracker.rules"},
        {"EPERM", std::make_exception_ptr(openFailure(port, EPERM)), FENLARK_PORT_PERMISSION,
         "resources/udev/70-quorvane-tracker.rules"},
        {"EBUSY", std::make_exception_ptr(openFailure(port, EBUSY)), FENLARK_PORT_BUSY,
         "in use by another program"},
        {"lock held", std::make_exception_ptr(openFailure(port, EWOULDBLOCK)), FENLARK_PORT_BUSY,
         "in use by another program"},
        {"ENOENT", std::make_exception_ptr(openFailure(port, ENOENT)), FENLARK_PORT_OPEN_FAILED,
         "no such device"},
        {"ENOTTY", std::make_exception_ptr(openFailure(port, ENOTTY)), FENLARK_PORT_OPEN_FAILED,
         "not a serial port"},
        {"silent device",
         std::make_exception_ptr(
             std::runtime_error("FenlarkIMU:  No device found, no ID received")),
         FENLARK_PORT_NO_REPLY, "no complete identification reply"},
        {"foreign reply",
         std::make_exception_ptr(std::runtime_error("FenlarkIMU:  No device found, incorrect ID")),
         FENLARK_PORT_BAD_REPLY, "incorrect ID"},
        {"refused command",
         std::make_exception_ptr(std::runtime_error("FenlarkIMU: Write command failed")),
         FENLARK_PORT_BAD_REPLY, "Write command failed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            std::rethrow_exception(c.failure);
        } catch (const std::exception& e) {
            const FenlarkPortProblem p = attemptProblem(port, e);
            EXPECT_STREQ(p.port, port.c_str());
            EXPECT_EQ(p.reason, c.reason);
            EXPECT_NE(std::string(p.message).find(c.inMessage), std::string::npos) << p.message;
            // The record names the port; the sentence does not repeat it.
            EXPECT_EQ(std::string(p.message).find(port), std::string::npos) << p.message;
        }
    }
    // The exception itself keeps the message every caller has always seen.
    EXPECT_EQ(std::string(openFailure(port, EBUSY).what()), "Could not open device " + port);
}

TEST(PortProblem, TextsThatDoNotFitAreCutAndTerminated) {
    const FenlarkPortProblem p =
        portProblem(std::string(300, 'p'), FENLARK_PORT_PATH_TOO_LONG, std::string(400, 'm'));
    EXPECT_EQ(std::string(p.port), std::string(sizeof p.port - 1, 'p'));
    EXPECT_EQ(std::string(p.message), std::string(sizeof p.message - 1, 'm'));
}

// Every port refuses to open, as when another program holds them all.
class BusyPorts : public FakeIO {
  public:
    explicit BusyPorts(std::vector<std::string> paths) { ports = std::move(paths); }
    bool open(const std::string& path, int) override {
        ++opens;
        throw openFailure(path, EBUSY);
    }
    int opens = 0;
};

TEST(PortProblems, AreThoseOfTheLastDiscoveryWithTheListsCountConvention) {
    const auto busy = [] {
        return std::make_unique<BusyPorts>(std::vector<std::string>{"/dev/a", "/dev/b"});
    };
    EXPECT_EQ(getDeviceList(nullptr, 0, busy), 0);

    FenlarkPortProblem problems[3] = {};
    problems[1].reason = -7;
    EXPECT_EQ(getPortProblems(problems, 1), -1);
    EXPECT_STREQ(problems[0].port, "/dev/a");
    EXPECT_EQ(problems[0].reason, FENLARK_PORT_BUSY);
    EXPECT_EQ(problems[1].reason, -7) << "copied past maxCount";
    EXPECT_EQ(getPortProblems(nullptr, 0), -1);
    ASSERT_EQ(getPortProblems(problems, 3), 2);
    EXPECT_STREQ(problems[1].port, "/dev/b");

    // A discovery that raises leaves no stale problems behind.
    const auto unreadable = []() -> std::unique_ptr<FenlarkIO> {
        throw std::runtime_error("Can't read the list of serial devices in /x/class/tty: gone");
    };
    EXPECT_NE(Quorvane::testing::errorOf([&] { getDeviceList(nullptr, 0, unreadable); }), "");
    EXPECT_EQ(getPortProblems(problems, 3), 0);
}

TEST(PortProblems, EveryAttemptIsMadeBeforeAPortIsGivenUp) {
    BusyPorts io({"/dev/a"});
    const Discovery found = probeDevices(io);
    EXPECT_TRUE(found.devices.empty());
    ASSERT_EQ(found.problems.size(), 1u);
    EXPECT_EQ(io.opens, kIdentifyAttempts);
}

}  // namespace
