// Helpers for driving the library against simulated trackers: a wire tap that
// records what the host sends, poses and rotations for comparing orientations
// with the simulator's truth, and a view of the process's threads.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "pty_relay.h"
#include "quorvane.h"
#include "sensor_config.h"
#include "sim_fixture.h"
#include "tracker_sim.h"

namespace Quorvane::testing {

using Bytes = std::vector<std::uint8_t>;

// Relays between the host and a simulated tracker and records every byte the
// host sends.
class WireTap {
  public:
    explicit WireTap(const std::string& devicePath)
        : relay_(devicePath, [this](const std::uint8_t* bytes, std::size_t size) {
              sent_.insert(sent_.end(), bytes, bytes + size);
          }) {}

    bool connected() const { return relay_.connected(); }
    // The path the host opens instead of the tracker's.
    const std::string& path() const { return relay_.path(); }

    // The bytes the host sent since the last call. The host's writes have
    // returned before this is called, but the terminal hands them over
    // asynchronously: wait until nothing has come for a while.
    Bytes take() {
        std::size_t seen = 0;
        int quietRounds = 0;
        for (;;) {
            {
                std::lock_guard lock(relay_.hostChunkLock());
                int pending = 0;
                const bool idle = ::ioctl(relay_.hostFd(), FIONREAD, &pending) == 0 &&
                                  pending == 0 && sent_.size() == seen;
                seen = sent_.size();
                quietRounds = idle ? quietRounds + 1 : 0;
                if (quietRounds == 20) {
                    Bytes got;
                    got.swap(sent_);
                    return got;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

  private:
    Bytes sent_;      // guarded by the relay's host chunk lock
    PtyRelay relay_;  // last: its thread records into sent_
};

// A calibrated magnetometer: no hard or soft iron of the mounting, so the
// host's heading can be held against the truth.
inline sim::Environment calibratedEnvironment() {
    sim::Environment e;
    e.softIron = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    e.hardIron = {0, 0, 0};
    return e;
}

inline sim::Options stillAt(sim::Quat pose, const std::string& id = "QV00001") {
    sim::Options o = simOptions(id);
    o.environment = calibratedEnvironment();
    o.motion.kind = sim::Motion::Kind::Still;
    o.motion.initial = pose;
    return o;
}

// Rotation by `degrees` about the unit axis (x, y, z).
inline sim::Quat rotation(double degrees, double x, double y, double z) {
    const double half = degrees * M_PI / 360.0;
    const double s = std::sin(half);
    return {std::cos(half), s * x, s * y, s * z};
}

// Angle in degrees between two orientations, either sign of either quaternion.
inline double angleBetween(const float q[4], const sim::Quat& truth) {
    const double qn = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    const double tn =
        std::sqrt(truth.w * truth.w + truth.x * truth.x + truth.y * truth.y + truth.z * truth.z);
    const double dot =
        (q[0] * truth.w + q[1] * truth.x + q[2] * truth.y + q[3] * truth.z) / (qn * tn);
    return 2.0 * std::acos(std::min(1.0, std::fabs(dot))) * 180.0 / M_PI;
}

// Entries of a directory, without "." and "..".
inline int entryCount(const char* path) {
    int n = 0;
    if (DIR* dir = ::opendir(path)) {
        while (dirent* e = ::readdir(dir))
            if (e->d_name[0] != '.') ++n;
        ::closedir(dir);
    }
    return n;
}

// Threads of this process.
inline int threadCount() {
    return entryCount("/proc/self/task");
}

// Open file descriptors of this process.
inline int openFileCount() {
    return entryCount("/proc/self/fd") - 1;  // the directory's own descriptor
}

// Owns a handle; destroys it (stopping and closing first) at the end of a test.
struct Handle {
    explicit Handle(uint16_t length = 100) : h(fenlarkCreate(length)) {}
    ~Handle() { fenlarkDestroy(h); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    operator VirtualFenlark*() const { return h; }
    VirtualFenlark* h;
};

// Opens the tracker on path. Every reply has a fixed window (20 ms for the
// identification), which a heavily loaded test machine can miss now and then;
// tests whose subject is not the opening itself allow a few tries. A reopen
// releases what a failed attempt held.
inline int openTracker(VirtualFenlark* tracker, const SensorConfig* config,
                       const std::string& path) {
    int result = -1;
    for (int attempt = 0; attempt < 3 && result != 0; ++attempt)
        result = fenlarkOpen(tracker, config, path.c_str());
    return result;
}

// The next sample with a timestamp other than `after`'s; false when none came.
inline bool nextNewSample(VirtualFenlark* tracker, uint32_t after, SensorSample* out,
                          std::chrono::milliseconds patience = std::chrono::seconds(10)) {
    return eventually(
        [&] {
            fenlarkGetData(tracker, out);
            return out->timestamp != after;
        },
        patience);
}

}  // namespace Quorvane::testing
