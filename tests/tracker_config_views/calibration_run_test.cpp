// The calibration dialog driven end to end against simulated trackers that
// turn about every axis at 400 Hz (3000 samples in about 8 s): the success
// box with the M tables refreshed, a failed fit, a run that cannot start,
// and closing the dialog while the run goes on.
#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>

#include "calibration_dialog.h"
#include "gui_fixture.h"
#include "views_fixture.h"

namespace {

using namespace Quorvane::testing;

constexpr uint16_t kRate = 400;       // RAW packets of 24 bytes: 436 fit the line
constexpr int32_t kNineAxes = 0x1FF;  // magnetometer, accelerometer, gyroscope

sim::Options turningTracker(const std::string& id, const sim::Mat3& softIron) {
    sim::Options o = simOptions(id);
    o.motion.kind = sim::Motion::Kind::Scripted;
    // Quarter turns about each axis and one about a skew axis, repeated: the
    // field passes through every direction, the tracker never accelerates.
    o.motion.script = sim::parseMotionScript(
        "1.0 90 0 0\n1.0 0 90 0\n1.0 0 0 90\n1.0 50 -60 40\n1.0 -70 30 60\n");
    o.environment.softIron = softIron;
    return o;
}

const sim::Mat3 kMildSoftIron{{{1.04, 0.02, -0.01}, {0.02, 0.97, 0.03}, {-0.01, 0.03, 1.01}}};
const sim::Mat3 kStrongSoftIron{{{1, 0.3, 0}, {0.3, 1, 0}, {0, 0, 1}}};

// receivers() is protected; the test counts the dialog's connections.
struct CountingArray : SensorArray {
    int progressReceivers() const { return receivers(SIGNAL(advanceProgressBar(int))); }
};

std::vector<QString> texts(QTableWidget* t) {
    std::vector<QString> out;
    for (int r = 0; r < t->rowCount(); ++r)
        for (int c = 0; c < t->columnCount(); ++c) out.push_back(t->item(r, c)->text());
    return out;
}

std::vector<QString> formatted(const float* values, int n) {
    std::vector<QString> out;
    for (int i = 0; i < n; ++i) out.push_back(QString::number(values[i], 'f', 6));
    return out;
}

struct CalibrationRun : ::testing::Test {
    void open(const sim::Mat3& softIron) {
        device = std::make_unique<sim::TrackerSim>(turningTracker("TURN", softIron));
        configure(*device, sensorConfig(kNineAxes, kRate));
        scan(array, {device.get()});
        ASSERT_EQ(array.sensors().size(), 1u);
        sensor = array.sensors()[0];
        dialog = std::make_unique<CalibrationDialog>();
        dialog->setSensor(&array, "TURN");
        runButton = dialog->findChild<QPushButton*>("calibrateMagnetometersPushButton");
        report = dialog->findChild<QLabel*>("labelCalibrationReport");
    }

    // Runs the dialog modally (fillTables), presses Run Calibration once per
    // entry of `runs`, calling it when that run's box has been answered, and
    // closes the dialog after the last.
    void runModally(std::vector<std::function<void()>> runs) {
        std::size_t started = 0, finished = 0;
        QTimer driver;
        driver.setInterval(10);
        QObject::connect(&driver, &QTimer::timeout, [&] {
            if (QApplication::activeModalWidget() != dialog.get()) return;
            if (started == finished && started < runs.size()) {
                ++started;
                runButton->pressed();
            } else if (started > finished && runButton->isEnabled() &&
                       boxes.texts().size() > finished) {
                runs[finished++]();
                if (finished == runs.size()) dialog->close();
            }
        });
        driver.start();
        QTimer patience;
        patience.setSingleShot(true);
        QObject::connect(&patience, &QTimer::timeout, [&] {
            ADD_FAILURE() << "the calibration did not come back";
            dialog->close();
        });
        patience.start(120000);
        dialog->fillTables();
        EXPECT_EQ(finished, runs.size());
    }

