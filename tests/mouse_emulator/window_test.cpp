// The mouse emulator's window against simulated trackers on a real X display
// (Xvfb under ./run test): the pointer follows a still pose, S and Escape,
// rescans, no tracker and an unplugged one. Message boxes are answered by a
// timer; every wait is for an event, with a generous deadline.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "display_check.h"
#include "mouse_emulator_window.h"
#include "pointer_mapping.h"
#include "qt_wait.h"
#include "quorvane.h"
#include "tracker_sim.h"

namespace {

namespace fs = std::filesystem;

using QtWait::BoxAnswerer;
using QtWait::processUntil;

// Yaw and pitch as the library computes them from an orientation.
void eulerOf(const sim::Quat& q, float* yaw, float* pitch) {
    SensorSample s{};
    s.quat[0] = static_cast<float>(q.w);
    s.quat[1] = static_cast<float>(q.x);
    s.quat[2] = static_cast<float>(q.y);
    s.quat[3] = static_cast<float>(q.z);
    float euler[3];
    fenlarkEulerOri(&s, euler);
    *yaw = euler[0];
    *pitch = euler[1];
}

// A pitch about y after a yaw about z (degrees): Q_SW of a tracker turned so.
sim::Quat pose(double yawDegrees, double pitchDegrees) {
    const double h = yawDegrees * M_PI / 360, p = pitchDegrees * M_PI / 360;
    return {std::cos(p) * std::cos(h), std::sin(p) * std::sin(h), std::sin(p) * std::cos(h),
            std::cos(p) * std::sin(h)};
}

class MouseEmulatorWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!MouseEmulatorTests::displayAvailable())
            GTEST_SKIP() << "no X display: run through ./run test, which starts Xvfb";
        // An empty sysfs tree keeps attached hardware out of these tests.
        sysfs = fs::temp_directory_path() / ("qv-mouse-sysfs-" + std::to_string(getpid()));
        fs::create_directories(sysfs / "class" / "tty");
        setenv("QUORVANE_SYSFS_ROOT", sysfs.c_str(), 1);
    }
    void TearDown() override {
        window.reset();
        unsetenv("QUORVANE_EXTRA_PORTS");
        unsetenv("QUORVANE_SYSFS_ROOT");
        if (!sysfs.empty()) fs::remove_all(sysfs);
    }

    // A tracker at rest in the pose; no board distortion, so its heading is
    // the pose's.
    static sim::Options still(const sim::Quat& q) {
        sim::Options o;
        o.identity = {"QVMOUSE", 1, 4};
        o.motion.kind = sim::Motion::Kind::Still;
        o.motion.initial = q;
        o.environment.hardIron = {0, 0, 0};
        o.environment.softIron = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
        return o;
    }

    void openWindow(const std::string& ports) {
        setenv("QUORVANE_EXTRA_PORTS", ports.c_str(), 1);
        window = std::make_unique<QuorvaneMouseEmulatorWindow>();
        window->show();
    }
    QPushButton* button(const char* name) const { return window->findChild<QPushButton*>(name); }
    QString status() const { return window->findChild<QStatusBar*>("statusbar")->currentMessage(); }
    void pressKey(Qt::Key key) {
        // To a button, as with the keyboard focus on it: the key must reach the window.
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(button("startSensorButton"), &press);
    }

    // The mapped position of the pose on the primary screen.
    static MouseEmulator::PointerPosition target(const sim::Quat& q) {
        float yaw, pitch;
        eulerOf(q, &yaw, &pitch);
        const QRect r = QGuiApplication::primaryScreen()->geometry();
        return MouseEmulator::pointerPosition(yaw, pitch,
                                              {r.left(), r.top(), r.right(), r.bottom()});
    }
    // The pointer within a degree of the pose's position (the host filter's
    // estimate of a still tracker wanders that little).
    static bool pointerNear(MouseEmulator::PointerPosition t) {
        const QRect r = QGuiApplication::primaryScreen()->geometry();
        const int slackX = std::max(3, r.width() / 90), slackY = std::max(3, r.height() / 90);
        const QPoint p = QCursor::pos();
        return std::abs(p.x() - t.x) <= slackX && std::abs(p.y() - t.y) <= slackY;
    }
    // Somewhere far from t.
    static void movePointerAway(MouseEmulator::PointerPosition t) {
        const QRect r = QGuiApplication::primaryScreen()->geometry();
        QCursor::setPos(t.x < r.center().x() ? r.right() - 5 : r.left() + 5,
                        t.y < r.center().y() ? r.bottom() - 5 : r.top() + 5);
    }

    fs::path sysfs;
    BoxAnswerer boxes;
    std::unique_ptr<QuorvaneMouseEmulatorWindow> window;
};

