// The records a Linux virtual absolute pointer (/dev/uinput) is set up with
// and the events that move it. Plain data, no device access, so the
// encoding is testable without /dev/uinput.
#pragma once

#include <linux/uinput.h>

#include <array>

#include "pointer_mapping.h"

namespace MouseEmulator {

// The device's name as the system lists it.
constexpr const char* kVirtualPointerName = "Quorvane tracker pointer";

// The identity of the virtual device (a virtual bus; no real vendor).
uinput_setup virtualPointerSetup();

// The two absolute axes span the whole desktop (all screens), so the
// compositor maps the axis range onto it one to one.
std::array<uinput_abs_setup, 2> virtualPointerAxes(const ScreenArea& desktop);

// The events that put the pointer at position (desktop coordinates): ABS_X,
// ABS_Y relative to the desktop's top left corner, clamped into the axes'
// range, then SYN_REPORT, which makes the two one move.
std::array<input_event, 3> pointerMoveEvents(PointerPosition position, const ScreenArea& desktop);

}  // namespace MouseEmulator
