// The configuration tool's window: the device tree with every tracker's
// settings, start and stop of the selected tracker's stream into three
// charts, the 3D view and the yaw, pitch and roll labels, saving the
// settings on the tracker, boresight, calibration and the small dialogs.
//
// Threads: lives in the GUI thread. SensorArray's signals come from its
// worker and arrive queued; the charts and the view are redrawn only by the
// 33 ms redraw timer while a tracker runs.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QItemSelection>
#include <QLabel>
#include <QMainWindow>
#include <QTimer>
#include <array>
#include <optional>
#include <string>

#include "sensor_array.h"
#include "stream_statistics.h"

class CalibrationDialog;
class ChartViewOpenGL;
class OpenGLView;
class QTreeWidgetItem;
class SensorObject;

namespace Ui {
class MainWindow;
class AboutDialog;
class AdditionalComPortsToScanDialog;
}  // namespace Ui

class MainWindow : public QMainWindow {
    Q_OBJECT

  public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Rows of a tracker's block below its top-level item.
    enum BlockRow {
        RowSensorConfig = 0,
        RowMagDiv,
        RowFrequency,
        RowAscii,
        RowAutostart,
        RowRaw,
        RowBoresight,
        RowJitterReduction,
        RowFilterProfile
    };

  signals:
    void resetGraph();

  public slots:
    void accValuesChanged(double x, double y, double z);
    void gyrValuesChanged(double x, double y, double z);
    void magValuesChanged(double x, double y, double z);
    void update();
    void eulerOrientationChanged(float yaw, float pitch, float roll);
    void rescanSensors();
    void startStopSensor();
    void itemClicked(const QItemSelection& selected, const QItemSelection& deselected);
    void saveConfigurationToSensor();
    void enableDisplays(int mask);
    void calibrationButtonPressed();
    void boresightSensorHeading();
    void boresightSensorObject();
    void boresightSensorAlignment();
    void enableTextures();
    void focusTreeItem(std::string id, int pos);
    void showFAQDialog();
    void showAboutDialog();
    void addManualDevices();
    void updateAccLabels(float maximum);
    void updateGyrLabels(float maximum);
    void updateMagLabels(float maximum);

  private slots:
    // The worker's stream ended without being asked to (unplugged, failed).
    void streamEnded(const QString& reason);
    void sampleTimestampChanged(uint timestamp);
    // The stream's angles and temperature text are kept here and shown by
    // the redraw timer (the angles on every redraw, the temperature twice a
    // second): set per sample, each label repainted the window up to 100
    // times a second, and every new temperature relaid out the status bar.
    void eulerAnglesArrived(float yaw, float pitch, float roll);
    void temperatureArrived(const QString& text);

  private:
    void buildChartColumn();
    void buildStatusBar();
    void addSensorBlock(SensorObject* sensor);
    void disconnectSensorBlock(QTreeWidgetItem* item, SensorObject* sensor);
    void stopSensor();
    void setTreeWidgetsDisabled(bool disabled);
    void boresight(int mode);
    void updateScaleLabels(QLabel* const* labels, float maximum);
    void showArrivedAngles();
    void showArrivedTemperature();
    bool isRunning() const;

    Ui::MainWindow* ui;
    OpenGLView* orientationView = nullptr;
    ChartViewOpenGL* accChart = nullptr;
    ChartViewOpenGL* gyrChart = nullptr;
    ChartViewOpenGL* magChart = nullptr;
    SensorArray sensorArray;
    QLabel statusLabel;
    QLabel temperatureLabel;
    // Beyond the temperature: the rate that arrives and the samples lost.
    QLabel streamLabel;
    QLabel* accScaleLabels[9];
    QLabel* gyrScaleLabels[9];
    QLabel* magScaleLabels[9];
    std::string selectedSensorId;
    QDialog* aboutDialog = nullptr;
    Ui::AboutDialog* aboutForm = nullptr;
    QDialog* additionalPortsDialog = nullptr;
    Ui::AdditionalComPortsToScanDialog* additionalPortsForm = nullptr;
    CalibrationDialog* calibrationDialog = nullptr;
    QTimer redrawTimer;

    TrackerConfig::StreamStatistics statistics;
    QElapsedTimer streamClock;
    qint64 statisticsShownMs = 0;
    // Arrived since the last redraw; nothing when no new value came.
    std::optional<std::array<float, 3>> arrivedAngles;
    std::optional<QString> arrivedTemperature;
    // The tracker that was started last, for the status bar's messages.
    std::string runningId;
};
