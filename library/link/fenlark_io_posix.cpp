#include "fenlark_io_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "tty_discovery.h"

namespace Quorvane {
namespace {

// How long close() waits for written bytes to leave. A peer that never reads
// (a pseudo-terminal nobody serves) must not hang the caller.
constexpr int kDrainTimeoutMs = 100;
// How long write() waits for room in a full transmit queue.
constexpr int kWriteTimeoutMs = 50;

constexpr const char* kPermissionHint =
    "permission denied: install the udev rule resources/udev/70-quorvane-tracker.rules, "
    "or add yourself to the dialout group";
constexpr const char* kBusyHint = "in use by another program";

bool baudConstant(int baud, speed_t* out) {
    switch (baud) {
        case 9600:
            *out = B9600;
            return true;
        case 19200:
            *out = B19200;
            return true;
        case 38400:
            *out = B38400;
            return true;
        case 57600:
            *out = B57600;
            return true;
        case 115200:
            *out = B115200;
            return true;
        case 230400:
            *out = B230400;
            return true;
        case 460800:
            *out = B460800;
            return true;
        case 921600:
            *out = B921600;
            return true;
        default:
            return false;
    }
}

// Line settings: raw bytes, 8 data bits, no parity, two stop bits, no
// hardware or software flow control, reads return at once.
bool configureLine(int fd, int baud) {
    speed_t speed;
    if (!baudConstant(baud, &speed)) return false;
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return false;
    cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | PARENB | CRTSCTS | HUPCL);
    tio.c_cflag |= CS8 | CSTOPB | CLOCAL | CREAD;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (cfsetispeed(&tio, speed) != 0 || cfsetospeed(&tio, speed) != 0) return false;
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

// Waits until the transmit queue is empty or the timeout passes; false when
// bytes are still queued at the end.
bool drainOutput(int fd) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kDrainTimeoutMs);
    int pending = 0;
    while (ioctl(fd, TIOCOUTQ, &pending) == 0 && pending > 0) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        sleepMs(1);
    }
    return true;
}

// poll() results that mean the line is gone for good.
constexpr short kHangUpEvents = POLLHUP | POLLERR | POLLNVAL;

// Errors of read() and write() on a tty whose device went away.
bool deviceGone(int error) {
    return error == EIO || error == ENXIO || error == ENODEV || error == EBADF || error == EPIPE;
}

// Whether the line reports a hang-up now (does not wait).
bool lineHungUp(int fd) {
    pollfd pfd{fd, POLLIN, 0};
    return poll(&pfd, 1, 0) > 0 && (pfd.revents & kHangUpEvents) != 0;
}

}  // namespace

std::string openFailureMessage(const std::string& path, int error) {
    std::string message = "Could not open device " + path;
    if (error == EACCES || error == EPERM) message += " (" + std::string(kPermissionHint) + ")";
    return message;
}

PortOpenError openFailure(const std::string& path, int error) {
    using Cause = PortOpenError::Cause;
    const std::string message = openFailureMessage(path, error);
    switch (error) {
        case EACCES:
        case EPERM:
            return PortOpenError(message, Cause::Permission, kPermissionHint);
        case EBUSY:
        case EWOULDBLOCK:
            return PortOpenError(message, Cause::Busy, kBusyHint);
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return PortOpenError(message, Cause::Failed, "no such device");
        case ENOTTY:
            return PortOpenError(message, Cause::Failed, "not a serial port");
        default:
            return PortOpenError(message, Cause::Failed, std::strerror(error));
    }
}

std::string resolvedPortPath(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return path;
    std::string out(resolved);
    std::free(resolved);
    return out;
}

std::unique_ptr<FenlarkIO> createPlatformIO(int capacity) {
    return std::make_unique<FenlarkIOPosix>(capacity);
}

FenlarkIOPosix::FenlarkIOPosix(int capacity) : FenlarkIOPosix(capacity, sysfsRoot()) {}

FenlarkIOPosix::FenlarkIOPosix(int capacity, const std::string& sysfsRoot)
    : BufferedFenlarkIO(capacity) {
    ports = enumerateTrackerPorts(sysfsRoot);
}

// A copy never shares the device descriptor: it starts unopened.
FenlarkIOPosix::FenlarkIOPosix(const FenlarkIOPosix& other) : BufferedFenlarkIO(other) {}

FenlarkIOPosix& FenlarkIOPosix::operator=(const FenlarkIOPosix& other) {
    BufferedFenlarkIO::operator=(other);
    return *this;
}

FenlarkIOPosix::~FenlarkIOPosix() {
    close();
}

