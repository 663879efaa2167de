// The console demo end to end: the real program against a simulated tracker.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "fenlark_io_posix.h"
#include "quaternion.h"
#include "tracker_sim.h"

namespace fs = std::filesystem;

namespace {

struct DemoRun {
    std::string out, err;
    int exitCode = -1;  // -1: still running when stopped
};

// Runs the demo with the given environment for at most `seconds`, then
// ends it with SIGTERM, as a user ends it.
DemoRun runDemo(const std::vector<std::string>& env, double seconds) {
    int outPipe[2], errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        close(outPipe[0]);
        close(errPipe[0]);
        for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
        execl(TRACKER_DEMO_PATH, "tracker_demo", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    DemoRun run;
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    bool outOpen = true, errOpen = true;
    while ((outOpen || errOpen) && std::chrono::steady_clock::now() < end) {
        pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
        if (poll(fds, 2, 50) <= 0) continue;
        char buf[4096];
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP))) continue;
            const ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0)
                (i == 0 ? run.out : run.err).append(buf, static_cast<size_t>(n));
            else
                (i == 0 ? outOpen : errOpen) = false;
        }
    }
    int status = 0;
    // A demo that closed its output is ending: give it a moment to exit.
    pid_t ended = waitpid(pid, &status, WNOHANG);
    for (int i = 0; ended == 0 && !outOpen && !errOpen && i < 500; ++i) {
        usleep(10000);
        ended = waitpid(pid, &status, WNOHANG);
    }
    if (ended == 0) {
        kill(pid, SIGTERM);
        waitpid(pid, &status, 0);
        // What the demo printed before the signal, it flushed line by line.
        char buf[4096];
        ssize_t n;
        while ((n = read(outPipe[0], buf, sizeof buf)) > 0)
            run.out.append(buf, static_cast<size_t>(n));
    } else if (WIFEXITED(status)) {
        run.exitCode = WEXITSTATUS(status);
    }
    close(outPipe[0]);
    close(errPipe[0]);
    return run;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

struct SampleLine {
    double time, temp, acc[3], gyr[3], mag[3], quat[4], euler[3];
};

bool parseSample(const std::string& line, SampleLine* s) {
    return std::sscanf(
               line.c_str(),
               "Time: %lf\tTemp: %lf\tAcc: %lf, %lf, %lf\tGyr: %lf, %lf, %lf\tMag: %lf, %lf, "
               "%lf\tQuat: %lf, %lf, %lf, %lf\tEuler: %lf, %lf, %lf",
               &s->time, &s->temp, &s->acc[0], &s->acc[1], &s->acc[2], &s->gyr[0], &s->gyr[1],
               &s->gyr[2], &s->mag[0], &s->mag[1], &s->mag[2], &s->quat[0], &s->quat[1],
               &s->quat[2], &s->quat[3], &s->euler[0], &s->euler[1], &s->euler[2]) == 18;
}

std::vector<SampleLine> samples(const std::vector<std::string>& all) {
    std::vector<SampleLine> out;
    for (const std::string& l : all) {
        SampleLine s;
        if (l.rfind("Time:", 0) == 0 && parseSample(l, &s)) out.push_back(s);
    }
    return out;
}

class Demo : public ::testing::Test {
  protected:
    void SetUp() override {
        // An empty sysfs tree: attached hardware stays out of these runs.
        sysfs = fs::temp_directory_path() / ("qv-demo-sysfs-" + std::to_string(getpid()));
        fs::create_directories(sysfs / "class" / "tty");
    }
    void TearDown() override { fs::remove_all(sysfs); }

    std::vector<std::string> envFor(const std::string& ports) const {
        return {"QUORVANE_SYSFS_ROOT=" + sysfs.string(), "QUORVANE_EXTRA_PORTS=" + ports};
    }
    static sim::Options still(const sim::Quat& q) {
        sim::Options o;
        o.motion.kind = sim::Motion::Kind::Still;
        o.motion.initial = q;
        // No board distortion, so the heading shows the conventions alone.
        o.environment.hardIron = {0, 0, 0};
        o.environment.softIron = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
        return o;
    }

    fs::path sysfs;
};