TEST_F(MouseEmulatorWindow, FormKeepsItsNamesAndTexts) {
    sim::TrackerSim device(still({1, 0, 0, 0}));
    openWindow(device.devicePath());
    EXPECT_EQ(window->objectName(), "MainWindow");
    EXPECT_EQ(window->windowTitle(), "MainWindow");
    EXPECT_EQ(button("startSensorButton")->text(), "Start sensor");
    EXPECT_EQ(button("rescanSensorsButton")->text(), "Rescan Sensors");
    EXPECT_EQ(button("cancelButton")->text(), "Quit");
    for (const char* name : {"centralwidget", "verticalLayoutWidget", "menubar", "statusbar"})
        EXPECT_NE(window->findChild<QWidget*>(name), nullptr) << name;
    EXPECT_EQ(window->findChild<QWidget*>("verticalLayoutWidget")->geometry(),
              QRect(10, 10, 160, 83));
    // The X server obeys the pointer warp; the status bar says it is used.
    EXPECT_EQ(window->findChild<QLabel*>("pointerBackendLabel")->text(), "Pointer: xcb");
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].text, "Sensor found!");
    EXPECT_EQ(boxes.seen[0].title, "");
}

TEST_F(MouseEmulatorWindow, PointerFollowsAStillPoseStopsAndRestartsWithS) {
    const sim::Quat q = pose(200, -20);
    sim::TrackerSim device(still(q));
    openWindow(device.devicePath());
    const auto t = target(q);
    movePointerAway(t);

    button("startSensorButton")->click();
    EXPECT_EQ(button("startSensorButton")->text(), "Stop");
    EXPECT_EQ(status(), "Running: QVMOUSE");
    ASSERT_TRUE(processUntil([&] { return pointerNear(t); }))
        << "pointer at " << QCursor::pos().x() << "," << QCursor::pos().y() << ", expected " << t.x
        << "," << t.y;

    pressKey(Qt::Key_S);
    EXPECT_EQ(button("startSensorButton")->text(), "Start");
    EXPECT_EQ(status(), "Stopped");
    ASSERT_TRUE(processUntil([&] { return !device.streaming(); }));

    movePointerAway(t);
    pressKey(Qt::Key_S);
    EXPECT_EQ(button("startSensorButton")->text(), "Stop");
    EXPECT_TRUE(processUntil([&] { return pointerNear(t); }));
}

TEST_F(MouseEmulatorWindow, RescanWhileRunningAnsweredNoKeepsThePointerMoving) {
    const sim::Quat q = pose(160, 15);
    sim::TrackerSim device(still(q));
    openWindow(device.devicePath());
    const auto t = target(q);
    button("startSensorButton")->click();
    ASSERT_TRUE(processUntil([&] { return pointerNear(t); }));

    boxes.questionAnswer = QMessageBox::No;
    button("rescanSensorsButton")->click();
    ASSERT_EQ(boxes.seen.size(), 2u);
    EXPECT_EQ(boxes.seen[1].text, "You are currently running a sensor!");
    EXPECT_EQ(boxes.seen[1].informative,
              "Do you want to cancel this sensor and scan for new devices?");
    EXPECT_EQ(button("startSensorButton")->text(), "Stop");
    movePointerAway(t);
    EXPECT_TRUE(processUntil([&] { return pointerNear(t); }));

    // Yes stops the tracker and scans again.
    boxes.questionAnswer = QMessageBox::Yes;
    button("rescanSensorsButton")->click();
    ASSERT_EQ(boxes.seen.size(), 4u);
    EXPECT_EQ(boxes.seen[3].text, "Sensor found!");
    EXPECT_EQ(button("startSensorButton")->text(), "Start");
    EXPECT_TRUE(processUntil([&] { return !device.streaming(); }));
}

