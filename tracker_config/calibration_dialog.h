// Shows one tracker's calibration parameters inside the formulas the
// tracker applies, lets the user edit the accelerometer matrix A_R, and runs
// the magnetometer calibration of SensorArray with a progress bar, a hint of
// the directions still missing, and a report of the result's quality.
//
// Threads: the run's progress signals arrive in the worker thread (direct
// connections) and only write a small shared state under its mutex; the
// GUI thread reads it on a 100 ms timer and does every widget change,
// the progress bar's maximum included. The state is shared with the
// connections, so closing the dialog while the worker still reports is safe.
#pragma once

#include <QDialog>
#include <QMetaObject>
#include <QMutex>
#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "calibration_quality.h"
#include "quorvane.h"

class QTableWidget;
class QTableWidgetItem;
class QTimer;
class SensorArray;
class SensorObject;

namespace Ui {
class CalibrationParameterDialog;
}

class CalibrationDialog : public QDialog {
    Q_OBJECT

  public:
    explicit CalibrationDialog(QWidget* parent = nullptr);
    ~CalibrationDialog() override;

    // The tracker with this id (the array's current one for an empty id).
    // Does nothing for a null array.
    void setSensor(SensorArray* array, std::string id);
    // Fills the tables and runs the dialog modally: the exec result, or -1
    // without a tracker.
    int fillTables();

    // How long the progress may stand at its end while the run still goes
    // on before the dialog stops waiting for a result.
    static constexpr int kResultPatienceMs = 5000;

  public slots:
    void matrixARChanged(QTableWidgetItem* item);
    void matrixAbChanged(QTableWidgetItem* item);
    void matrixAkChanged(QTableWidgetItem* item);
    void matrixGRChanged(QTableWidgetItem* item);
    void matrixGKChanged(QTableWidgetItem* item);
    void matrixGbChanged(QTableWidgetItem* item);
    void matrixGkChanged(QTableWidgetItem* item);
    void matrixMRChanged(QTableWidgetItem* item);
    void matrixMbChanged(QTableWidgetItem* item);
    void matrixMkChanged(QTableWidgetItem* item);
    void initializeProgressBar(int size);
    void advanceProgressBar(int value);
    void calibrationFinished(bool success);

  private slots:
    void calibrateMagnetometers();
    void updateProgressBar();

  private:
    // What the worker reports, handed to the GUI thread.
    struct RunState {
        QMutex mutex;
        int progress = 0;
        int pendingMaximum = -1;  // set by the run's start, applied by the GUI thread
        int result = -1;          // -1 none yet, 0 failed, 1 succeeded
        bool ended = false;       // the run said how it ended
        QString reason;           // why, when it ended without success
    };

    void fillMagnetometerTables();
    void connectRun();
    void disconnectRun();
    void updateMissingDirections();
    // Back to idle after a run: the Part's boxes for a result, a box saying
    // what happened otherwise, and the quality report.
    void finishRun(int result, const QString& reason);

    Ui::CalibrationParameterDialog* ui;
    SensorObject* sensor = nullptr;
    SensorArray* array = nullptr;
    QTimer* timer = nullptr;
    std::shared_ptr<RunState> state;
    std::vector<QMetaObject::Connection> runConnections;

    // The parameters in effect when the run started, and the samples seen.
    CalibrationQuality::MagParameters before;
    std::vector<SensorSample> collected;
    qint64 stalledSinceMs = -1;
};
