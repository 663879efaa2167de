#include "main_window.h"

#include <QApplication>
#include <QMessageBox>
#include <QSpacerItem>
#include <QStringList>
#include <vector>

#include "about_form.h"
#include "additional_ports_form.h"
#include "calibration_dialog.h"
#include "chart_view.h"
#include "main_window_form.h"
#include "message_box.h"
#include "opengl_view.h"
#include "quorvane.h"
#include "small_dialogs.h"

namespace {

// Why discovery left each candidate port out, on one line for the status bar.
QString portProblemsLine() {
    const int count = fenlarkGetPortProblems(nullptr, UINT32_MAX);
    if (count <= 0) return QObject::tr("No tracker found. Is it plugged in?");
    std::vector<FenlarkPortProblem> problems(static_cast<std::size_t>(count));
    const int copied = fenlarkGetPortProblems(problems.data(), static_cast<uint32_t>(count));
    // Another thread's discovery may have shortened the list meanwhile.
    if (copied >= 0) problems.resize(static_cast<std::size_t>(copied));
    QStringList parts;
    for (const FenlarkPortProblem& p : problems)
        parts << QString::fromLocal8Bit(p.port) + QStringLiteral(": ") +
                     QString::fromLocal8Bit(p.message);
    return QObject::tr("No tracker found. ") + parts.join(QStringLiteral("; "));
}

bool askYesNo(const QString& text, const QString& informative = QString()) {
    QMessageBox box;
    box.setText(text);
    if (!informative.isEmpty()) box.setInformativeText(informative);
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() != QMessageBox::No;
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), ui(new Ui::MainWindow) {
    ui->setupUi(this);

    connect(ui->actionStart, &QAction::triggered, this, &MainWindow::startStopSensor);
    connect(ui->actionAddTrackersByPort, &QAction::triggered, this, &MainWindow::addManualDevices);
    connect(ui->actionRescan, &QAction::triggered, this, &MainWindow::rescanSensors);
    connect(ui->actionCalibrationParameters, &QAction::triggered, this,
            &MainWindow::calibrationButtonPressed);
    connect(ui->actionQuit, &QAction::triggered, this, &QWidget::close);
    connect(ui->actionEnableTextures, &QAction::triggered, this, &MainWindow::enableTextures);
    connect(ui->actionHeading, &QAction::triggered, this, &MainWindow::boresightSensorHeading);
    connect(ui->actionObject, &QAction::triggered, this, &MainWindow::boresightSensorObject);
    connect(ui->actionAlignment, &QAction::triggered, this, &MainWindow::boresightSensorAlignment);
    connect(ui->actionAbout, &QAction::triggered, this, &MainWindow::showAboutDialog);
    connect(ui->actionFAQ, &QAction::triggered, this, &MainWindow::showFAQDialog);
    // pressed(), not clicked(): the buttons act as soon as they go down.
    connect(ui->StartPushButton, &QPushButton::pressed, this, &MainWindow::startStopSensor);
    connect(ui->RescanPushButton, &QPushButton::pressed, this, &MainWindow::rescanSensors);
    connect(ui->SaveConfigurationPushButton, &QPushButton::pressed, this,
            &MainWindow::saveConfigurationToSensor);

    aboutDialog = new QDialog(this);
    aboutForm = new Ui::AboutDialog;
    aboutForm->setupUi(aboutDialog);
    additionalPortsDialog = new QDialog(this);
    additionalPortsForm = new Ui::AdditionalComPortsToScanDialog;
    additionalPortsForm->setupUi(additionalPortsDialog);

    orientationView = new OpenGLView(ui->horizontalLayoutWidget);
    orientationView->setObjectName(QStringLiteral("orientationView"));
    orientationView->resize(250, 250);
    orientationView->setMinimumSize(250, 250);
    orientationView->setMaximumSize(250, 250);
    ui->horizontalLayoutOpenGL->addWidget(orientationView);
    ui->horizontalLayoutOpenGL->addItem(
        new QSpacerItem(50, 0, QSizePolicy::Ignored, QSizePolicy::Expanding));

    buildChartColumn();
    buildStatusBar();
    for (ChartViewOpenGL* chart : {accChart, gyrChart, magChart})
        connect(this, &MainWindow::resetGraph, chart, &ChartViewOpenGL::reset);
    connect(accChart, &ChartViewOpenGL::maxChanged, this, &MainWindow::updateAccLabels);
    connect(gyrChart, &ChartViewOpenGL::maxChanged, this, &MainWindow::updateGyrLabels);
    connect(magChart, &ChartViewOpenGL::maxChanged, this, &MainWindow::updateMagLabels);
    connect(&sensorArray, &SensorArray::streamEnded, this, &MainWindow::streamEnded);

    orientationView->setViewMode(OpenGLView::RestingPose);
    orientationView->updateGL();
    rescanSensors();
    calibrationDialog = nullptr;
    connect(&redrawTimer, &QTimer::timeout, this, &MainWindow::update);
}

MainWindow::~MainWindow() {
    stopSensor();
    delete ui;
    delete aboutDialog;
    delete aboutForm;
    delete additionalPortsDialog;
    delete additionalPortsForm;
    delete magChart;
    delete gyrChart;
    delete accChart;
    delete calibrationDialog;
}

bool MainWindow::isRunning() const {
    return sensorArray.isRunning();
}

void MainWindow::accValuesChanged(double x, double y, double z) {
    accChart->valueChanged(x, y, z);
}
void MainWindow::gyrValuesChanged(double x, double y, double z) {
    gyrChart->valueChanged(x, y, z);
}
void MainWindow::magValuesChanged(double x, double y, double z) {
    magChart->valueChanged(x, y, z);
}

void MainWindow::update() {
    orientationView->updateGL();
    accChart->updateGL();
    gyrChart->updateGL();
    magChart->updateGL();
    showArrivedAngles();
    // Twice a second is enough for a figure the eye has to read. Both fields
    // change together, so the status bar is laid out once for both.
    if (streamClock.isValid() && streamClock.elapsed() - statisticsShownMs >= 500) {
        statisticsShownMs = streamClock.elapsed();
        streamLabel.setText(QString::fromStdString(statistics.text()));
        showArrivedTemperature();
    }
    // The rest of the window is not repainted: every label and control
    // repaints itself when its content changes, and repainting all of them
    // 30 times a second cost more than drawing the views.
}

void MainWindow::eulerOrientationChanged(float yaw, float pitch, float roll) {
    const float toDegrees = 57.29578f;
    ui->labelYawParameter->setText(QString::number(yaw * toDegrees, 'f', 1));
    ui->labelPitchParameter->setText(QString::number(pitch * toDegrees, 'f', 1));
    ui->labelRollParameter->setText(QString::number(roll * toDegrees, 'f', 1));
}

void MainWindow::eulerAnglesArrived(float yaw, float pitch, float roll) {
    arrivedAngles = std::array<float, 3>{yaw, pitch, roll};
}

void MainWindow::temperatureArrived(const QString& text) {
    arrivedTemperature = text;
}

void MainWindow::showArrivedAngles() {
    if (!arrivedAngles) return;
    const std::array<float, 3>& angles = *arrivedAngles;
    eulerOrientationChanged(angles[0], angles[1], angles[2]);
    arrivedAngles.reset();
}

void MainWindow::showArrivedTemperature() {
    if (!arrivedTemperature) return;
    temperatureLabel.setText(*arrivedTemperature);
    arrivedTemperature.reset();
}

void MainWindow::rescanSensors() {
    if (isRunning()) {
        if (!askYesNo(tr("You are currently running a sensor!"),
                      tr("Do you want to cancel this sensor and scan for new devices?")))
            return;
        stopSensor();
    }
    QTreeWidget* tree = ui->DeviceTreeWidget;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = tree->topLevelItem(i);
        if (SensorObject* sensor = sensorArray.findSensor(item->text(0).toStdString()))
            disconnectSensorBlock(item, sensor);
    }
    tree->clearSelection();
    tree->clear();

