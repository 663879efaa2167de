// The Linux port backend against a real pseudo-terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <string>

#include "fenlark_io_posix.h"

using Quorvane::FenlarkIOPosix;

namespace {

class Pty : public ::testing::Test {
  protected:
    void SetUp() override {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(master, 0);
        ASSERT_EQ(grantpt(master), 0);
        ASSERT_EQ(unlockpt(master), 0);
        path = ptsname(master);
    }
    void TearDown() override {
        if (master >= 0) ::close(master);
    }

    // Reads from the master until `n` bytes came or a second passed.
    std::string masterRead(size_t n) {
        std::string got;
        for (int i = 0; i < 100 && got.size() < n; ++i) {
            pollfd pfd{master, POLLIN, 0};
            if (poll(&pfd, 1, 10) > 0) {
                char buf[256];
                const ssize_t r = ::read(master, buf, sizeof buf);
                if (r > 0) got.append(buf, static_cast<size_t>(r));
            }
        }
        return got;
    }

    static std::string openError(FenlarkIOPosix& io, const std::string& p, int baud = 115200) {
        try {
            io.open(p, baud);
        } catch (const std::runtime_error& e) {
            return e.what();
        }
        return "";
    }

    int master = -1;
    std::string path;
};

TEST_F(Pty, OpensRawAtTheLineSettings) {
    FenlarkIOPosix io(4096);
    ASSERT_TRUE(io.open(path, 115200));
    EXPECT_TRUE(io.isOpen());
    EXPECT_EQ(io.portName(), path);

    const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);  // root may peek
    if (fd >= 0) {
        termios tio{};
        ASSERT_EQ(tcgetattr(fd, &tio), 0);
        EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
        EXPECT_TRUE(tio.c_cflag & CSTOPB);
        EXPECT_FALSE(tio.c_cflag & PARENB);
        EXPECT_FALSE(tio.c_cflag & CRTSCTS);
        EXPECT_FALSE(tio.c_iflag & (IXON | IXOFF));
        EXPECT_FALSE(tio.c_lflag & (ICANON | ECHO | ISIG));
        EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B115200));
        ::close(fd);
    }
}

TEST_F(Pty, MovesBytesBothWaysWithoutBlocking) {
    FenlarkIOPosix io(4096);
    io.open(path, 115200);
    EXPECT_EQ(io.read(), 0);  // nothing arrived: returns at once

    const unsigned char cmd[] = {0x1B, 'I'};
    EXPECT_TRUE(io.write(cmd, 2));
    EXPECT_EQ(masterRead(2), std::string("\x1bI"));

    const std::string reply = "\x00\x01 binary \r\n with \x1b bytes";
    ASSERT_EQ(::write(master, reply.data(), reply.size()), static_cast<ssize_t>(reply.size()));
    for (int i = 0; i < 100 && io.available() < static_cast<int>(reply.size()); ++i) {
        io.read();
        usleep(1000);
    }
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(io.data()), io.available()), reply);

    io.clear();
    EXPECT_EQ(io.available(), 0);
}

// A clear right after a command (the stop byte before a configuration read)
// must not take the command back: on a pseudo-terminal the other side may not
// have read it yet. What came from the device is dropped.
TEST_F(Pty, ClearDropsWhatCameInButKeepsWhatWasSent) {
    FenlarkIOPosix io(4096);
    io.open(path, 115200);
    ASSERT_EQ(::write(master, "stale", 5), 5);
    for (int i = 0; i < 100 && io.available() < 5; ++i) {
        io.read();
        usleep(1000);
    }
    ASSERT_EQ(::write(master, "more", 4), 4);
    const unsigned char stop = ' ';
    ASSERT_TRUE(io.write(&stop, 1));
    io.clear();  // before the master reads anything
    EXPECT_EQ(masterRead(1), " ");
    EXPECT_EQ(io.available(), 0);
    usleep(20000);
    EXPECT_EQ(io.read(), 0);  // "more" went with the clear
}

