// A pseudo-terminal between the host and a simulated tracker: the host opens
// path() instead of the tracker's own, and a thread relays both directions,
// letting the test watch or cut what passes.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "pty_port.h"

namespace Quorvane::testing {

class PtyRelay {
  public:
    // Sees each chunk the host sends, before it goes on to the tracker.
    using HostChunk = std::function<void(const std::uint8_t* bytes, std::size_t size)>;
    // Sees each chunk the tracker sends; returns how many of its leading
    // bytes are lost instead of reaching the host.
    using DeviceChunk = std::function<std::size_t(const std::uint8_t* bytes, std::size_t size)>;

    PtyRelay(const std::string& devicePath, HostChunk onHost, DeviceChunk onDevice = nullptr)
        : device_(::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)),
          onHost_(std::move(onHost)),
          onDevice_(std::move(onDevice)) {
        termios tio{};
        if (device_ >= 0 && ::tcgetattr(device_, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(device_, TCSANOW, &tio);
        }
        relay_ = std::thread([this] { run(); });
    }
    ~PtyRelay() {
        stop_ = true;
        relay_.join();
        if (device_ >= 0) ::close(device_);
    }
    PtyRelay(const PtyRelay&) = delete;
    PtyRelay& operator=(const PtyRelay&) = delete;

    bool connected() const { return device_ >= 0; }
    // The path the host opens instead of the tracker's.
    const std::string& path() const { return pty_.slavePath(); }
    // The host's side, for asking how many of its bytes wait unread.
    int hostFd() const { return pty_.masterFd(); }
    // Held while a chunk from the host is read and handed to onHost, so a
    // reader of what onHost kept never sees the bytes in neither place.
    std::mutex& hostChunkLock() { return hostChunkLock_; }

  private:
    void run() {
        const int host = pty_.masterFd();
        std::uint8_t buffer[4096];
        while (!stop_) {
            pollfd fds[2] = {{host, POLLIN, 0}, {device_, POLLIN, 0}};
            if (::poll(fds, 2, 5) <= 0) continue;
            if (fds[0].revents & POLLIN) {
                std::lock_guard lock(hostChunkLock_);
                const ssize_t n = ::read(host, buffer, sizeof buffer);
                if (n > 0) {
                    onHost_(buffer, static_cast<std::size_t>(n));
                    writeAll(device_, buffer, static_cast<std::size_t>(n));
                }
            }
            if (fds[1].revents & POLLIN) {
                const ssize_t n = ::read(device_, buffer, sizeof buffer);
                if (n <= 0) continue;
                const std::size_t size = static_cast<std::size_t>(n);
                const std::size_t lost = onDevice_ ? onDevice_(buffer, size) : 0;
                if (lost < size) writeAll(host, buffer + lost, size - lost);
            }
        }
    }
    static void writeAll(int fd, const std::uint8_t* bytes, std::size_t size) {
        while (size > 0) {
            const ssize_t n = ::write(fd, bytes, size);
            if (n < 0 && errno == EAGAIN) {
                pollfd p{fd, POLLOUT, 0};
                ::poll(&p, 1, 5);
                continue;
            }
            if (n <= 0) return;
            bytes += n;
            size -= static_cast<std::size_t>(n);
        }
    }

    sim::PtyPort pty_;
    int device_;
    HostChunk onHost_;
    DeviceChunk onDevice_;
    std::mutex hostChunkLock_;
    std::atomic<bool> stop_{false};
    std::thread relay_;  // last: starts once everything above is built
};

}  // namespace Quorvane::testing
