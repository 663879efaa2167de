// The host's end of the simulator's pseudo-terminal, with plain POSIX calls.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "wire.h"

namespace simtest {

class HostTerminal {
  public:
    // Opens the path as is; raw() configures the line like a host would.
    explicit HostTerminal(const std::string& path)
        : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {}
    ~HostTerminal() {
        if (fd_ >= 0) ::close(fd_);
    }
    HostTerminal(const HostTerminal&) = delete;
    HostTerminal& operator=(const HostTerminal&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    bool raw() {
        termios tio{};
        if (::tcgetattr(fd_, &tio) != 0) return false;
        ::cfmakeraw(&tio);
        ::cfsetspeed(&tio, B115200);
        return ::tcsetattr(fd_, TCSANOW, &tio) == 0;
    }

    bool send(const Bytes& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    // Reads until count bytes arrived or the (generous) deadline passed; a
    // short result means the device did not answer.
    Bytes receive(std::size_t count, std::chrono::milliseconds patience = std::chrono::seconds(5)) {
        Bytes got;
        const auto deadline = std::chrono::steady_clock::now() + patience;
        while (got.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd pfd{fd_, POLLIN, 0};
            if (::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) continue;
            std::uint8_t buffer[256];
            const std::size_t want = std::min(sizeof buffer, count - got.size());
            const ssize_t n = ::read(fd_, buffer, want);
            if (n <= 0) break;
            got.insert(got.end(), buffer, buffer + n);
        }
        return got;
    }

  private:
    int fd_;
};

// Waits for a condition that the serving thread makes true eventually.
template <typename Condition>
bool eventually(Condition condition, std::chrono::seconds patience = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        ::usleep(2000);
    }
    return true;
}

}  // namespace simtest
