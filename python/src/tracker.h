// A tracker handle as the Python module holds it: every call runs without
// the GIL, one at a time per handle, and the samples a reader has taken from
// the library but not yet handed to Python wait here, so none is lost
// between calls.
#pragma once

#include <pybind11/pybind11.h>

#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "quorvane.h"

namespace QuorvanePython {

class Tracker {
  public:
    // Raises std::invalid_argument for a ring length outside 2..65535.
    Tracker(std::optional<std::string> port, long ringLength);
    ~Tracker();
    Tracker(const Tracker&) = delete;
    Tracker& operator=(const Tracker&) = delete;

    const std::optional<std::string>& port() const { return port_; }

    // Connects, reading the device's configuration; raises std::runtime_error
    // when no tracker answers.
    void open();
    // Stops a started tracker and releases the port.
    void close();

    // Runs f(handle) with the GIL released, while no other call of this
    // tracker runs. Exceptions pass through.
    template <typename F>
    auto call(F&& f) {
        pybind11::gil_scoped_release release;
        std::lock_guard lock(mutex_);
        return f(handle_);
    }

    // The next samples not yet handed out, at most n. Fewer when timeout
    // seconds pass (none: no limit) or when the stream has ended (stopped,
    // closed or unplugged) and the samples it delivered are all taken.
    // Waits without the GIL; a signal handler that raises (Ctrl-C) ends the
    // wait, and the samples gathered so far stay for the next call.
    std::vector<SensorSample> read(std::size_t n, std::optional<double> timeout);

  private:
    // Moves pending samples to out, then waits for and takes new ones, for at
    // most waitMs. Returns true when the stream has ended. Needs mutex_.
    bool collect(std::size_t n, std::vector<SensorSample>& out, unsigned waitMs);
    // Takes every sample the library has not handed out yet. Needs mutex_.
    void drain();

    std::optional<std::string> port_;
    VirtualFenlark* handle_;
    std::mutex mutex_;
    std::deque<SensorSample> pending_;
    bool hasLast_ = false;
    uint32_t lastTimestamp_ = 0;
};

}  // namespace QuorvanePython
