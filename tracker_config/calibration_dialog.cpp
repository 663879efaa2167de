#include "calibration_dialog.h"

#include <QDateTime>
#include <QMutexLocker>
#include <QStringList>
#include <QTimer>

#include "calibration_form.h"
#include "message_box.h"
#include "sensor_array.h"
#include "sensor_object.h"

namespace {

constexpr int kTimerMs = 100;

void fillTable(QTableWidget* table, const float* values, int rows, int columns) {
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            QTableWidgetItem* item = table->item(r, c);
            const bool fresh = !item;
            if (fresh) item = new QTableWidgetItem();
            item->setText(QString::number(values[r * columns + c], 'f', 6));
            item->setTextAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
            if (fresh) table->setItem(r, c, item);
        }
    }
}

// The cell's number, or nothing when its text is not one.
bool cellValue(QTableWidgetItem* item, float* value) {
    if (!item) return false;
    bool ok = false;
    *value = item->text().toFloat(&ok);
    return ok;
}

QString percent(double share) {
    return QString::number(share * 100, 'f', 1) + QStringLiteral(" %");
}

QString spreadText(const CalibrationQuality::Spread& spread) {
    return spread.valid ? percent(spread.relative) : QStringLiteral("n/a");
}

}  // namespace

CalibrationDialog::CalibrationDialog(QWidget* parent)
    : QDialog(parent), ui(new Ui::CalibrationParameterDialog), state(std::make_shared<RunState>()) {
    ui->setupUi(this);
    connect(ui->calibrateMagnetometersPushButton, &QPushButton::pressed, this,
            &CalibrationDialog::calibrateMagnetometers);
}

CalibrationDialog::~CalibrationDialog() {
    sensor = nullptr;
    if (timer) {
        disconnect(timer, &QTimer::timeout, this, &CalibrationDialog::updateProgressBar);
        delete timer;
    }
    // A run may go on; what it still reports lands in the shared state.
    disconnectRun();
    delete ui;
}

void CalibrationDialog::setSensor(SensorArray* a, std::string id) {
    if (!a) return;
    sensor = id.empty() ? a->currentSensor() : a->findSensor(id);
    array = a;
    setWindowTitle(QStringLiteral("Calibration Parameters for ") +
                   QString::fromStdString(sensor ? sensor->getId() : id));
    ui->widgetRunCalibration->hide();
}

int CalibrationDialog::fillTables() {
    if (!sensor) return -1;
    fillTable(ui->tableWidgetMatrixA_R, sensor->getAR(), 3, 3);
    fillTable(ui->tableWidgetMatrixA_k, sensor->getAk(), 3, 1);
    fillTable(ui->tableWidgetMatrixA_b, sensor->getAb(), 3, 1);
    fillMagnetometerTables();
    fillTable(ui->tableWidgetMatrixG_R, sensor->getGR(), 3, 3);
    fillTable(ui->tableWidgetMatrixG_K, sensor->getGK(), 3, 3);
    fillTable(ui->tableWidgetMatrixG_k, sensor->getGk(), 3, 1);
    fillTable(ui->tableWidgetMatrixG_b, sensor->getGb(), 3, 1);
    // Only A_R is editable into the tracker: a refreshed table must not
    // write its 6-decimal text back over the exact values.
    connect(ui->tableWidgetMatrixA_R, &QTableWidget::itemChanged, this,
            &CalibrationDialog::matrixARChanged, Qt::UniqueConnection);
    return exec();
}

void CalibrationDialog::fillMagnetometerTables() {
    fillTable(ui->tableWidgetMatrixM_R, sensor->getMR(), 3, 3);
    fillTable(ui->tableWidgetMatrixM_k, sensor->getMk(), 3, 1);
    fillTable(ui->tableWidgetMatrixM_b, sensor->getMb(), 3, 1);
}