    sensorArray.setAdditionalPorts(additionalPortsForm->portList->text().toLatin1().toStdString());
    sensorArray.rescan();
    const std::vector<SensorObject*> sensors = sensorArray.sensors();
    const bool any = !sensors.empty();
    ui->SaveConfigurationPushButton->setEnabled(any);
    ui->StartPushButton->setEnabled(any);
    ui->actionStart->setEnabled(any);
    ui->actionCalibrationParameters->setEnabled(any);
    if (!any) {
        selectedSensorId.clear();
        statusLabel.setText(portProblemsLine());
        return;
    }
    statusLabel.setText(tr("No sensor running"));
    for (SensorObject* sensor : sensors) {
        if (!sensor) continue;
        addSensorBlock(sensor);
        connect(sensor, &SensorObject::updateTreeFocus, this, &MainWindow::focusTreeItem,
                Qt::UniqueConnection);
    }
    connect(tree->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &MainWindow::itemClicked, Qt::UniqueConnection);
    tree->setCurrentItem(tree->topLevelItem(0));
}

void MainWindow::startStopSensor() {
    if (selectedSensorId.empty()) {
        GuiCommon::showMessage(
            tr("There are either no devices in the list below,\n which would mean you need to "
               "scan the devices first,\n or you did not select a device!"));
        return;
    }
    if (isRunning()) {
        stopSensor();
        return;
    }
    emit resetGraph();
    ui->SaveConfigurationPushButton->setEnabled(false);
    connect(&sensorArray, &SensorArray::accDataChanged, this, &MainWindow::accValuesChanged);
    connect(&sensorArray, &SensorArray::gyroDataChanged, this, &MainWindow::gyrValuesChanged);
    connect(&sensorArray, &SensorArray::magDataChanged, this, &MainWindow::magValuesChanged);
    connect(&sensorArray, &SensorArray::quaternionChanged, orientationView,
            &OpenGLView::quaternionChanged);
    connect(&sensorArray, &SensorArray::sampleTimestampChanged, this,
            &MainWindow::sampleTimestampChanged);

    sensorArray.selectSensor(selectedSensorId);
    SensorObject* sensor = sensorArray.currentSensor();
    // The id always comes from the freshly built tree; without an entry
    // there is nothing to start.
    if (!sensor) {
        stopSensor();
        return;
    }
    const int mask = sensor->displayMask();
    if (sensor->isEnabledTemp() && !sensor->isEnabledRaw())
        connect(&sensorArray, &SensorArray::changeTempStatusBar, this,
                &MainWindow::temperatureArrived);
    if (mask & 8) {
        connect(&sensorArray, &SensorArray::eulerOrientationChanged, this,
                &MainWindow::eulerAnglesArrived);
        orientationView->setViewMode(OpenGLView::Orientation);
    } else {
        orientationView->setViewMode(OpenGLView::BlankStart);
    }
    enableDisplays(mask);

    const QString id = QString::fromStdString(selectedSensorId);
    if (sensorArray.transmitConfiguration(selectedSensorId, false)) {
        runningId = selectedSensorId;
        statistics.reset(sensor->getFreq());
        // A value queued by the last run before its stop belongs to no run.
        arrivedAngles.reset();
        arrivedTemperature.reset();
        streamClock.start();
        statisticsShownMs = 0;
        streamLabel.setText(QString());
        statusLabel.setText(tr("Sensor ") + id + tr(" started."));
        ui->actionStart->setText(tr("Stop"));
        ui->StartPushButton->setText(tr("Stop"));
        setTreeWidgetsDisabled(true);
        sensorArray.start(QThread::InheritPriority);
        redrawTimer.start(33);
        return;
    }
    GuiCommon::showMessage(tr("Transmitting the current configuration to sensor ") + id +
                           tr(" failed!\nDid you remove the sensor?"));
    stopSensor();
    if (askYesNo(tr("Do you want to rescan the sensors?"))) rescanSensors();
}

