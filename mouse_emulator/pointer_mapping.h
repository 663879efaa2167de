// Where the pointer goes for a tracker's yaw and pitch. Plain C++, no Qt, so
// the arithmetic is testable on its own.
#pragma once

namespace MouseEmulator {

// A screen's area in desktop coordinates; right and bottom are the last
// column and row (as QRect has them).
struct ScreenArea {
    int left = 0;
    int top = 0;
    int right = -1;
    int bottom = -1;
};

struct PointerPosition {
    int x = 0;
    int y = 0;
};

// Yaw 135 to 225 degrees spans the screen from its left edge to one past its
// right edge; pitch +45 to -45 degrees from its top edge to one past its
// bottom edge; beyond, the position stays at the edge. Angles in radians, as
// fenlarkEulerOri gives them. The screen's left and top edge are added, so on
// a desktop whose primary screen does not start at (0, 0) the pointer still
// lands on that screen.
PointerPosition pointerPosition(float yaw, float pitch, const ScreenArea& screen);

}  // namespace MouseEmulator