void CalibrationDialog::matrixARChanged(QTableWidgetItem* item) {
    float v;
    if (sensor && cellValue(item, &v)) sensor->setAR(v, item->row(), item->column());
}
void CalibrationDialog::matrixAbChanged(QTableWidgetItem* item) {
    float v;
    if (sensor && cellValue(item, &v)) sensor->setAb(v, item->row());
}
void CalibrationDialog::matrixAkChanged(QTableWidgetItem* item) {
    float v;
    if (sensor && cellValue(item, &v)) sensor->setAk(v, item->row());
}
void CalibrationDialog::matrixGRChanged(QTableWidgetItem* item) {
    float v;
    if (sensor && cellValue(item, &v)) sensor->setGR(v, item->row(), item->column());
}
void CalibrationDialog::matrixGKChanged(QTableWidgetItem* item) {
    float v;
    if (sensor && cellValue(item, &v)) sensor->setGK(v, item->row(), item->column());
}
void CalibrationDialog::matrixGbChanged(QTableWidgetItem* item) {
    float v;
    if (sensor && cellValue(item, &v)) sensor->setGb(v, item->row());
}
void CalibrationDialog::matrixGkChanged(QTableWidgetItem* item) {
    float v;
    if (sensor && cellValue(item, &v)) sensor->setGk(v, item->row());
}
void CalibrationDialog::matrixMRChanged(QTableWidgetItem* item) {
    float v;
    if (sensor && cellValue(item, &v)) sensor->setMR(v, item->row(), item->column());
}
void CalibrationDialog::matrixMbChanged(QTableWidgetItem* item) {
    float v;
    if (sensor && cellValue(item, &v)) sensor->setMb(v, item->row());
}
void CalibrationDialog::matrixMkChanged(QTableWidgetItem* item) {
    float v;
    if (sensor && cellValue(item, &v)) sensor->setMk(v, item->row());
}

// The three slots may run in the worker thread; they touch only the state.
void CalibrationDialog::initializeProgressBar(int size) {
    QMutexLocker lock(&state->mutex);
    state->progress = 0;
    state->pendingMaximum = size;
}

void CalibrationDialog::advanceProgressBar(int value) {
    QMutexLocker lock(&state->mutex);
    state->progress = value;
}

void CalibrationDialog::calibrationFinished(bool success) {
    QMutexLocker lock(&state->mutex);
    state->result = success ? 1 : 0;
}

void CalibrationDialog::connectRun() {
    // The connections hold the state, not the dialog, and run in the
    // worker thread that emits (direct connections).
    std::shared_ptr<RunState> s = state;
    runConnections = {
        connect(
            array, &SensorArray::initializeProgressBar, array,
            [s](int size) {
                QMutexLocker lock(&s->mutex);
                s->progress = 0;
                s->pendingMaximum = size;
            },
            Qt::DirectConnection),
        connect(
            array, &SensorArray::advanceProgressBar, array,
            [s](int value) {
                QMutexLocker lock(&s->mutex);
                s->progress = value;
            },
            Qt::DirectConnection),
        connect(
            array, &SensorArray::calibrationFinished, array,
            [s](bool success) {
                QMutexLocker lock(&s->mutex);
                s->result = success ? 1 : 0;
            },
            Qt::DirectConnection),
        connect(
            array, &SensorArray::calibrationEnded, array,
            [s](bool, const QString& reason) {
                QMutexLocker lock(&s->mutex);
                s->ended = true;
                s->reason = reason;
            },
            Qt::DirectConnection),
    };
}

void CalibrationDialog::disconnectRun() {
    for (const QMetaObject::Connection& c : runConnections) disconnect(c);
    runConnections.clear();
}

void CalibrationDialog::calibrateMagnetometers() {
    if (!array || !sensor) return;
    {
        QMutexLocker lock(&state->mutex);
        state->progress = 0;
        state->pendingMaximum = -1;
        state->result = -1;
        state->ended = false;
        state->reason.clear();
    }
    ui->progressBar->reset();
    ui->labelMissingDirections->clear();
    ui->labelCalibrationReport->clear();
    ui->widgetRunCalibration->show();
    disconnectRun();
    if (timer) timer->stop();

    array->stopPolling();
    array->prepareCalibration(sensor->getId());
    std::copy(sensor->getMR(), sensor->getMR() + 9, before.MR.begin());
    std::copy(sensor->getMk(), sensor->getMk() + 3, before.Mk.begin());
    std::copy(sensor->getMb(), sensor->getMb() + 3, before.Mb.begin());
    collected.clear();
    stalledSinceMs = -1;

    if (!timer) {
        timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, &CalibrationDialog::updateProgressBar);
    }
    timer->start(kTimerMs);
    connectRun();
    array->start();
    ui->calibrateMagnetometersPushButton->setEnabled(false);
}