void MainWindow::stopSensor() {
    redrawTimer.stop();
    disconnect(&sensorArray, &SensorArray::accDataChanged, this, &MainWindow::accValuesChanged);
    disconnect(&sensorArray, &SensorArray::gyroDataChanged, this, &MainWindow::gyrValuesChanged);
    disconnect(&sensorArray, &SensorArray::magDataChanged, this, &MainWindow::magValuesChanged);
    disconnect(&sensorArray, &SensorArray::changeTempStatusBar, this,
               &MainWindow::temperatureArrived);
    disconnect(&sensorArray, &SensorArray::quaternionChanged, orientationView,
               &OpenGLView::quaternionChanged);
    disconnect(&sensorArray, &SensorArray::eulerOrientationChanged, this,
               &MainWindow::eulerAnglesArrived);
    disconnect(&sensorArray, &SensorArray::sampleTimestampChanged, this,
               &MainWindow::sampleTimestampChanged);
    sensorArray.stopPolling();
    streamClock.invalidate();
    arrivedAngles.reset();
    arrivedTemperature.reset();
    ui->actionStart->setText(tr("Start"));
    ui->StartPushButton->setText(tr("Start"));
    statusLabel.setText(tr("No sensor running"));
    temperatureLabel.setText(QString());
    ui->SaveConfigurationPushButton->setEnabled(true);
    ui->labelYawParameter->setText(QStringLiteral("0.0"));
    ui->labelPitchParameter->setText(QStringLiteral("0.0"));
    ui->labelRollParameter->setText(QStringLiteral("0.0"));
    setTreeWidgetsDisabled(false);
}

