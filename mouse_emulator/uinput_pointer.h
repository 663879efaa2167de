// A virtual absolute pointer made through the kernel's /dev/uinput. The
// compositor reads it like a real input device, so it moves the pointer
// under Wayland as under X11, where a program's own pointer warp is ignored.
#pragma once

#include <memory>
#include <string>

#include "pointer_mapping.h"

namespace MouseEmulator {

class UinputPointer {
  public:
    // The device spanning desktop; null when /dev/uinput cannot be opened or
    // the device not made, with the reason in *error.
    static std::unique_ptr<UinputPointer> create(const ScreenArea& desktop, std::string* error);
    // Removes the device.
    ~UinputPointer();
    UinputPointer(const UinputPointer&) = delete;
    UinputPointer& operator=(const UinputPointer&) = delete;

    // False when the events could not be written.
    bool move(PointerPosition position);
    // The kernel's name of the device under /sys/devices/virtual/input
    // ("input17"); empty when the kernel does not tell it.
    const std::string& systemName() const { return systemName_; }

  private:
    UinputPointer(int fd, const ScreenArea& desktop);

    int fd_;
    ScreenArea desktop_;
    std::string systemName_;
};

}  // namespace MouseEmulator