void CalibrationDialog::updateMissingDirections() {
    std::vector<SensorSample> fresh = array->calibrationSamples(collected.size());
    collected.insert(collected.end(), fresh.begin(), fresh.end());
    if (collected.empty()) return;
    const std::vector<std::string> missing = CalibrationQuality::missingDirections(
        collected, CalibrationQuality::midrangeCentre(collected));
    if (missing.empty()) {
        ui->labelMissingDirections->setText(tr("The field has pointed along every sensor axis."));
        return;
    }
    QStringList names;
    for (const std::string& m : missing) names << QString::fromStdString(m);
    ui->labelMissingDirections->setText(
        tr("Still missing: turn the tracker until the field points along %1.")
            .arg(names.join(QStringLiteral(", "))));
}

void CalibrationDialog::updateProgressBar() {
    // Asked first: once the thread has ended, everything it reported is in
    // the state read below.
    const bool running = array->isRunning();
    int progress, maximum, result;
    bool ended;
    QString reason;
    {
        QMutexLocker lock(&state->mutex);
        progress = state->progress;
        maximum = state->pendingMaximum;
        state->pendingMaximum = -1;
        result = state->result;
        ended = state->ended;
        reason = state->reason;
    }
    if (maximum >= 0) ui->progressBar->setMaximum(maximum);
    if (ui->progressBar->value() < ui->progressBar->maximum())
        ui->progressBar->setValue(std::min(progress, ui->progressBar->maximum()));
    updateMissingDirections();

    if (result != -1) {
        finishRun(result, QString());
        return;
    }
    // No result: the run is over when it says so or its thread has ended.
    if (ended || !running) {
        finishRun(-1, reason.isEmpty() ? tr("the calibration run ended without a result") : reason);
        return;
    }
    // At its end, the run reports at once; standing there means it will not.
    if (ui->progressBar->value() >= ui->progressBar->maximum()) {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        if (stalledSinceMs < 0) stalledSinceMs = now;
        if (now - stalledSinceMs > kResultPatienceMs)
            finishRun(-1, tr("the calibration run did not report a result"));
    }
}

void CalibrationDialog::finishRun(int result, const QString& reason) {
    timer->stop();
    disconnectRun();
    ui->widgetRunCalibration->hide();

    // Take what the run kept after the timer's last look.
    std::vector<SensorSample> fresh = array->calibrationSamples(collected.size());
    collected.insert(collected.end(), fresh.begin(), fresh.end());
    QString report;
    if (!collected.empty()) {
        const CalibrationQuality::Report q =
            CalibrationQuality::assess(collected, sensor->getMagDiv(), before);
        report = tr("Samples: %1<br>Directions covered: %2<br>"
                    "Field magnitude spread: %3 before, %4 after the fit<br>")
                     .arg(collected.size())
                     .arg(percent(q.coverage), spreadText(q.before), spreadText(q.after));
        if (result == -1)
            report += tr("No result.");
        else if (q.plausible)
            report += tr("Verdict: plausible.");
        else
            report += tr("Verdict: not plausible: %1.").arg(QString::fromStdString(q.reason));
    }
    if (result == -1) {
        const QString text = tr("The calibration ended without a result: %1.").arg(reason);
        report += (report.isEmpty() ? QString() : QStringLiteral("<br>")) + text.toHtmlEscaped();
    }
    ui->labelCalibrationReport->setText(report);

    if (result == 1) {
        GuiCommon::showMessage(
            tr("Calibration finished!\nThe calibration data has been "
               "downloaded to the sensor!"));
        fillMagnetometerTables();
    } else if (result == 0) {
        GuiCommon::showMessage(
            tr("Calibration was not successful!\nPlease calibrate the "
               "sensor again!"));
    } else {
        GuiCommon::showMessage(tr("The calibration ended without a result: %1.").arg(reason));
    }
    {
        QMutexLocker lock(&state->mutex);
        state->result = -1;
    }
    ui->calibrateMagnetometersPushButton->setEnabled(true);
}
