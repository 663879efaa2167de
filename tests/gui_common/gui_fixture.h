// Helpers for driving SensorArray against simulated trackers from the GUI
// thread: waiting while Qt delivers the worker's signals, answering message
// boxes, and recording what the worker emitted.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QString>
#include <QTimer>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "qt_wait.h"
#include "quorvane.h"
#include "sensor_array.h"
#include "sensor_config.h"
#include "sim_fixture.h"
#include "tracker_fixture.h"

namespace Quorvane::testing {

using QtWait::BoxAnswerer;
using QtWait::processUntil;

// Records the worker's signals in the GUI thread (queued delivery).
struct SignalLog {
    explicit SignalLog(SensorArray& array) {
        QObject::connect(&array, &SensorArray::accDataChanged, &context,
                         [this](double x, double y, double z) {
                             names.push_back("acc");
                             acc.push_back({x, y, z});
                         });
        QObject::connect(&array, &SensorArray::gyroDataChanged, &context,
                         [this](double, double, double) { names.push_back("gyro"); });
        QObject::connect(&array, &SensorArray::magDataChanged, &context,
                         [this](double x, double y, double z) {
                             names.push_back("mag");
                             mag.push_back({x, y, z});
                         });
        QObject::connect(&array, &SensorArray::quaternionChanged, &context,
                         [this](double w, double x, double y, double z) {
                             names.push_back("quat");
                             quat.push_back({w, x, y, z});
                         });
        QObject::connect(&array, &SensorArray::eulerOrientationChanged, &context,
                         [this](float, float, float) { names.push_back("euler"); });
        QObject::connect(&array, &SensorArray::changeTempStatusBar, &context,
                         [this](const QString& text) {
                             names.push_back("temp");
                             temperatures.push_back(text);
                         });
        QObject::connect(&array, &SensorArray::initializeProgressBar, &context,
                         [this](int steps) { progressSize = steps; });
        QObject::connect(&array, &SensorArray::advanceProgressBar, &context,
                         [this](int step) { progress.push_back(step); });
        QObject::connect(&array, &SensorArray::calibrationFinished, &context,
                         [this](bool success) { finished.push_back(success); });
        QObject::connect(&array, &SensorArray::streamEnded, &context,
                         [this](const QString& reason) { streamEnds.push_back(reason); });
        QObject::connect(&array, &SensorArray::calibrationEnded, &context,
                         [this](bool success, const QString& reason) {
                             calibrationEnds.push_back({success, reason});
                         });
    }
    std::size_t count(const std::string& name) const {
        return static_cast<std::size_t>(std::count(names.begin(), names.end(), name));
    }

    QObject context;  // receivers live in the GUI thread
    std::vector<std::string> names;
    std::vector<std::vector<double>> acc, mag, quat;
    std::vector<QString> temperatures;
    int progressSize = 0;
    std::vector<int> progress;
    std::vector<bool> finished;
    std::vector<QString> streamEnds;
    std::vector<std::pair<bool, QString>> calibrationEnds;
};

// Writes a configuration to the simulated tracker through the library.
inline void configure(const sim::TrackerSim& device, const SensorConfig& config) {
    Handle tracker(2);
    ASSERT_EQ(openTracker(tracker, &config, device.devicePath()), 0);
}

// The configuration the simulated tracker holds, read through the library.
inline SensorConfig deviceConfig(const sim::TrackerSim& device) {
    Handle tracker(2);
    SensorConfig config{};
    if (openTracker(tracker, nullptr, device.devicePath()) == 0) fenlarkGetConfig(tracker, &config);
    return config;
}

// Rescans until the list holds `expected` entries: on a loaded machine a
// tracker now and then misses a reply's window, and the rescan then reports
// it with a box and leaves it out. False when that kept happening.
inline bool rescanUntil(SensorArray& array, std::size_t expected) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        array.rescan();
        if (array.sensors().size() == expected) return true;
    }
    return false;
}

// A SensorArray whose list holds the given simulated trackers, in order, read
// by a rescan.
inline void scan(SensorArray& array, const std::vector<const sim::TrackerSim*>& devices) {
    std::vector<std::string> paths;
    for (const sim::TrackerSim* d : devices) paths.push_back(d->devicePath());
    listPorts(paths);
    BoxAnswerer boxes;
    rescanUntil(array, devices.size());
    unsetenv(kExtraPortsVariable);
}

}  // namespace Quorvane::testing
