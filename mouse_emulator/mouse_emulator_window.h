// The mouse emulator's window: starts and stops a tracker's orientation
// stream and moves the pointer from its yaw and pitch.
#pragma once

#include <QMainWindow>
#include <QRect>
#include <QString>
#include <memory>

#include "pointer_backend.h"
#include "sensor_array.h"

class QKeyEvent;
class QLabel;

namespace Ui {
class MainWindow;
}

class QuorvaneMouseEmulatorWindow : public QMainWindow {
    Q_OBJECT

  public:
    explicit QuorvaneMouseEmulatorWindow(QWidget* parent = nullptr);
    ~QuorvaneMouseEmulatorWindow() override;

  public slots:
    // Only the orientation streams; these stay for connections by name.
    void accValuesChanged(double, double, double) {}
    void gyrValuesChanged(double, double, double) {}
    void magValuesChanged(double, double, double) {}
    void eulerOrientationChanged(float yaw, float pitch, float roll);
    void rescanSensors();
    void startStopSensor();

  protected:
    // S starts or stops the tracker, Escape closes the window.
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void stopSensor();
    // The worker ended on its own (unplugged, failed): tell it and offer Start.
    void streamEnded(const QString& reason);
    void showSensorState(const QString& text);
    void setUpPointerBackend();

    Ui::MainWindow* ui;
    SensorArray sensorArray;
    int cursorX;
    int cursorY;
    QRect screen;

    MouseEmulator::PointerSetup pointer;
    QLabel* backendLabel = nullptr;
    // The id of the tracker started last, for the status bar.
    QString runningId;
};
