// The configuration tool's window against simulated trackers: the device
// tree, start and stop, save, boresight, no tracker, rescan while running,
// an unplug and closing while streaming. Boxes are answered by a timer;
// every wait is for an event, with a generous deadline.
#include <QCheckBox>
#include <QComboBox>
#include <QSpinBox>
#include <cmath>

#include "calibration_dialog.h"
#include "chart_view.h"
#include "window_fixture.h"

namespace {

using namespace ConfigTests;

const char* const kConfigRows[] = {"Magnetometer X", "Magnetometer Y", "Magnetometer Z",
                                   "Acceleration X", "Acceleration Y", "Acceleration Z",
                                   "Gyroscope X",    "Gyroscope Y",    "Gyroscope Z",
                                   "Temperature",    "Navigation"};

// Yaw (degrees) the window shows for the pose, computed as the library does.
float yawDegrees(const sim::Quat& q) {
    SensorSample s{};
    s.quat[0] = float(q.w);
    s.quat[1] = float(q.x);
    s.quat[2] = float(q.y);
    s.quat[3] = float(q.z);
    float euler[3];
    fenlarkEulerOri(&s, euler);
    return euler[0] * 57.29578f;
}

// Q_SW of a level tracker turned by the heading (degrees) about z.
sim::Quat heading(double degrees) {
    const double h = degrees * M_PI / 360;
    return {std::cos(h), 0, 0, std::sin(h)};
}

// Angle difference on the circle, in degrees.
float angleOff(float a, float b) {
    float d = std::fmod(std::fabs(a - b), 360.0f);
    return std::min(d, 360.0f - d);
}

TEST_F(ConfigWindow, TwoTrackersFillTheTreeAndAnEditSelectsItsRow) {
    SensorConfig second = everything(50);
    second.channels = 0x03F;  // magnetometer and accelerometer only
    second.magDivider = 5;
    second.autoStart = 1;
    configure(addSim(stillTracker("QVTREE1")), everything());
    configure(addSim(stillTracker("QVTREE2")), second);
    openWindow();

    EXPECT_EQ(status(), "No sensor running");
    EXPECT_TRUE(button("StartPushButton")->isEnabled());
    EXPECT_TRUE(button("SaveConfigurationPushButton")->isEnabled());
    EXPECT_TRUE(action("actionCalibrationParameters")->isEnabled());
    const SensorConfig configs[] = {everything(), second};
    for (int t = 0; t < 2; ++t) {
        SCOPED_TRACE(t);
        QTreeWidgetItem* top = block(t);
        EXPECT_EQ(top->text(0), t == 0 ? "QVTREE1" : "QVTREE2");
        QTreeWidgetItem* config = top->child(MainWindow::RowSensorConfig);
        EXPECT_EQ(config->text(0), "Sensor config");
        ASSERT_EQ(config->childCount(), 11);
        for (int i = 0; i < 11; ++i) {
            EXPECT_EQ(config->child(i)->text(0), kConfigRows[i]);
            auto* box = rowWidget<QCheckBox>(config->child(i));
            ASSERT_TRUE(box);
            EXPECT_EQ(box->isChecked(), bool(configs[t].channels & (1 << i))) << kConfigRows[i];
            EXPECT_EQ(box->isEnabled(), i != 10) << kConfigRows[i];
        }
        auto* magDiv = rowWidget<QComboBox>(top->child(MainWindow::RowMagDiv));
        ASSERT_TRUE(magDiv);
        EXPECT_EQ(magDiv->count(), 8);
        EXPECT_EQ(magDiv->currentIndex(), configs[t].magDivider);
        auto* freq = rowWidget<QSpinBox>(top->child(MainWindow::RowFrequency));
        ASSERT_TRUE(freq);
        EXPECT_EQ(freq->value(), configs[t].frequency);
        EXPECT_EQ(freq->minimum(), 10);
        EXPECT_EQ(freq->maximum(), 2047);
        EXPECT_EQ(rowWidget<QCheckBox>(top->child(MainWindow::RowAutostart))->isChecked(),
                  bool(configs[t].autoStart));
        EXPECT_FALSE(rowWidget<QCheckBox>(top->child(MainWindow::RowRaw))->isChecked());
        EXPECT_FALSE(rowWidget<QCheckBox>(top->child(MainWindow::RowAscii))->isChecked());
        auto* profile = rowWidget<QComboBox>(top->child(MainWindow::RowFilterProfile));
        ASSERT_TRUE(profile);
        EXPECT_EQ(profile->currentText(), "Standard");
    }

    // An edit in the second block selects its row there.
    rowWidget<QSpinBox>(block(1)->child(MainWindow::RowFrequency))->setValue(60);
    ASSERT_EQ(tree()->selectedItems().size(), 1);
    EXPECT_EQ(tree()->selectedItems()[0], block(1)->child(MainWindow::RowFrequency));
    rowWidget<QCheckBox>(block(0)->child(MainWindow::RowSensorConfig)->child(9))->click();
    ASSERT_EQ(tree()->selectedItems().size(), 1);
    EXPECT_EQ(tree()->selectedItems()[0], block(0)->child(MainWindow::RowSensorConfig)->child(9));
    rowWidget<QComboBox>(block(0)->child(MainWindow::RowFilterProfile))->activated(1);
    EXPECT_EQ(tree()->selectedItems()[0], block(0)->child(MainWindow::RowFilterProfile));
}

TEST_F(ConfigWindow, StartStreamsIntoTheDisplaysAndAnotherTrackerTakesOver) {
    const sim::Quat pose = heading(70);
    configure(addSim(stillTracker("QVRUN1", pose)), everything());
    configure(addSim(stillTracker("QVRUN2")), everything());
    openWindow();
    start();
    EXPECT_EQ(status(), "Sensor QVRUN1 started.");
    EXPECT_EQ(action("actionStart")->text(), "Stop");
    EXPECT_FALSE(button("SaveConfigurationPushButton")->isEnabled());

    auto* acc = window->findChild<ChartViewOpenGL*>("accChart");
    ASSERT_TRUE(processUntil([&] { return acc->model().recordCount() > 50; }));
    // The scale follows the data: four steps of a quarter of the maximum.
    ASSERT_TRUE(processUntil([&] { return !label("accChartScale0")->text().isEmpty(); }));
    const float step = acc->model().maximum() * 0.25f;
    EXPECT_NEAR(label("accChartScale0")->text().toFloat(), 4 * step, 0.01 * 4 * step + 0.01);
    EXPECT_NEAR(label("accChartScale8")->text().toFloat(), -4 * step, 0.01 * 4 * step + 0.01);
    EXPECT_EQ(label("accChartScale4")->text(), "0.0");
    EXPECT_GT(window->findChild<ChartViewOpenGL*>("magChart")->model().recordCount(), 0u);
    EXPECT_GT(window->findChild<ChartViewOpenGL*>("gyrChart")->model().recordCount(), 0u);

    // The orientation reaches the labels; the temperature and the received
    // rate reach the status bar.
    const float yaw = yawDegrees(pose);
    ASSERT_TRUE(processUntil([&] {
        return angleOff(label("labelYawParameter")->text().toFloat(), yaw) < 3;
    })) << label("labelYawParameter")->text().toStdString()
        << " vs " << yaw;
    EXPECT_LT(std::fabs(label("labelPitchParameter")->text().toFloat()), 3);
    EXPECT_LT(std::fabs(label("labelRollParameter")->text().toFloat()), 3);
    ASSERT_TRUE(processUntil([&] { return label("streamLabel")->text().contains("samples/s"); }));
    EXPECT_TRUE(label("streamLabel")->text().endsWith(" missing"));
    EXPECT_TRUE(processUntil([&] { return label("temperatureLabel")->text().toDouble() > 0; }))
        << label("temperatureLabel")->text().toStdString();

    // Only the boresight flag stays editable while running.
    QTreeWidgetItem* top = block(0);
    EXPECT_FALSE(tree()->itemWidget(top->child(MainWindow::RowFrequency), 1)->isEnabled());
    EXPECT_FALSE(
        tree()->itemWidget(top->child(MainWindow::RowSensorConfig)->child(0), 1)->isEnabled());
    EXPECT_TRUE(tree()->itemWidget(top->child(MainWindow::RowBoresight), 1)->isEnabled());

    // Selecting the other tracker restarts with it.
    tree()->setCurrentItem(block(1));
    ASSERT_TRUE(processUntil([&] { return sims[1]->streaming(); }));
    EXPECT_EQ(status(), "Sensor QVRUN2 started.");
    EXPECT_TRUE(processUntil([&] { return !sims[0]->streaming(); }));
    button("StartPushButton")->pressed();
    EXPECT_EQ(status(), "No sensor running");
    EXPECT_EQ(label("labelYawParameter")->text(), "0.0");
    EXPECT_TRUE(tree()->itemWidget(top->child(MainWindow::RowFrequency), 1)->isEnabled());
}

TEST_F(ConfigWindow, RawModeScaleLabelsAreTruncatedIntegers) {
    SensorConfig raw = everything();
    raw.raw = 1;
    configure(addSim(stillTracker("QVRAW01")), raw);
    openWindow();
    start();
    auto* acc = window->findChild<ChartViewOpenGL*>("accChart");
    ASSERT_TRUE(processUntil([&] { return !label("accChartScale0")->text().isEmpty(); }));
    const float step = acc->model().maximum() * 0.25f;
    ASSERT_GT(step, 1);
    for (int k = 1; k <= 4; ++k) {
        EXPECT_EQ(label(QString("accChartScale%1").arg(4 - k))->text(),
                  QString::number(static_cast<long long>(std::trunc(k * step))));
        EXPECT_EQ(label(QString("accChartScale%1").arg(4 + k))->text(),
                  QString::number(static_cast<long long>(std::trunc(-k * step))));
    }
    // No orientation in RAW mode: the angles stay at rest.
    EXPECT_EQ(label("labelYawParameter")->text(), "0.0");
}

TEST_F(ConfigWindow, SavedSettingsSurviveASimulatorRestart) {
    sim::Options options = stillTracker("QVSAVE1");
    options.stateFile = (scratch / "tracker.state").string();
    configure(addSim(options), everything());
    openWindow();
    rowWidget<QSpinBox>(block(0)->child(MainWindow::RowFrequency))->setValue(50);
    rowWidget<QCheckBox>(block(0)->child(MainWindow::RowSensorConfig)->child(9))->click();
    button("SaveConfigurationPushButton")->pressed();
    ASSERT_EQ(boxes.texts().size(), 1u);
    EXPECT_EQ(boxes.texts()[0], "The configuration has been successfully saved to sensor QVSAVE1.");

    window.reset();
    sims.clear();
    addSim(options);
    openWindow();
    EXPECT_EQ(rowWidget<QSpinBox>(block(0)->child(MainWindow::RowFrequency))->value(), 50);
    EXPECT_FALSE(
        rowWidget<QCheckBox>(block(0)->child(MainWindow::RowSensorConfig)->child(9))->isChecked());
}

TEST_F(ConfigWindow, BoresightNeedsARunningTrackerAndZeroesTheHeading) {
    const sim::Quat pose = heading(60);
    configure(addSim(stillTracker("QVBORE1", pose)), everything());
    openWindow();
    action("actionHeading")->trigger();
    ASSERT_EQ(boxes.texts().size(), 1u);
    EXPECT_EQ(boxes.texts()[0], "There's currently no sensor running");

    start();
    const float yaw = yawDegrees(pose);
    ASSERT_TRUE(processUntil(
        [&] { return angleOff(label("labelYawParameter")->text().toFloat(), yaw) < 3; }));
    action("actionHeading")->trigger();
    ASSERT_TRUE(processUntil([&] {
        return angleOff(label("labelYawParameter")->text().toFloat(), 0) < 2;
    })) << label("labelYawParameter")->text().toStdString();
    // The flag the boresight set shows in the tree.
    EXPECT_TRUE(rowWidget<QCheckBox>(block(0)->child(MainWindow::RowBoresight))->isChecked());
    EXPECT_EQ(boxes.texts().size(), 1u);
}

TEST_F(ConfigWindow, WithoutTrackersTheTreeIsEmptyAndTheControlsDisabled) {
    // A port that is not there: discovery leaves it out and says why.
    setenv(Quorvane::kExtraPortsVariable, "/dev/pts/no-such-tracker", 1);
    window = std::make_unique<MainWindow>();
    window->show();
    EXPECT_EQ(tree()->topLevelItemCount(), 0);
    EXPECT_FALSE(button("StartPushButton")->isEnabled());
    EXPECT_FALSE(button("SaveConfigurationPushButton")->isEnabled());
    EXPECT_FALSE(action("actionStart")->isEnabled());
    EXPECT_FALSE(action("actionCalibrationParameters")->isEnabled());
    EXPECT_TRUE(status().startsWith("No tracker found.")) << status().toStdString();
    EXPECT_TRUE(status().contains("/dev/pts/no-such-tracker")) << status().toStdString();
    action("actionStart")->trigger();  // disabled: nothing happens
    EXPECT_TRUE(boxes.texts().empty());
}

TEST_F(ConfigWindow, RescanWhileRunningAnsweredNoLeavesItRunning) {
    configure(addSim(stillTracker("QVKEEP1")), everything());
    openWindow();
    start();
    QTreeWidgetItem* top = block(0);
    boxes.questionAnswer = QMessageBox::No;
    button("RescanPushButton")->pressed();
    ASSERT_EQ(boxes.texts().size(), 1u);
    EXPECT_EQ(boxes.texts()[0], "You are currently running a sensor!");
    EXPECT_EQ(boxes.seen[0].informative,
              "Do you want to cancel this sensor and scan for new devices?");
    EXPECT_EQ(block(0), top);
    EXPECT_EQ(status(), "Sensor QVKEEP1 started.");
    EXPECT_EQ(button("StartPushButton")->text(), "Stop");
    auto* acc = window->findChild<ChartViewOpenGL*>("accChart");
    const std::size_t before = acc->model().recordCount();
    EXPECT_TRUE(processUntil([&] { return acc->model().recordCount() > before + 10; }));
}

TEST_F(ConfigWindow, AnUnplugWhileRunningStopsAndSaysSo) {
    configure(addSim(stillTracker("QVGONE1")), everything());
    openWindow();
    start();
    auto* acc = window->findChild<ChartViewOpenGL*>("accChart");
    ASSERT_TRUE(processUntil([&] { return acc->model().recordCount() > 10; }));
    sims[0]->unplug();
    ASSERT_TRUE(processUntil([&] { return status() == "Tracker QVGONE1 disconnected"; }))
        << status().toStdString();
    EXPECT_EQ(button("StartPushButton")->text(), "Start");
    EXPECT_EQ(action("actionStart")->text(), "Start");
    EXPECT_EQ(label("labelYawParameter")->text(), "0.0");
    EXPECT_TRUE(button("SaveConfigurationPushButton")->isEnabled());
    EXPECT_TRUE(tree()->itemWidget(block(0)->child(MainWindow::RowFrequency), 1)->isEnabled());
    EXPECT_TRUE(boxes.texts().empty());
}

TEST_F(ConfigWindow, ClosingWhileStreamingStopsTheTrackerAndLeavesItUsable) {
    sim::TrackerSim& device = addSim(stillTracker("QVSHUT1"));
    configure(device, everything());
    openWindow();
    start();
    ASSERT_TRUE(processUntil([&] { return device.streaming(); }));
    window.reset();
    EXPECT_TRUE(processUntil([&] { return !device.streaming(); }));
    // The device answers again: a new scan finds it.
    openWindow();
    EXPECT_EQ(block(0)->text(0), "QVSHUT1");
}

}  // namespace

