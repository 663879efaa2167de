#include "uinput_events.h"

#include <algorithm>
#include <cstring>

namespace MouseEmulator {

namespace {

input_event event(unsigned short type, unsigned short code, int value) {
    input_event e;
    std::memset(&e, 0, sizeof e);  // the kernel stamps the time
    e.type = type;
    e.code = code;
    e.value = value;
    return e;
}

int lastIndex(int first, int last) {
    return std::max(0, last - first);
}

}  // namespace

uinput_setup virtualPointerSetup() {
    uinput_setup setup;
    std::memset(&setup, 0, sizeof setup);
    setup.id.bustype = BUS_VIRTUAL;
    setup.id.vendor = 0;
    setup.id.product = 0;
    setup.id.version = 1;
    std::strncpy(setup.name, kVirtualPointerName, UINPUT_MAX_NAME_SIZE - 1);
    return setup;
}

std::array<uinput_abs_setup, 2> virtualPointerAxes(const ScreenArea& desktop) {
    std::array<uinput_abs_setup, 2> axes;
    std::memset(axes.data(), 0, sizeof axes);
    axes[0].code = ABS_X;
    axes[0].absinfo.minimum = 0;
    axes[0].absinfo.maximum = lastIndex(desktop.left, desktop.right);
    axes[1].code = ABS_Y;
    axes[1].absinfo.minimum = 0;
    axes[1].absinfo.maximum = lastIndex(desktop.top, desktop.bottom);
    return axes;
}

std::array<input_event, 3> pointerMoveEvents(PointerPosition position, const ScreenArea& desktop) {
    const int x = std::clamp(position.x - desktop.left, 0, lastIndex(desktop.left, desktop.right));
    const int y = std::clamp(position.y - desktop.top, 0, lastIndex(desktop.top, desktop.bottom));
    return {event(EV_ABS, ABS_X, x), event(EV_ABS, ABS_Y, y), event(EV_SYN, SYN_REPORT, 0)};
}

}  // namespace MouseEmulator