void MainWindow::streamEnded(const QString& reason) {
    // A stop that raced the end: the window is already stopped.
    if (ui->actionStart->text() != tr("Stop")) return;
    const QString id = QString::fromStdString(runningId);
    stopSensor();
    if (reason == QLatin1String("tracker disconnected"))
        statusLabel.setText(tr("Tracker ") + id + tr(" disconnected"));
    else
        statusLabel.setText(tr("Tracker ") + id + tr(" stopped: ") + reason);
}

void MainWindow::sampleTimestampChanged(uint timestamp) {
    if (streamClock.isValid()) statistics.add(timestamp, streamClock.elapsed());
}

void MainWindow::itemClicked(const QItemSelection&, const QItemSelection&) {
    const QModelIndexList indexes = ui->DeviceTreeWidget->selectionModel()->selectedIndexes();
    if (indexes.isEmpty()) return;
    QModelIndex top = indexes.first();
    while (top.parent().isValid()) top = top.parent();
    const std::string id = top.sibling(top.row(), 0).data().toString().toStdString();
    if (id == selectedSensorId) return;
    const bool running = ui->actionStart->text() == tr("Stop");
    if (running) stopSensor();
    selectedSensorId = id;
    if (running) startStopSensor();
}

void MainWindow::saveConfigurationToSensor() {
    if (isRunning()) stopSensor();
    if (!sensorArray.currentSensor()) return;
    const QString id = QString::fromStdString(selectedSensorId);
    if (sensorArray.transmitConfiguration(selectedSensorId, true))
        GuiCommon::showMessage(tr("The configuration has been successfully saved to sensor ") + id +
                               QStringLiteral("."));
    else
        GuiCommon::showMessage(tr("Error while trying to set the data to ") + id +
                               QStringLiteral("."));
}

void MainWindow::calibrationButtonPressed() {
    if (selectedSensorId.empty()) {
        GuiCommon::showMessage(tr("Please select a device in the list first!"));
        return;
    }
    if (!calibrationDialog) calibrationDialog = new CalibrationDialog(this);
    calibrationDialog->setSensor(&sensorArray, selectedSensorId);
    calibrationDialog->setModal(true);
    calibrationDialog->fillTables();
    delete calibrationDialog;
    calibrationDialog = nullptr;
    if (isRunning() && sensorArray.isCalibrationPending()) {
        stopSensor();
        GuiCommon::showMessage(
            tr("The calibration was aborted.\n The data were not send to the sensor!"));
        emit resetGraph();
        orientationView->setViewMode(OpenGLView::RestingPose);
        orientationView->updateGL();
        enableDisplays(15);
    } else if (!isRunning()) {
        stopSensor();
    }
}

void MainWindow::boresight(int mode) {
    if (isRunning())
        sensorArray.boresight(mode);
    else
        GuiCommon::showMessage(tr("There's currently no sensor running"));
}
void MainWindow::boresightSensorHeading() {
    boresight(1);
}
void MainWindow::boresightSensorObject() {
    boresight(2);
}
void MainWindow::boresightSensorAlignment() {
    boresight(3);
}

void MainWindow::enableTextures() {
    orientationView->setTexturesEnabled(ui->actionEnableTextures->isChecked());
}

void MainWindow::showFAQDialog() {
    TrackerConfig::showFaq();
}

void MainWindow::showAboutDialog() {
    TrackerConfig::showAbout(*aboutDialog, *aboutForm);
}

void MainWindow::addManualDevices() {
    TrackerConfig::runAdditionalPorts(*additionalPortsDialog, *additionalPortsForm);
}