namespace {

using namespace ConfigTests;

// A full magnetometer calibration from the Device menu, on a tracker that
// turns about every axis at 400 Hz (3000 samples in about 8 s).
TEST_F(ConfigWindow, CalibrationFromTheMenuRunsToItsEnd) {
    sim::Options options = stillTracker("QVCAL01");
    options.motion.kind = sim::Motion::Kind::Scripted;
    options.motion.script = sim::parseMotionScript(
        "1.0 90 0 0\n1.0 0 90 0\n1.0 0 0 90\n1.0 50 -60 40\n1.0 -70 30 60\n");
    options.environment.softIron = {{{1.04, 0.02, -0.01}, {0.02, 0.97, 0.03}, {-0.01, 0.03, 1.01}}};
    SensorConfig config = everything(400);
    config.channels = 0x1FF;
    configure(addSim(options), config);
    openWindow();

    const QString success =
        "Calibration finished!\nThe calibration data has been downloaded to the sensor!";
    bool pressed = false, closed = false;
    QTimer driver;
    driver.setInterval(10);
    QObject::connect(&driver, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<CalibrationDialog*>(QApplication::activeModalWidget());
        if (!dialog || closed) return;
        auto* run = dialog->findChild<QPushButton*>("calibrateMagnetometersPushButton");
        if (!pressed && run->isEnabled()) {
            pressed = true;
            run->pressed();
        } else if (pressed && run->isEnabled() && !boxes.texts().empty()) {
            closed = true;
            dialog->close();
        }
    });
    driver.start();
    QTimer patience;
    patience.setSingleShot(true);
    QObject::connect(&patience, &QTimer::timeout, [&] {
        ADD_FAILURE() << "the calibration did not come back";
        if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) d->reject();
    });
    patience.start(120000);
    action("actionCalibrationParameters")->trigger();
    EXPECT_TRUE(pressed);
    ASSERT_EQ(boxes.texts().size(), 1u);
    EXPECT_EQ(boxes.texts()[0], success);
    EXPECT_EQ(status(), "No sensor running");
    EXPECT_EQ(button("StartPushButton")->text(), "Start");
    EXPECT_FALSE(window->findChild<CalibrationDialog*>());
}

}  // namespace
