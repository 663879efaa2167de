#include "uinput_pointer.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "uinput_events.h"

namespace MouseEmulator {

namespace {

constexpr const char* kUinputPath = "/dev/uinput";

std::string failure(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// Declares what the device can send: the two absolute axes and a left
// button. Without a button the input stack takes absolute axes for a
// touch screen or joystick rather than a pointer.
bool declareAndCreate(int fd, const ScreenArea& desktop, std::string* error) {
    if (ioctl(fd, UI_SET_EVBIT, EV_KEY) < 0 || ioctl(fd, UI_SET_KEYBIT, BTN_LEFT) < 0 ||
        ioctl(fd, UI_SET_EVBIT, EV_ABS) < 0 || ioctl(fd, UI_SET_ABSBIT, ABS_X) < 0 ||
        ioctl(fd, UI_SET_ABSBIT, ABS_Y) < 0) {
        *error = failure("declaring the virtual pointer's events");
        return false;
    }
    for (const uinput_abs_setup& axis : virtualPointerAxes(desktop)) {
        if (ioctl(fd, UI_ABS_SETUP, &axis) < 0) {
            *error = failure("setting up the virtual pointer's axes");
            return false;
        }
    }
    const uinput_setup setup = virtualPointerSetup();
    if (ioctl(fd, UI_DEV_SETUP, &setup) < 0 || ioctl(fd, UI_DEV_CREATE) < 0) {
        *error = failure("creating the virtual pointer");
        return false;
    }
    return true;
}

}  // namespace

std::unique_ptr<UinputPointer> UinputPointer::create(const ScreenArea& desktop,
                                                     std::string* error) {
    const int fd = ::open(kUinputPath, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = failure(kUinputPath);
        return nullptr;
    }
    if (!declareAndCreate(fd, desktop, error)) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<UinputPointer>(new UinputPointer(fd, desktop));
}

UinputPointer::UinputPointer(int fd, const ScreenArea& desktop) : fd_(fd), desktop_(desktop) {
    char name[64] = {};
    if (ioctl(fd_, UI_GET_SYSNAME(sizeof name - 1), name) >= 0) systemName_ = name;
}

UinputPointer::~UinputPointer() {
    ioctl(fd_, UI_DEV_DESTROY);
    ::close(fd_);
}

bool UinputPointer::move(PointerPosition position) {
    const auto events = pointerMoveEvents(position, desktop_);
    const ssize_t size = static_cast<ssize_t>(sizeof events);
    return ::write(fd_, events.data(), sizeof events) == size;
}

}  // namespace MouseEmulator
