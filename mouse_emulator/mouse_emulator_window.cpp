#include "mouse_emulator_window.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QStatusBar>

#include "port_problems.h"
#include "ui_mouse_emulator_window.h"

namespace {

MouseEmulator::ScreenArea areaOf(const QRect& r) {
    return {r.left(), r.top(), r.right(), r.bottom()};
}

QRect primaryScreenGeometry() {
    const QScreen* primary = QGuiApplication::primaryScreen();
    return primary ? primary->geometry() : QRect();
}

QRect desktopGeometry() {
    const QScreen* primary = QGuiApplication::primaryScreen();
    return primary ? primary->virtualGeometry() : QRect();
}

// A modal box without title, as every message of the GUI programs.
int showBox(QMessageBox::Icon icon, const QString& text, const QString& informative,
            const QString& details = QString(),
            QMessageBox::StandardButtons buttons = QMessageBox::Ok,
            QMessageBox::StandardButton defaultButton = QMessageBox::Ok) {
    QMessageBox box;
    box.setIcon(icon);
    box.setWindowTitle(QString());
    box.setText(text);
    box.setInformativeText(informative);
    box.setDetailedText(details);
    box.setStandardButtons(buttons);
    box.setDefaultButton(defaultButton);
    return box.exec();
}

}  // namespace

QuorvaneMouseEmulatorWindow::QuorvaneMouseEmulatorWindow(QWidget* parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), screen() {
    ui->setupUi(this);
    cursorX = cursorY = 0;
    connect(ui->rescanSensorsButton, &QPushButton::pressed, this,
            &QuorvaneMouseEmulatorWindow::rescanSensors);
    connect(ui->startSensorButton, &QPushButton::pressed, this,
            &QuorvaneMouseEmulatorWindow::startStopSensor);
    connect(ui->cancelButton, &QPushButton::pressed, this, &QWidget::close);
    connect(&sensorArray, &SensorArray::streamEnded, this,
            &QuorvaneMouseEmulatorWindow::streamEnded);
    rescanSensors();
    screen = primaryScreenGeometry();
    setUpPointerBackend();
}

QuorvaneMouseEmulatorWindow::~QuorvaneMouseEmulatorWindow() {
    disconnect(&sensorArray, &SensorArray::eulerOrientationChanged, this,
               &QuorvaneMouseEmulatorWindow::eulerOrientationChanged);
    sensorArray.stopPolling();
    delete ui;
}

void QuorvaneMouseEmulatorWindow::setUpPointerBackend() {
    pointer =
        MouseEmulator::setUpPointer(QGuiApplication::platformName(), areaOf(desktopGeometry()));
    backendLabel = new QLabel(pointer.label, this);
    backendLabel->setObjectName(QStringLiteral("pointerBackendLabel"));
    ui->statusbar->addPermanentWidget(backendLabel);
    if (!pointer.pointerStuck) return;

    showSensorState(QStringLiteral("Wayland: the pointer cannot be moved"));
    QString informative = QStringLiteral(
        "This desktop runs a Wayland session, which ignores programs that move the "
        "pointer. Log in to an X11 session instead (on the login screen, for example "
        "\"GNOME on Xorg\" or \"Plasma (X11)\"), or let the emulator make a virtual "
        "pointer: install the udev rule resources/udev/70-quorvane-tracker.rules, which "
        "gives you access to /dev/uinput, log in again and restart the emulator.");
    showBox(QMessageBox::Warning,
            QStringLiteral("The mouse pointer cannot be moved on this desktop!"), informative,
            pointer.virtualPointerProblem.isEmpty()
                ? QString()
                : QStringLiteral("Virtual pointer: ") + pointer.virtualPointerProblem);
}

void QuorvaneMouseEmulatorWindow::showSensorState(const QString& text) {
    ui->statusbar->showMessage(text);
}

void QuorvaneMouseEmulatorWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_S)
        startStopSensor();
    else if (event->key() == Qt::Key_Escape)
        close();
    else
        QMainWindow::keyPressEvent(event);
}

void QuorvaneMouseEmulatorWindow::stopSensor() {
    disconnect(&sensorArray, &SensorArray::eulerOrientationChanged, this,
               &QuorvaneMouseEmulatorWindow::eulerOrientationChanged);
    // Returns once the worker has ended and released the device; the thread
    // is never cut off while it holds the port.
    sensorArray.stopPolling();
    ui->startSensorButton->setText(QStringLiteral("Start"));
}

void QuorvaneMouseEmulatorWindow::startStopSensor() {
    if (sensorArray.isRunning()) {
        stopSensor();
        showSensorState(QStringLiteral("Stopped"));
        return;
    }
    if (!sensorArray.selectSensor(0)) {
        showSensorState(QStringLiteral("No sensor: connect one and rescan"));
        return;
    }
    connect(&sensorArray, &SensorArray::eulerOrientationChanged, this,
            &QuorvaneMouseEmulatorWindow::eulerOrientationChanged, Qt::UniqueConnection);
    ui->startSensorButton->setText(QStringLiteral("Stop"));
    sensorArray.setMode(SensorArray::OrientationOnly);
    runningId = QString::fromStdString(sensorArray.currentSensor()->getId());
    showSensorState(QStringLiteral("Running: ") + runningId);
    sensorArray.start(QThread::InheritPriority);
}

void QuorvaneMouseEmulatorWindow::streamEnded(const QString& reason) {
    stopSensor();
    if (reason == QLatin1String("tracker disconnected"))
        showSensorState(QStringLiteral("Tracker ") + runningId +
                        QStringLiteral(" is gone: plug it in and rescan"));
    else
        showSensorState(QStringLiteral("Tracker ") + runningId + QStringLiteral(" stopped: ") +
                        reason);
}

void QuorvaneMouseEmulatorWindow::rescanSensors() {
    if (sensorArray.isRunning()) {
        const int answer =
            showBox(QMessageBox::Question, QStringLiteral("You are currently running a sensor!"),
                    QStringLiteral("Do you want to cancel this sensor and scan for new devices?"),
                    QString(), QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
        if (answer == QMessageBox::No) return;
        stopSensor();
    }
    sensorArray.rescan();
    const std::size_t found = sensorArray.sensors().size();
    if (found == 0) {
        showSensorState(QStringLiteral("No sensor found"));
        showBox(QMessageBox::Information, QStringLiteral("No sensor found!"),
                QStringLiteral("Please ensure, that you connected a sensor!"),
                MouseEmulator::portProblemsText());
    } else if (found == 1) {
        showSensorState(QStringLiteral("Found: ") +
                        QString::fromStdString(sensorArray.sensors()[0]->getId()));
        showBox(QMessageBox::Information, QStringLiteral("Sensor found!"), QString());
    } else {
        showSensorState(QStringLiteral("Using: ") +
                        QString::fromStdString(sensorArray.sensors()[0]->getId()));
        showBox(QMessageBox::Information, QStringLiteral("Multiple sensors found!"),
                QStringLiteral("Using the first found sensor for simulations."));
    }
}

void QuorvaneMouseEmulatorWindow::eulerOrientationChanged(float yaw, float pitch, float) {
    const MouseEmulator::PointerPosition p =
        MouseEmulator::pointerPosition(yaw, pitch, areaOf(screen));
    cursorX = p.x;
    cursorY = p.y;
    pointer.backend->move(p);
}