TEST_F(Pty, PortIsExclusiveUntilClosed) {
    FenlarkIOPosix first(4096), second(4096);
    first.open(path, 115200);
    EXPECT_EQ(openError(second, path), "Could not open device " + path);
    EXPECT_FALSE(second.isOpen());
    EXPECT_TRUE(first.close());
    EXPECT_FALSE(first.isOpen());
    EXPECT_EQ(first.portName(), "");
    EXPECT_EQ(openError(second, path), "");
    EXPECT_TRUE(second.isOpen());
}

TEST_F(Pty, ClosedPortReadsNothingAndRefusesWrites) {
    FenlarkIOPosix io(4096);
    io.open(path, 115200);
    io.close();
    const unsigned char b = ' ';
    EXPECT_FALSE(io.write(&b, 1));
    EXPECT_EQ(io.read(), 0);
    EXPECT_FALSE(io.close());
}

TEST_F(Pty, NeverOpenedPortBecomesClosedByClose) {
    FenlarkIOPosix io(4096);
    const unsigned char b = ' ';
    EXPECT_THROW(io.write(&b, 1), std::runtime_error);
    EXPECT_THROW(io.read(), std::runtime_error);
    EXPECT_FALSE(io.close());
    EXPECT_FALSE(io.isOpen());
    EXPECT_FALSE(io.write(&b, 1));
    EXPECT_EQ(io.read(), 0);
}

// The tracker unplugged: the other end of the line is gone. Whichever call
// meets the hang-up first, the port reports it, stops waiting and refuses
// writes, instead of reporting data that never comes.
TEST_F(Pty, UnpluggedDeviceIsHungUpAndNoLongerWaitedFor) {
    enum class FirstCall { Wait, Read, Write };
    for (FirstCall first : {FirstCall::Wait, FirstCall::Read, FirstCall::Write}) {
        SCOPED_TRACE(static_cast<int>(first));
        if (master < 0) SetUp();
        FenlarkIOPosix io(4096);
        ASSERT_TRUE(io.open(path, 115200));
        EXPECT_FALSE(io.hungUp());
        EXPECT_FALSE(io.waitForData(0));

        ::close(master);
        master = -1;
        const unsigned char b = ' ';
        switch (first) {
            case FirstCall::Wait:
                EXPECT_FALSE(io.waitForData(20000));
                break;
            case FirstCall::Read:
                EXPECT_EQ(io.read(), 0);
                break;
            case FirstCall::Write:
                EXPECT_FALSE(io.write(&b, 1));
                break;
        }
        EXPECT_TRUE(io.hungUp());

        // A long wait returns at once, far from its time-out.
        const auto before = std::chrono::steady_clock::now();
        EXPECT_FALSE(io.waitForData(20000, 1));
        EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(10));
        EXPECT_EQ(io.read(), 0);
        EXPECT_FALSE(io.write(&b, 1));
        EXPECT_TRUE(io.isOpen());  // until the owner closes it
        io.close();
        EXPECT_FALSE(io.isOpen());

        // A fresh open starts without the hang-up.
        SetUp();
        ASSERT_TRUE(io.open(path, 115200));
        EXPECT_FALSE(io.hungUp());
        EXPECT_TRUE(io.write(&b, 1));
    }
}

TEST_F(Pty, BadPathsAndSettingsAreRefused) {
    FenlarkIOPosix io(4096);
    for (const char* p : {"/nonexistent/ttyACM0", "/dev/null"}) {
        EXPECT_EQ(openError(io, p), std::string("Could not open device ") + p);
    }
    EXPECT_EQ(openError(io, path, 12345), "Could not open device " + path);
    EXPECT_FALSE(io.isOpen());
    // The refused open left the tty free.
    EXPECT_EQ(openError(io, path), "");
}

}  // namespace

namespace {

TEST(OpenFailure, PermissionProblemsPointAtTheUdevRule) {
    EXPECT_EQ(Quorvane::openFailureMessage("/dev/ttyACM0", ENOENT),
              "Could not open device /dev/ttyACM0");
    for (int error : {EACCES, EPERM}) {
        const std::string m = Quorvane::openFailureMessage("/dev/ttyACM0", error);
        EXPECT_EQ(m.rfind("Could not open device /dev/ttyACM0 (permission denied", 0), 0u) << m;
        EXPECT_NE(m.find("70-quorvane-tracker.rules"), std::string::npos) << m;
    }
}

}  // namespace
