// Start, stop, close and destroy against a simulated tracker: the acquisition
// thread's life, ports that stay closed, faults while streaming, and callers
// that change settings while the tracker streams.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <stdexcept>
#include <string>

#include "thread_failure.h"
#include "tracker_fixture.h"

namespace {

using namespace Quorvane::testing;

const sim::Quat kTilted = {0.8, 0.3, -0.4, 0.33};

std::set<std::string> tasks() {
    std::set<std::string> ids;
    if (DIR* dir = ::opendir("/proc/self/task")) {
        while (dirent* e = ::readdir(dir))
            if (e->d_name[0] != '.') ids.insert(e->d_name);
        ::closedir(dir);
    }
    return ids;
}

// The thread that appeared since `before`; empty when none or several did.
std::string newTask(const std::set<std::string>& before) {
    std::string found;
    for (const std::string& id : tasks()) {
        if (before.count(id)) continue;
        if (!found.empty()) return "";
        found = id;
    }
    return found;
}

// Whether a thread of this process still runs: it has ended once it is gone
// or only its exit remains to be reaped.
bool running(const std::string& task) {
    std::ifstream stat("/proc/self/task/" + task + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return false;
    const auto close = line.rfind(')');
    const char state =
        close != std::string::npos && close + 2 < line.size() ? line[close + 2] : 'X';
    return state != 'Z' && state != 'X';
}

TEST(Lifecycle, StartTwiceStopOnceEndsTheOneThreadBeforeStopReturns) {
    sim::TrackerSim device(simOptions("LIFE"));
    Handle tracker;
    ASSERT_EQ(openTracker(tracker, nullptr, device.devicePath()), 0);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        const auto before = tasks();
        EXPECT_EQ(fenlarkStart(tracker), 1);
        EXPECT_EQ(fenlarkStart(tracker), 1);  // re-asserts; no second thread
        const std::string acquisition = newTask(before);
        ASSERT_FALSE(acquisition.empty());
        EXPECT_TRUE(running(acquisition));
        EXPECT_TRUE(eventually([&] { return device.streaming(); }));
        if (round == 1) {
            SensorSample s;
            ASSERT_TRUE(nextNewSample(tracker, 0, &s));
        }
        EXPECT_TRUE(fenlarkStop(tracker));  // round 0: right after the start
        EXPECT_FALSE(running(acquisition));
        EXPECT_FALSE(device.streaming());
    }
}

TEST(Lifecycle, OpenThatFailsLeavesNoPortOpen) {
    sim::Options options = simOptions("NOID");
    options.faults.wrongId = true;
    sim::TrackerSim device(options);
    Handle tracker;
    const int files = openFileCount();
    EXPECT_EQ(fenlarkOpen(tracker, nullptr, device.devicePath().c_str()), -1);
    EXPECT_EQ(fenlarkOpen(tracker, nullptr, "/dev/pts/does-not-exist"), -1);
    EXPECT_EQ(openFileCount(), files);
    // The port is free: once the device identifies, the same path opens.
    device.setFaults({});
    EXPECT_EQ(openTracker(tracker, nullptr, device.devicePath()), 0);
    char id[8];
    fenlarkGetID(tracker, id);
    EXPECT_STREQ(id, "NOID");
}

TEST(Lifecycle, CloseAndDestroyStopAStartedTrackerFirst) {
    sim::TrackerSim device(simOptions("LIFE"));
    VirtualFenlark* tracker = fenlarkCreate(10);
    for (bool destroy : {false, true}) {
        SCOPED_TRACE(destroy ? "destroy" : "close");
        ASSERT_EQ(openTracker(tracker, nullptr, device.devicePath()), 0);
        const auto before = tasks();
        fenlarkStart(tracker);
        const std::string acquisition = newTask(before);
        ASSERT_FALSE(acquisition.empty());
        SensorSample s;
        ASSERT_TRUE(nextNewSample(tracker, 0, &s));
        if (destroy)
            fenlarkDestroy(tracker);
        else
            fenlarkClose(tracker);
        EXPECT_FALSE(running(acquisition));
        EXPECT_FALSE(device.streaming());
    }
}

TEST(Lifecycle, ThreadThatCannotBeCreatedLeavesTheTrackerStopped) {
    sim::TrackerSim device(simOptions("LIFE"));
    Handle tracker;
    ASSERT_EQ(openTracker(tracker, nullptr, device.devicePath()), 0);
    const int threads = threadCount();
    failThreadCreation(true);
    EXPECT_THROW(fenlarkStart(tracker), std::runtime_error);
    failThreadCreation(false);
    EXPECT_EQ(threadCount(), threads);
    EXPECT_TRUE(eventually([&] { return !device.streaming(); }));
    EXPECT_TRUE(fenlarkStop(tracker));  // returns: no thread to wait for
    // A later start works as usual.
    EXPECT_EQ(fenlarkStart(tracker), 1);
    SensorSample s;
    EXPECT_TRUE(nextNewSample(tracker, 0, &s));
    EXPECT_TRUE(fenlarkStop(tracker));
}

TEST(Lifecycle, UnplugWhileStreamingKeepsTheLastSampleAndStopSucceeds) {
    sim::Options options = simOptions("GONE");
    options.faults.unplugAfter = 100;
    sim::TrackerSim device(options);
    Handle tracker(20);
    ASSERT_EQ(openTracker(tracker, nullptr, device.devicePath()), 0);
    const auto before = tasks();
    fenlarkStart(tracker);
    const std::string acquisition = newTask(before);
    ASSERT_TRUE(eventually([&] { return device.unplugged(); }));
    const auto lastSent = device.lastPacketWritten();
    ASSERT_TRUE(lastSent);

    // The handle tells that the port is gone; the thread parks and the
    // reader keeps the last sample.
    EXPECT_TRUE(
        eventually([&] { return fenlarkGetStreamState(tracker) == FENLARK_STREAM_PORT_GONE; },
                   std::chrono::seconds(10)))
        << "stream state " << fenlarkGetStreamState(tracker);
    SensorSample last{};
    ASSERT_TRUE(eventually([&] {
        fenlarkGetData(tracker, &last);
        SensorSample again;
        fenlarkGetData(tracker, &again);
        return last.timestamp == again.timestamp && last.timestamp != 0;
    }));
    EXPECT_LE(last.timestamp, lastSent->timestamp);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    for (int i = 0; i < 3; ++i) {
        SensorSample again;
        fenlarkGetData(tracker, &again);
        EXPECT_EQ(std::memcmp(&again, &last, sizeof last), 0);
    }
    EXPECT_TRUE(running(acquisition));

    // A tracker that went away is no failure of the host or of its firmware:
    // stop ends the thread, succeeds without raising, and says nothing of
    // the kind; close then has nothing left to release.
    ::testing::internal::CaptureStderr();
    bool stopped = false;
    EXPECT_NO_THROW(stopped = fenlarkStop(tracker));
    const std::string complaints = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(stopped);
    EXPECT_EQ(complaints.find("firmware"), std::string::npos) << complaints;
    EXPECT_FALSE(running(acquisition));
    EXPECT_EQ(fenlarkGetStreamState(tracker), FENLARK_STREAM_STOPPED);
    EXPECT_NO_THROW(fenlarkClose(tracker));

    // The handle is stopped and closed for good: it opens and streams again.
    sim::TrackerSim replacement(simOptions("NEW"));
    ASSERT_EQ(openTracker(tracker, nullptr, replacement.devicePath()), 0);
    fenlarkStart(tracker);
    EXPECT_TRUE(eventually([&] { return replacement.streaming(); }));
    SensorSample fresh;
    EXPECT_TRUE(nextNewSample(tracker, last.timestamp, &fresh));
    EXPECT_TRUE(fenlarkStop(tracker));
}

// A reader and a second caller changing every shared setting while the
// tracker streams. Each corrected quaternion is a product of unit
// quaternions, so a reference seen half written shows as a wrong norm.
TEST(Concurrency, SettingsChangeWhileAnotherThreadReads) {
    sim::TrackerSim device(stillAt(kTilted));
    Handle tracker;
    const SensorConfig config = sensorConfig(0x3FF, 200);
    ASSERT_EQ(openTracker(tracker, &config, device.devicePath()), 0);
    fenlarkStart(tracker);
    SensorSample first;
    ASSERT_TRUE(nextNewSample(tracker, 0, &first));

    std::atomic<bool> done{false};
    int reads = 0, badNorms = 0;
    std::thread reader([&] {
        while (!done) {
            SensorSample s;
            fenlarkGetData(tracker, &s);
            float euler[3];
            fenlarkEulerOri(&s, euler);
            const double n = std::sqrt(s.quat[0] * s.quat[0] + s.quat[1] * s.quat[1] +
                                       s.quat[2] * s.quat[2] + s.quat[3] * s.quat[3]);
            if (std::fabs(n - 1.0) > 1e-3 || std::isnan(euler[1])) ++badNorms;
            ++reads;
        }
    });
    for (int i = 0; i < 2000; ++i) {
        fenlarkBoresight(tracker, 1 + i % 3);
        if (i % 7 == 0) fenlarkSetBoresight(tracker, 0);
        fenlarkSetJitterStatus(tracker, i % 2);
        fenlarkSetJitterParam(tracker, 0.9, 0.01, 0.15);
        double alpha, threshold;
        fenlarkGetJitterParam(tracker, &alpha, &threshold, nullptr);
        fenlarkGetBoresight(tracker);
        fenlarkGetJitterStatus(tracker);
        if (i % 50 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    done = true;
    reader.join();
    EXPECT_GT(reads, 0);
    EXPECT_EQ(badNorms, 0);
    EXPECT_TRUE(fenlarkStop(tracker));
}

}  // namespace
