#include "pointer_backend.h"

#include <QCursor>
#include <QtGlobal>

#ifdef __linux__
#include "uinput_pointer.h"
#endif

namespace MouseEmulator {

namespace {

constexpr const char* kChoiceVariable = "QUORVANE_POINTER";

class CursorWarp : public PointerBackend {
  public:
    void move(PointerPosition p) override { QCursor::setPos(p.x, p.y); }
};

#ifdef __linux__
class VirtualPointer : public PointerBackend {
  public:
    explicit VirtualPointer(std::unique_ptr<UinputPointer> device) : device_(std::move(device)) {}
    void move(PointerPosition p) override { device_->move(p); }

  private:
    std::unique_ptr<UinputPointer> device_;
};
#endif

bool waylandSession(const QString& platformName) {
    return platformName.startsWith(QLatin1String("wayland")) ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

}  // namespace

PointerSetup setUpPointer(const QString& platformName, const ScreenArea& desktop) {
    QString choice = qEnvironmentVariable(kChoiceVariable);
    if (!choice.isEmpty() && choice != QLatin1String("uinput") &&
        choice != QLatin1String("cursor")) {
        qWarning("%s=%s: expected uinput or cursor; choosing by the session", kChoiceVariable,
                 qPrintable(choice));
        choice.clear();
    }
    const bool wayland = waylandSession(platformName);
    const bool tryVirtual =
        choice == QLatin1String("uinput") || (wayland && choice != QLatin1String("cursor"));
    PointerSetup setup;
    if (tryVirtual) {
#ifdef __linux__
        std::string error;
        if (auto device = UinputPointer::create(desktop, &error)) {
            setup.backend = std::make_unique<VirtualPointer>(std::move(device));
            setup.label = QStringLiteral("Pointer: uinput");
            return setup;
        }
        setup.virtualPointerProblem = QString::fromStdString(error);
#else
        setup.virtualPointerProblem = QStringLiteral("a virtual pointer needs Linux");
#endif
    }
    setup.backend = std::make_unique<CursorWarp>();
    setup.pointerStuck = wayland;
    setup.label = wayland ? QStringLiteral("Pointer: none (Wayland)")
                          : QStringLiteral("Pointer: ") + platformName;
    return setup;
}

}  // namespace MouseEmulator
