#include "tracker.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <iterator>
#include <stdexcept>

namespace QuorvanePython {
namespace {

using Clock = std::chrono::steady_clock;

// Longest wait without the GIL: a pending Ctrl-C is noticed within it.
constexpr unsigned kSliceMs = 100;

// The sample the ring holds right after a start, before any packet arrived.
bool isInitialSample(const SensorSample& s) {
    SensorSample initial{};
    initial.quat[0] = 1.0f;
    return std::memcmp(&s, &initial, sizeof s) == 0;
}

}  // namespace

Tracker::Tracker(std::optional<std::string> port, long ringLength) : port_(std::move(port)) {
    if (ringLength < 2 || ringLength > 65535)
        throw std::invalid_argument("ring must be 2..65535 samples, not " +
                                    std::to_string(ringLength));
    handle_ = fenlarkCreate(static_cast<uint16_t>(ringLength));
}

Tracker::~Tracker() {
    pybind11::gil_scoped_release release;  // stopping joins the acquisition thread
    fenlarkDestroy(handle_);
}

void Tracker::open() {
    const char* path = port_ ? port_->c_str() : nullptr;
    const int result = call([&](VirtualFenlark* h) { return fenlarkOpen(h, nullptr, path); });
    if (result != 0)
        throw std::runtime_error(port_ ? "no tracker answers on " + *port_
                                       : std::string("no tracker found"));
}

void Tracker::close() {
    call([](VirtualFenlark* h) { fenlarkClose(h); });
}

std::vector<SensorSample> Tracker::read(std::size_t n, std::optional<double> timeout) {
    std::optional<Clock::time_point> deadline;
    if (timeout) {
        if (!(*timeout >= 0)) throw std::invalid_argument("timeout must be 0 or more seconds");
        deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double>(std::min(*timeout, 1e9)));
    }
    std::vector<SensorSample> out;
    out.reserve(std::min<std::size_t>(n, 1 << 16));
    for (;;) {
        unsigned waitMs = kSliceMs;
        if (deadline) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
            waitMs = static_cast<unsigned>(std::clamp<long long>(left.count(), 0, kSliceMs));
        }
        const bool ended = call([&](VirtualFenlark*) { return collect(n, out, waitMs); });
        if (out.size() == n || ended || (deadline && Clock::now() >= *deadline)) return out;
        if (PyErr_CheckSignals() != 0) {
            // Interrupted: what was gathered goes back, in order, for the next call.
            call([&](VirtualFenlark*) {
                pending_.insert(pending_.begin(), out.begin(), out.end());
                return 0;
            });
            throw pybind11::error_already_set();
        }
    }
}

bool Tracker::collect(std::size_t n, std::vector<SensorSample>& out, unsigned waitMs) {
    const auto take = [&] {
        const std::size_t count = std::min(n - out.size(), pending_.size());
        std::move(pending_.begin(), pending_.begin() + static_cast<long>(count),
                  std::back_inserter(out));
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(count));
    };
    take();
    if (out.size() == n) return false;
    const int state = fenlarkGetStreamState(handle_);
    const bool ended = state == FENLARK_STREAM_STOPPED || state == FENLARK_STREAM_PORT_GONE;
    if (!ended) fenlarkWaitForData(handle_, waitMs);
    // After the end too: the samples of the period that are still unread.
    drain();
    take();
    return ended && pending_.empty();
}

void Tracker::drain() {
    // The library hands out the newest sample again once everything newer
    // has been read: a repeated timestamp means there is nothing more.
    for (;;) {
        SensorSample s;
        fenlarkGetData(handle_, &s);
        if (hasLast_ && s.timestamp == lastTimestamp_) return;
        hasLast_ = true;
        lastTimestamp_ = s.timestamp;
        if (!isInitialSample(s)) pending_.push_back(s);
    }
}

}  // namespace QuorvanePython