TEST_F(Demo, ListsConfiguresAndStreamsSamplesMatchingTheTruth) {
    sim::TrackerSim device(still({0.8, 0.2, -0.3, 0.45}));
    const DemoRun run = runDemo(envFor(device.devicePath()), 6.0);
    const std::vector<std::string> out = lines(run.out);
    ASSERT_GT(out.size(), 16u) << run.out << run.err;
    const std::vector<std::string> head(out.begin(), out.begin() + 16);
    const std::vector<std::string> expected = {
        "Number of Fenlarks found: 1",
        device.devicePath() + ":\t QV00001 (FW 1.4)",
        "",
        "",
        "Fenlark IMU",
        "Device ID:        QV00001",
        "Sensor config:    1023",
        "Magnetic div:     3",
        "Frequency:        100",
        "ASCII output:     0",
        "autoStart:        1",
        "RAW mode:         0",
        "Jitter reduction: 1",
        "",
        "",
    };
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(head[i], expected[i]) << "line " << i;
    EXPECT_EQ(run.err, "");

    const std::vector<SampleLine> s = samples(out);
    ASSERT_GT(s.size(), 150u);
    for (size_t i = 1; i < s.size(); ++i) ASSERT_GT(s[i].time, s[i - 1].time);
    // About 100 samples a second of device time.
    const double rate = (s.size() - 1) / (s.back().time - s.front().time);
    EXPECT_NEAR(rate, 100.0, 10.0);
    for (const SampleLine& x : s) {
        const double n = std::sqrt(x.quat[0] * x.quat[0] + x.quat[1] * x.quat[1] +
                                   x.quat[2] * x.quat[2] + x.quat[3] * x.quat[3]);
        ASSERT_NEAR(n, 1.0, 0.02);
    }
    // Once the host filter has settled, its angles are the truth's.
    const sim::Quat q = *device.truthAt(static_cast<uint32_t>(std::lround(s.back().time * 10000)));
    float truth[3];
    Filtering::eulerAngles({static_cast<float>(q.w), static_cast<float>(q.x),
                            static_cast<float>(q.y), static_cast<float>(q.z)},
                           truth);
    for (int i = 0; i < 3; ++i) {
        double diff = std::fmod(std::abs(s.back().euler[i] - truth[i] * 57.29577951308232), 360.0);
        diff = std::min(diff, 360.0 - diff);
        EXPECT_LT(diff, 10.0) << "angle " << i << ": " << s.back().euler[i];
    }
}

TEST_F(Demo, KeepsPrintingAcrossTheClockWrap) {
    sim::Options o = still({1, 0, 0, 0});
    o.clockStart = 0xFFFFFFFFu - 40000;  // the clock wraps 4 s after power-up
    sim::TrackerSim device(o);
    const DemoRun run = runDemo(envFor(device.devicePath()), 8.0);
    const std::vector<SampleLine> s = samples(lines(run.out));
    size_t before = 0, after = 0;
    for (const SampleLine& x : s) (x.time > 400000 ? before : after) += 1;
    EXPECT_GT(before, 20u) << run.out;
    EXPECT_GT(after, 100u) << run.out;
}

TEST_F(Demo, UnpluggedTrackerIsReportedAndEndsTheDemo) {
    sim::Options o = still({1, 0, 0, 0});
    o.faults.unplugAfter = 300;
    sim::TrackerSim device(o);
    const DemoRun run = runDemo(envFor(device.devicePath()), 30.0);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.err.find("Tracker QV00001 is gone"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("firmware"), std::string::npos) << run.err;
    EXPECT_GT(samples(lines(run.out)).size(), 100u);
}

TEST_F(Demo, WithoutTrackersSaysSoAndEndsWithZero) {
    const DemoRun run = runDemo(envFor(""), 20.0);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "Number of Fenlarks found: 0\n\n\n");
    EXPECT_EQ(run.err, "No Fenlark sensors found\n");
}

TEST_F(Demo, UnreadableDeviceListIsReportedNotACrash) {
    std::vector<std::string> env = envFor("");
    env[0] = "QUORVANE_SYSFS_ROOT=" + (sysfs / "missing").string();
    const DemoRun run = runDemo(env, 20.0);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "");
    const std::string expected = "Can't read the list of serial devices in " +
                                 (sysfs / "missing" / "class" / "tty").string() + ": ";
    EXPECT_NE(run.err.find(expected), std::string::npos) << run.err;
}

TEST_F(Demo, WithoutTrackersTellsWhyEachPortWasLeftOut) {
    sim::TrackerSim held(still({1, 0, 0, 0}));
    Quorvane::FenlarkIOPosix holder(4096);
    holder.open(held.devicePath(), 115200);
    const DemoRun run = runDemo(envFor(held.devicePath() + ",/dev/nonexistent-tracker"), 20.0);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "Number of Fenlarks found: 0\n\n\n");
    EXPECT_EQ(run.err, "No Fenlark sensors found\n" + held.devicePath() +
                           ": in use by another program\n"
                           "/dev/nonexistent-tracker: could not be opened: no such device\n");
}

}  // namespace
