#include "pointer_mapping.h"

namespace MouseEmulator {

namespace {

// Degrees per radian, as the float the conversion has always used.
constexpr double kDegreesPerRadian = 57.295780181884766;

}  // namespace

PointerPosition pointerPosition(float yaw, float pitch, const ScreenArea& screen) {
    const int width = screen.right - screen.left + 1;
    const int height = screen.bottom - screen.top + 1;

    PointerPosition p;
    const double d = yaw * kDegreesPerRadian;
    if (d <= 135)
        p.x = 0;
    else if (d >= 225)
        p.x = width;
    else
        p.x = static_cast<int>(width * (d - 135) / 90);

    const double e = pitch * kDegreesPerRadian;
    if (e <= -45)
        p.y = height;
    else if (e >= 45)
        p.y = 0;
    else
        p.y = static_cast<int>(height - height * (e / 90 + 0.5));

    p.x += screen.left;
    p.y += screen.top;
    return p;
}

}  // namespace MouseEmulator
