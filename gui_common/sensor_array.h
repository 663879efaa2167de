// The GUI programs' single point of access to the device library: the list
// of known trackers, their configuration, and a worker thread that streams
// the current tracker's samples as Qt signals, runs the magnetometer
// calibration, or streams only its orientation (mouse emulator).
//
// Threads: every operation is called from the GUI thread; the run functions
// run in the worker thread and emit the signals there (queued to the
// windows). The GUI thread uses the library handle only while the worker is
// stopped (operations that open the device stop it first), except boresight.
// runFlag, mode, calibrationIndex and progressCount are atomics; the list
// changes only while the worker is stopped.
#pragma once

#include <QString>
#include <QThread>
#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "quorvane.h"
#include "sensor_object.h"

class SensorArray : public QThread {
    Q_OBJECT

  public:
    // Run modes executed by the next run.
    enum Mode { Streaming = 0, Calibration = 1, OrientationOnly = 2 };
    // Progress steps of a whole calibration run.
    static constexpr int kCalibrationSteps = 3500;

    SensorArray();
    // Stops the worker as stopPolling does, then releases the handle and the list.
    ~SensorArray() override;

    // Rebuilds the list from a device scan plus the entries of the
    // additional ports, reading every setting from the devices.
    void rescan();
    // Adds an entry for every port of the comma-separated list (see
    // GuiCommon::portPath); an empty list removes every such entry.
    void setAdditionalPorts(std::string portList);
    // Appends an entry of the additional ports unless one has this port.
    void addManualPort(std::string port);
    std::vector<SensorObject*> sensors() const;
    // The first entry with this id; null for an empty id or none.
    SensorObject* findSensor(std::string id) const;
    // Stops the worker and makes the last entry with this id current; false
    // for an empty id or none.
    bool selectSensor(std::string id);
    SensorObject* currentSensor() const;
    // Sends the settings of the entries with this id (all for an empty id)
    // to their devices, saving them there if save. False when a device could
    // not be opened or a command failed.
    bool transmitConfiguration(std::string id, bool save);
    // Ends the worker thread; returns once it has ended, also when the
    // request comes while it is still opening the device.
    void stopPolling();
    bool isCalibrationPending() const;
    // Boresights the streaming tracker (1 heading, 2 object, 3 alignment).
    bool boresight(int mode);
    // Chooses the entry with this id (the current one for an empty id) for
    // a magnetometer calibration by the next run.
    bool prepareCalibration(std::string id);
    void setMode(int mode);
    bool selectSensor(int index);

    // Whether a run function is between opening and closing the device.
    bool isPolling() const { return runFlag; }
    int calibrationProgress() const { return progressCount; }
    // The samples the last (or running) calibration has kept so far, from
    // index `from` on, as the fit sees them (acceleration calibrated). For
    // the calibration dialog's coverage and fit-quality figures.
    std::vector<SensorSample> calibrationSamples(std::size_t from = 0) const;

  signals:
    void accDataChanged(double acc_x, double acc_y, double acc_z);
    void gyroDataChanged(double gyro_x, double gyro_y, double gyro_z);
    void magDataChanged(double mag_x, double mag_y, double mag_z);
    void quaternionChanged(double q_w, double q_x, double q_y, double q_z);
    void eulerOrientationChanged(float yaw, float pitch, float roll);
    void changeTempStatusBar(QString newText);
    void advanceProgressBar(int step);
    void initializeProgressBar(int numberOfSteps);
    void calibrationFinished(bool success);
    // The streaming or orientation-only run ended without being asked to:
    // "could not open <port>", "tracker disconnected", or the failure.
    void streamEnded(QString reason);
    // Once at every end of a calibration run, whichever way it ended; reason
    // is empty on success.
    void calibrationEnded(bool success, QString reason);
    // The device timestamp of every streamed sample (units of 100 us).
    void sampleTimestampChanged(uint timestamp);

  protected:
    void run() override;

  private:
    struct ScanRecord {
        std::string port;
        bool additional;
    };

    // The current entry with its port opened for a run loop; null, with
    // streamEnded saying why unless a stop was asked for, when there is no
    // entry or its port can't be opened.
    SensorObject* openCurrentForRun();
    void streamingLoop();
    void orientationLoop();
    // The body both run loops share: until a stop is asked for or the tracker
    // goes, runs eachRound, waits for data and hands every new sample to
    // onSample. Returns why it ended on its own; empty after a stop request.
    QString pumpSamples(const std::function<void()>& eachRound,
                        const std::function<void(const SensorSample&)>& onSample);
    void calibrationRun();
    void collectCalibrationData(std::vector<SensorSample>& samples, CalibrationData cal);
    bool fitMagnetometerCalibration(const std::vector<SensorSample>& samples, CalibrationData* cal);

    // Reads one scanned device into a new entry; null when it cannot be opened.
    SensorObject* readDevice(const ScanRecord& record);
    // fenlarkOpen with a few tries: a loaded host can miss a reply window.
    // Gives up early when a stop is requested.
    bool openDevice(const std::string& port, const SensorConfig* config = nullptr);
    void closeQuietly();
    void stopQuietly();
    // Why a run ended on an exception: the unplug or the failure's message.
    QString failureReason(const char* what);
    bool trackerGone();
    // Emits the signals of one sample of the streaming loop.
    void emitSample(const SensorSample& sample, bool raw);
    void advanceProgress(int steps);
    SensorObject* entryAt(int index) const;
    // Runs a device command again after a pause when it fails while the
    // tracker is still there: a loaded host can miss a reply's window.
    template <typename Command>
    void retried(Command command);

    VirtualFenlark* handle;
    std::atomic<bool> runFlag{false};
    std::vector<SensorObject*> sensorList;
    unsigned currentIndex = 0;
    std::atomic<int> calibrationIndex{-1};
    std::atomic<int> progressCount{0};
    std::atomic<int> mode{Streaming};

    // Set by stopPolling until the worker has ended, so a run that is still
    // opening the device does not go on streaming.
    std::atomic<bool> stopRequested{false};
    // Held by run() while it executes: stopPolling takes it after the
    // thread ended, which orders everything the run wrote before the GUI
    // thread's next reads for any observer (ThreadSanitizer included).
    std::mutex runMutex;

    // A copy of the calibration's kept samples, for calibrationSamples().
    mutable std::mutex keptMutex;
    std::vector<SensorSample> kept;
};

template <typename Command>
void SensorArray::retried(Command command) {
    constexpr int kTries = 4;
    for (int attempt = 1;; ++attempt) {
        try {
            command();
            return;
        } catch (const std::exception&) {
            if (attempt == kTries || trackerGone()) throw;
        }
        QThread::msleep(50);
    }
}
