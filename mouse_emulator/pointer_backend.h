// What moves the system's pointer: Qt's pointer warp (QCursor::setPos),
// which X11 obeys and Wayland compositors ignore, or a virtual absolute
// pointer made through /dev/uinput, which both obey.
#pragma once

#include <QString>
#include <memory>

#include "pointer_mapping.h"

namespace MouseEmulator {

class PointerBackend {
  public:
    virtual ~PointerBackend() = default;
    virtual void move(PointerPosition position) = 0;
};

struct PointerSetup {
    std::unique_ptr<PointerBackend> backend;
    // For the status bar: which backend moves the pointer.
    QString label;
    // A Wayland session without the virtual pointer: nothing moves the pointer.
    bool pointerStuck = false;
    // Why the virtual pointer could not be made, when it was tried.
    QString virtualPointerProblem;
};

// Chooses the backend for the Qt platform (QGuiApplication::platformName)
// and the session: the virtual pointer in a Wayland session (also for a
// program under XWayland, whose warp moves only XWayland's own pointer);
// the pointer warp under X11, where it works and where the X server may be
// one the virtual device does not feed (Xvfb, VNC, a remote display).
// QUORVANE_POINTER=uinput or =cursor chooses by hand.
PointerSetup setUpPointer(const QString& platformName, const ScreenArea& desktop);

}  // namespace MouseEmulator
