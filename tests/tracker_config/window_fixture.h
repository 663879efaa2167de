// The configuration tool's window against simulated trackers: starting
// them, opening the window on them, answering its message boxes from a
// timer, and finding its widgets by object name.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "main_window.h"
#include "qt_wait.h"
#include "quorvane.h"
#include "tracker_sim.h"
#include "tty_discovery.h"

namespace ConfigTests {

namespace fs = std::filesystem;

using QtWait::BoxAnswerer;
using QtWait::processUntil;

// Nine axes and the temperature at 100 Hz, floats: the configuration that
// shows everything, orientation included.
inline SensorConfig everything(uint16_t frequency = 100) {
    SensorConfig c{};
    c.channels = 0x3FF;
    c.magDivider = 3;
    c.frequency = frequency;
    return c;
}

// A tracker at rest in the pose Q_SW; no board distortion, so the filter's
// heading is the pose's.
inline sim::Options stillTracker(const std::string& id, const sim::Quat& q = {1, 0, 0, 0}) {
    sim::Options o;
    o.identity = {id, 1, 4};
    o.motion.kind = sim::Motion::Kind::Still;
    o.motion.initial = q;
    o.environment.hardIron = {0, 0, 0};
    o.environment.softIron = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    return o;
}

class ConfigWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        // An empty sysfs tree keeps attached hardware out of these tests.
        scratch = fs::temp_directory_path() / ("qv-config-" + std::to_string(getpid()));
        fs::create_directories(scratch / "sysfs" / "class" / "tty");
        setenv(Quorvane::kSysfsRootVariable, (scratch / "sysfs").c_str(), 1);
    }
    void TearDown() override {
        window.reset();
        sims.clear();
        unsetenv(Quorvane::kExtraPortsVariable);
        unsetenv(Quorvane::kSysfsRootVariable);
        fs::remove_all(scratch);
    }

    sim::TrackerSim& addSim(const sim::Options& options) {
        sims.push_back(std::make_unique<sim::TrackerSim>(options));
        return *sims.back();
    }
    // Writes a configuration to the simulated tracker and saves it there.
    static void configure(const sim::TrackerSim& device, const SensorConfig& config) {
        VirtualFenlark* handle = fenlarkCreate(2);
        setenv(Quorvane::kExtraPortsVariable, device.devicePath().c_str(), 1);
        bool opened = false;
        for (int attempt = 0; attempt < 4 && !opened; ++attempt)
            opened = fenlarkOpen(handle, &config, device.devicePath().c_str()) == 0;
        fenlarkDestroy(handle);
        ASSERT_TRUE(opened) << "could not configure " << device.devicePath();
    }

    // Opens the window on all simulators; its constructor scans. A loaded
    // machine now and then misses an identification window, so a short
    // list is scanned again with the Rescan button.
    void openWindow() {
        std::string ports;
        for (const auto& s : sims) ports += (ports.empty() ? "" : ",") + s->devicePath();
        setenv(Quorvane::kExtraPortsVariable, ports.c_str(), 1);
        window = std::make_unique<MainWindow>();
        window->show();
        for (int attempt = 0; attempt < 3 && tree()->topLevelItemCount() != int(sims.size());
             ++attempt)
            button("RescanPushButton")->pressed();
        ASSERT_EQ(tree()->topLevelItemCount(), int(sims.size()));
    }

    QTreeWidget* tree() const { return window->findChild<QTreeWidget*>("DeviceTreeWidget"); }
    QPushButton* button(const char* name) const { return window->findChild<QPushButton*>(name); }
    QAction* action(const char* name) const { return window->findChild<QAction*>(name); }
    QLabel* label(const QString& name) const { return window->findChild<QLabel*>(name); }
    QString status() const { return label("statusLabel")->text(); }
    QTreeWidgetItem* block(int index) const { return tree()->topLevelItem(index); }
    template <typename W>
    W* rowWidget(QTreeWidgetItem* row) const {
        return qobject_cast<W*>(tree()->itemWidget(row, 1));
    }

    // Presses Start and waits until samples reach the window.
    void start() {
        button("StartPushButton")->pressed();
        ASSERT_EQ(button("StartPushButton")->text(), "Stop") << status().toStdString();
    }

    fs::path scratch;
    std::vector<std::unique_ptr<sim::TrackerSim>> sims;
    std::unique_ptr<MainWindow> window;
    BoxAnswerer boxes;
};

}  // namespace ConfigTests