bool FenlarkIOPosix::open(const std::string& path, int baud) {
    if (fd_ >= 0) close();

    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw openFailure(path, errno);
    // TIOCEXCL refuses further opens, but not root's; the advisory lock
    // refuses every other handle that follows the same rule.
    auto saved = std::make_unique<termios>();
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0 ||
        tcgetattr(fd, saved.get()) != 0) {
        const int error = errno;
        ::close(fd);
        throw openFailure(path, error);
    }
    if (!configureLine(fd, baud)) {
        ::close(fd);
        throw PortOpenError("Could not open device " + path, PortOpenError::Cause::Failed,
                            "line settings refused (" + std::to_string(baud) + " baud)");
    }
    // Drop DTR and RTS; pseudo-terminals have no modem lines, so a failure
    // here is not an error.
    int lines = TIOCM_DTR | TIOCM_RTS;
    (void)ioctl(fd, TIOCMBIC, &lines);
    tcflush(fd, TCIOFLUSH);

    fd_ = fd;
    vmin_ = 0;
    savedSettings_ = std::move(saved);
    currentPath = path;
    setState(State::Open);
    return true;
}

bool FenlarkIOPosix::close() {
    currentPath.clear();
    setState(State::Closed);
    if (fd_ < 0) return false;
    drainOutput(fd_);
    unsigned char scratch[1024];
    while (::read(fd_, scratch, sizeof scratch) > 0) {
    }
    // Whatever the device turned out to be, it gets back the line settings
    // it had: a port that is not a tracker must not be left raw at our speed.
    if (savedSettings_) (void)tcsetattr(fd_, TCSANOW, savedSettings_.get());
    savedSettings_.reset();
    // Lift the exclusive flag: it belongs to the tty, not to this descriptor,
    // and would otherwise outlive us while another process holds the tty.
    (void)ioctl(fd_, TIOCNXCL);
    const bool closed = ::close(fd_) == 0;  // also releases the flock
    fd_ = -1;
    return closed;
}

bool FenlarkIOPosix::isOpen() {
    return fd_ >= 0;
}

int FenlarkIOPosix::readDevice(unsigned char* into, int max) {
    ssize_t got;
    do {
        got = ::read(fd_, into, static_cast<size_t>(max));
    } while (got < 0 && errno == EINTR);
    if (got > 0) return static_cast<int>(got);
    // An empty line reads as 0 (VMIN and VTIME are 0) or EAGAIN; so does a
    // hung-up one, which only poll() tells apart.
    if (got == 0 ? lineHungUp(fd_) : deviceGone(errno)) markHungUp();
    return 0;
}

bool FenlarkIOPosix::writeDevice(const unsigned char* bytes, int length) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kWriteTimeoutMs);
    int done = 0;
    while (done < length) {
        const ssize_t n = ::write(fd_, bytes + done, static_cast<size_t>(length - done));
        if (n > 0) {
            done += static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            if (deviceGone(errno)) markHungUp();
            return false;
        }
        if (std::chrono::steady_clock::now() >= deadline) return false;
        pollfd pfd{fd_, POLLOUT, 0};
        (void)poll(&pfd, 1, 5);
    }
    return true;
}

void FenlarkIOPosix::purgeDevice() {
    // Bytes we wrote are a command on its way (the stream's stop byte just
    // before a clear): let them leave before the queues are flushed, or a
    // slow line would swallow the command. The wait is bounded. Once the
    // queue is empty only the input is flushed: on a pseudo-terminal, flushing
    // the output also discards what the other side has not read yet.
    const bool drained = drainOutput(fd_);
    tcflush(fd_, drained ? TCIFLUSH : TCIOFLUSH);
}

bool FenlarkIOPosix::waitDevice(int timeoutMs, int minBytes) {
    // Reads stay non-blocking whatever VMIN says; only poll() heeds it.
    const int vmin = minBytes > 255 ? 255 : minBytes;
    if (vmin != vmin_) {
        termios tio{};
        if (tcgetattr(fd_, &tio) == 0) {
            tio.c_cc[VMIN] = static_cast<cc_t>(vmin);
            if (tcsetattr(fd_, TCSANOW, &tio) == 0) vmin_ = vmin;
        }
    }
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd pfd{fd_, POLLIN, 0};
        const int ready = poll(&pfd, 1, left > 0 ? static_cast<int>(left) : 0);
        if (ready > 0 && (pfd.revents & kHangUpEvents)) {
            // An unplugged tracker reports POLLIN together with the hang-up,
            // but reads return nothing: treating it as data would spin.
            markHungUp();
            return false;
        }
        if (ready > 0) return (pfd.revents & POLLIN) != 0;
        if (ready == 0 || errno != EINTR) return false;
    }
}

}  // namespace Quorvane