TEST_F(MouseEmulatorWindow, EscapeClosesTheWindowWhileRunning) {
    sim::TrackerSim device(still({1, 0, 0, 0}));
    openWindow(device.devicePath());
    button("startSensorButton")->click();
    ASSERT_TRUE(processUntil([&] { return device.streaming(); })) << status().toStdString();
    ASSERT_TRUE(window->isVisible());
    pressKey(Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
    window.reset();  // as main does after the event loop: the tracker stops
    EXPECT_TRUE(processUntil([&] { return !device.streaming(); }));
}

TEST_F(MouseEmulatorWindow, NoTrackerSaysWhyEachPortWasLeftOutAndStartDoesNothing) {
    const std::string missing = "/nonexistent-quorvane/ttyQV0";
    openWindow(missing);
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].title, "");
    EXPECT_EQ(boxes.seen[0].text, "No sensor found!");
    EXPECT_EQ(boxes.seen[0].informative, "Please ensure, that you connected a sensor!");
    EXPECT_TRUE(boxes.seen[0].details.startsWith(QString::fromStdString(missing) + ": "))
        << boxes.seen[0].details.toStdString();

    button("startSensorButton")->click();
    pressKey(Qt::Key_S);
    EXPECT_EQ(button("startSensorButton")->text(), "Start sensor");
    EXPECT_EQ(status(), "No sensor: connect one and rescan");
    EXPECT_EQ(boxes.seen.size(), 1u);
}

TEST_F(MouseEmulatorWindow, UnpluggedTrackerIsReportedGoneAndTheWindowStaysUsable) {
    sim::Options o = still({1, 0, 0, 0});
    o.faults.unplugAfter = 100;  // about a second into the stream
    sim::TrackerSim device(o);
    const std::string path = device.devicePath();
    openWindow(path);
    button("startSensorButton")->click();
    ASSERT_TRUE(processUntil([&] { return status().contains("gone"); })) << status().toStdString();
    EXPECT_EQ(status(), "Tracker QVMOUSE is gone: plug it in and rescan");
    EXPECT_EQ(button("startSensorButton")->text(), "Start");

    // Still answering: a rescan finds nothing and says why.
    button("rescanSensorsButton")->click();
    ASSERT_EQ(boxes.seen.size(), 2u);
    EXPECT_EQ(boxes.seen[1].text, "No sensor found!");
    EXPECT_TRUE(boxes.seen[1].details.contains(QString::fromStdString(path)))
        << boxes.seen[1].details.toStdString();
}

TEST_F(MouseEmulatorWindow, WaylandSessionGetsAVirtualPointerOrIsToldWhatToDo) {
    sim::TrackerSim device(still({1, 0, 0, 0}));
    setenv("WAYLAND_DISPLAY", "wayland-quorvane-test", 1);
    openWindow(device.devicePath());
    unsetenv("WAYLAND_DISPLAY");
    const QString backend = window->findChild<QLabel*>("pointerBackendLabel")->text();
    if (backend == "Pointer: uinput") {
        EXPECT_EQ(boxes.seen.size(), 1u);  // only the scan's box
        return;
    }
    EXPECT_EQ(backend, "Pointer: none (Wayland)");
    ASSERT_EQ(boxes.seen.size(), 2u);
    EXPECT_EQ(boxes.seen[1].text, "The mouse pointer cannot be moved on this desktop!");
    EXPECT_TRUE(boxes.seen[1].informative.contains("X11 session"));
    EXPECT_TRUE(boxes.seen[1].informative.contains("70-quorvane-tracker.rules"));
    EXPECT_TRUE(boxes.seen[1].details.contains("/dev/uinput"));
    EXPECT_EQ(status(), "Wayland: the pointer cannot be moved");
}

}  // namespace
