// Helpers for the views' tests: OpenGL availability, modal dialogs answered
// from a timer, and pixel colours.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QDialog>
#include <QImage>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <functional>
#include <string>

#include "offscreen_gl_widget.h"

namespace Quorvane::testing {

// Rendering needs an OpenGL context: in CI (CI=true) its absence fails the
// test, elsewhere it skips with the reason.
#define REQUIRE_GL(widget)                                                        \
    do {                                                                          \
        if (!(widget).isGLAvailable()) {                                          \
            const char* ci = std::getenv("CI");                                   \
            if (ci && std::string(ci) == "true") FAIL() << "no OpenGL context";   \
            GTEST_SKIP() << "no OpenGL context (run under a display, e.g. Xvfb)"; \
        }                                                                         \
    } while (0)

// Calls act with the modal widget once one is active (checked every 5 ms
// while the event loop runs). If none comes within a minute, the test fails
// and every open dialog is rejected, so no test waits forever in exec().
class ModalAnswer {
  public:
    explicit ModalAnswer(std::function<void(QWidget*)> act) : act_(std::move(act)) {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || done_) return;
            done_ = true;
            act_(modal);
        });
        timer_.start();
        patience_.setSingleShot(true);
        QObject::connect(&patience_, &QTimer::timeout, [this] {
            if (done_) return;
            ADD_FAILURE() << "no modal dialog appeared";
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible())
                    dialog->reject();
        });
        patience_.start(60000);
    }
    bool answered() const { return done_; }

  private:
    std::function<void(QWidget*)> act_;
    QTimer timer_;
    QTimer patience_;
    bool done_ = false;
};

inline bool near(QColor c, int r, int g, int b, int tolerance = 3) {
    return std::abs(c.red() - r) <= tolerance && std::abs(c.green() - g) <= tolerance &&
           std::abs(c.blue() - b) <= tolerance;
}

// Pixels of image in rect (clipped) that are near the colour.
inline int countNear(const QImage& image, QRect rect, int r, int g, int b, int tolerance = 3) {
    rect = rect.intersected(image.rect());
    int n = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            if (near(image.pixelColor(x, y), r, g, b, tolerance)) ++n;
    return n;
}

inline bool allWhite(const QImage& image) {
    return countNear(image, image.rect(), 255, 255, 255, 0) == image.width() * image.height();
}

}  // namespace Quorvane::testing