    CountingArray array;
    std::unique_ptr<sim::TrackerSim> device;
    SensorObject* sensor = nullptr;
    std::unique_ptr<CalibrationDialog> dialog;
    QPushButton* runButton = nullptr;
    QLabel* report = nullptr;
    BoxAnswerer boxes;
};

TEST_F(CalibrationRun, UnopenableRunReturnsToIdleThenASecondRunSucceedsOnce) {
    open(kMildSoftIron);
    auto* mr = dialog->findChild<QTableWidget*>("tableWidgetMatrixM_R");
    auto* mk = dialog->findChild<QTableWidget*>("tableWidgetMatrixM_k");
    auto* mb = dialog->findChild<QTableWidget*>("tableWidgetMatrixM_b");
    auto* ar = dialog->findChild<QTableWidget*>("tableWidgetMatrixA_R");
    auto* bar = dialog->findChild<QProgressBar*>("progressBar");
    const std::vector<float> mrBefore(sensor->getMR(), sensor->getMR() + 9);
    const std::string port = sensor->getPort();
    sensor->setPort("/dev/pts/no-such-tracker");
    std::vector<QString> arShown;
    int receiversDuringRun = -1;
    QTimer watch;  // counts the dialog's connections while the second run collects
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (array.calibrationProgress() > 100 && array.calibrationProgress() < 3000)
            receiversDuringRun = array.progressReceivers();
    });
    watch.start(50);

    runModally({
        [&] {
            ASSERT_EQ(boxes.texts().size(), 1u);
            EXPECT_TRUE(
                boxes.texts()[0].startsWith("The calibration ended without a result: "
                                            "could not open /dev/pts/no-such-tracker"))
                << boxes.texts()[0].toStdString();
            EXPECT_TRUE(report->text().contains("could not open"));
            sensor->setPort(port);
        },
        [&] {
            ASSERT_EQ(boxes.texts().size(), 2u);
            EXPECT_EQ(boxes.texts()[1],
                      "Calibration finished!\nThe calibration data has been "
                      "downloaded to the sensor!");
            arShown = texts(ar);
        },
    });
    EXPECT_EQ(receiversDuringRun, 1);
    EXPECT_EQ(array.progressReceivers(), 0);
    EXPECT_EQ(bar->maximum(), SensorArray::kCalibrationSteps);
    EXPECT_EQ(bar->value(), SensorArray::kCalibrationSteps);
    EXPECT_TRUE(dialog->findChild<QWidget*>("widgetRunCalibration")->isHidden());

    // The tracker got new M groups, and the tables show them.
    EXPECT_NE(std::vector<float>(sensor->getMR(), sensor->getMR() + 9), mrBefore);
    EXPECT_EQ(texts(mr), formatted(sensor->getMR(), 9));
    EXPECT_EQ(texts(mk), formatted(sensor->getMk(), 3));
    EXPECT_EQ(texts(mb), formatted(sensor->getMb(), 3));
    EXPECT_EQ(arShown, formatted(sensor->getAR(), 9));
    const QString r = report->text();
    EXPECT_TRUE(r.contains("Samples: 3000")) << r.toStdString();
    EXPECT_TRUE(r.contains("Verdict: plausible.")) << r.toStdString();
    EXPECT_TRUE(r.contains("Directions covered: ")) << r.toStdString();
}

TEST_F(CalibrationRun, StrongSoftIronFailsTheFitAndSaysWhy) {
    open(kStrongSoftIron);
    auto* mr = dialog->findChild<QTableWidget*>("tableWidgetMatrixM_R");
    const std::vector<float> mrBefore(sensor->getMR(), sensor->getMR() + 9);
    runModally({[&] {
        ASSERT_EQ(boxes.texts().size(), 1u);
        EXPECT_EQ(boxes.texts()[0],
                  "Calibration was not successful!\nPlease calibrate the sensor again!");
    }});
    EXPECT_EQ(std::vector<float>(sensor->getMR(), sensor->getMR() + 9), mrBefore);
    EXPECT_EQ(texts(mr), formatted(mrBefore.data(), 9));
    const QString r = report->text();
    EXPECT_TRUE(r.contains("Verdict: not plausible: the fitted alignment deviates"))
        << r.toStdString();
    EXPECT_TRUE(runButton->isEnabled());
}

TEST_F(CalibrationRun, ClosingDuringTheRunLeavesItToTheOwner) {
    open(kMildSoftIron);
    SignalLog log(array);
    const std::vector<float> mrBefore(sensor->getMR(), sensor->getMR() + 9);
    QTimer driver;
    driver.setInterval(10);
    QObject::connect(&driver, &QTimer::timeout, [&] {
        if (QApplication::activeModalWidget() != dialog.get()) return;
        if (runButton->isEnabled()) runButton->pressed();
        // Close once the progress bar moves, while samples keep coming.
        if (dialog->findChild<QProgressBar*>("progressBar")->value() > 50) dialog->close();
    });
    driver.start();
    dialog->fillTables();
    driver.stop();
    dialog.reset();  // the worker still reports progress into the dialog's state

    EXPECT_TRUE(array.isCalibrationPending());
    const int reached = array.calibrationProgress();
    ASSERT_TRUE(processUntil([&] { return array.calibrationProgress() > reached + 20; }));
    array.stopPolling();
    ASSERT_TRUE(processUntil([&] { return !log.calibrationEnds.empty(); }));
    EXPECT_EQ(log.calibrationEnds[0].second, "calibration aborted");
    EXPECT_TRUE(log.finished.empty());
    EXPECT_EQ(std::vector<float>(sensor->getMR(), sensor->getMR() + 9), mrBefore);
    EXPECT_TRUE(boxes.texts().empty());
}

}  // namespace
