// The magnetometer calibration run against a simulated tracker whose field
// carries the mounting's soft and hard iron: the whole run while the tracker
// is turned through all directions, with the field's spread and the heading
// error measured before and after; an implausible fit; and the run's other
// exits (abort, unplug, a tracker that cannot be opened).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <numeric>

#include "gui_fixture.h"

namespace {

using namespace Quorvane::testing;

constexpr double kDeg = M_PI / 180;

// Turns about changing axes, so the readings cover every direction; pure
// rotation, so every sample passes the acceleration gate.
sim::Motion tumbling() {
    sim::Motion m;
    m.kind = sim::Motion::Kind::Scripted;
    const sim::Vec3 rates[] = {{110, 0, 0}, {0, 110, 0},  {0, 0, 110},
                               {80, 80, 0}, {0, 80, -80}, {-80, 0, 80}};
    for (const sim::Vec3& r : rates)
        m.script.push_back({0.9, {r[0] * kDeg, r[1] * kDeg, r[2] * kDeg}, {0, 0, 0}});
    return m;
}

// Level, turning slowly about the vertical: the heading sweeps every value.
sim::Motion levelTurn() {
    sim::Motion m;
    m.kind = sim::Motion::Kind::Scripted;
    m.script.push_back({1, {0, 0, 25 * kDeg}, {0, 0, 0}});
    return m;
}

sim::Options distorted(const std::string& id, const sim::Mat3& softIron) {
    sim::Options o = simOptions(id);
    o.motion = tumbling();
    o.environment.softIron = softIron;
    o.environment.hardIron = {6.0, -4.0, 9.0};
    return o;
}

const sim::Mat3 kMildSoftIron = {{{1.04, 0.02, -0.01}, {0.02, 0.97, 0.03}, {-0.01, 0.03, 1.01}}};

// Float samples of the tracker as it moves, read through the library.
std::vector<SensorSample> record(const sim::TrackerSim& device, int count) {
    Handle tracker(256);
    const SensorConfig config = sensorConfig(0x3FF, 200);
    std::vector<SensorSample> samples;
    // A loaded machine can miss a reply's window: open and start again then.
    bool started = false;
    for (int attempt = 0; attempt < 4 && !started; ++attempt) {
        try {
            started = openTracker(tracker, &config, device.devicePath()) == 0 &&
                      fenlarkStart(tracker) == 1;
        } catch (const std::runtime_error&) {
            fenlarkClose(tracker);
        }
    }
    if (!started) return samples;
    uint32_t last = 0;
    for (int idle = 0; static_cast<int>(samples.size()) < count && idle < 200;) {
        if (!fenlarkWaitForData(tracker, 50)) {
            ++idle;
            continue;
        }
        SensorSample s;
        for (fenlarkGetData(tracker, &s); s.timestamp != last; fenlarkGetData(tracker, &s)) {
            last = s.timestamp;
            if (s.timestamp != 0) samples.push_back(s);
        }
    }
    fenlarkStop(tracker);
    return samples;
}

// Standard deviation over mean of the calibrated field's magnitude.
double fieldSpread(const std::vector<SensorSample>& samples) {
    std::vector<double> norms;
    for (const SensorSample& s : samples)
        norms.push_back(std::sqrt(s.mag[0] * s.mag[0] + s.mag[1] * s.mag[1] + s.mag[2] * s.mag[2]));
    const double mean = std::accumulate(norms.begin(), norms.end(), 0.0) / norms.size();
    double var = 0;
    for (double n : norms) var += (n - mean) * (n - mean);
    return std::sqrt(var / norms.size()) / mean;
}

// Mean absolute heading error of the standard host filter against the truth,
// in degrees, after the first second (the filter settling).
double headingError(const sim::TrackerSim& device, const std::vector<SensorSample>& samples) {
    double sum = 0;
    int n = 0;
    for (std::size_t i = 200; i < samples.size(); ++i) {
        const auto truth = device.truthAt(samples[i].timestamp);
        if (!truth) continue;
        SensorSample t{};
        t.quat[0] = static_cast<float>(truth->w);
        t.quat[1] = static_cast<float>(truth->x);
        t.quat[2] = static_cast<float>(truth->y);
        t.quat[3] = static_cast<float>(truth->z);
        float got[3], want[3];
        fenlarkEulerOri(&samples[i], got);
        fenlarkEulerOri(&t, want);
        double d = std::fmod(std::fabs(got[0] - want[0]), 2 * M_PI);
        if (d > M_PI) d = 2 * M_PI - d;
        sum += d / kDeg;
        ++n;
    }
    return n ? sum / n : 1e9;
}

struct Figures {
    double spread, heading;
};

Figures measure(sim::TrackerSim& device) {
    device.setMotion(tumbling());
    const double spread = fieldSpread(record(device, 600));
    device.setMotion(levelTurn(), true);
    const double heading = headingError(device, record(device, 1000));
    device.setMotion(tumbling());
    return {spread, heading};
}

std::vector<uint8_t> calibrationBytes(const sim::TrackerSim& device) {
    const std::vector<uint8_t> bank = device.bankCopy(0);
    return {bank.begin() + 6, bank.begin() + 222};
}

// Runs a prepared calibration to its end; the log says how it ended.
void calibrate(SensorArray& array, SignalLog& log) {
    array.start();
    ASSERT_TRUE(
        processUntil([&] { return !log.calibrationEnds.empty(); }, std::chrono::seconds(90)));
    array.stopPolling();
    QCoreApplication::processEvents();
}

TEST(Calibration, FitRemovesTheMountingsIronOnTheSimulatedTracker) {
    sim::TrackerSim device(distorted("CAL", kMildSoftIron));
    SensorArray array;
    scan(array, {&device});
    ASSERT_EQ(array.sensors().size(), 1u);
    SensorObject* entry = array.sensors()[0];
    entry->setFreq(400);  // 3000 samples in under ten seconds
    const SensorConfig restore = GuiCommon::encodeConfiguration(entry->settings());
    const Figures before = measure(device);

    SignalLog log(array);
    ASSERT_TRUE(array.prepareCalibration(""));
    calibrate(array, log);
    ASSERT_EQ(log.calibrationEnds.size(), 1u);
    EXPECT_EQ(log.calibrationEnds[0], std::make_pair(true, QString()));
    EXPECT_EQ(log.finished, std::vector<bool>{true});
    EXPECT_EQ(log.progressSize, 3500);
    ASSERT_FALSE(log.progress.empty());
    EXPECT_EQ(log.progress.back(), 3500);
    EXPECT_FALSE(array.isCalibrationPending());

    // The device got the fit, and its settings back; the entry holds the fit.
    CalibrationData written{};
    std::memcpy(&written, calibrationBytes(device).data(), sizeof written);
    const SensorConfig config = deviceConfig(device);
    EXPECT_EQ(config.channels, restore.channels);
    EXPECT_EQ(config.raw, restore.raw);
    EXPECT_EQ(config.frequency, restore.frequency);
    EXPECT_EQ(std::vector<float>(entry->getMR(), entry->getMR() + 9),
              std::vector<float>(written.MR, written.MR + 9));
    EXPECT_EQ(std::vector<float>(entry->getMb(), entry->getMb() + 3),
              std::vector<float>(written.Mb, written.Mb + 3));

    const Figures after = measure(device);
    std::printf("field magnitude spread (std/mean): before %.4f, after %.4f\n", before.spread,
                after.spread);
    std::printf("standard filter heading error (mean, deg): before %.2f, after %.2f\n",
                before.heading, after.heading);
    EXPECT_LT(after.spread, before.spread / 3);
    EXPECT_LT(after.heading, before.heading / 2);
}

TEST(Calibration, StrongSoftIronFailsThePlausibilityTestAndLeavesTheDeviceAlone) {
    const sim::Mat3 strong = {{{1, 0.3, 0}, {0.3, 1, 0.3}, {0, 0.3, 1}}};
    sim::TrackerSim device(distorted("STRONG", strong));
    SensorArray array;
    scan(array, {&device});
    ASSERT_EQ(array.sensors().size(), 1u);
    array.sensors()[0]->setFreq(400);
    const std::vector<uint8_t> before = calibrationBytes(device);
    const sim::ConfigBytes config = device.configBytes();
    const std::vector<float> entryMR(array.sensors()[0]->getMR(), array.sensors()[0]->getMR() + 9);

    SignalLog log(array);
    ASSERT_TRUE(array.prepareCalibration("STRONG"));
    calibrate(array, log);
    EXPECT_EQ(log.finished, std::vector<bool>{false});
    ASSERT_EQ(log.calibrationEnds.size(), 1u);
    EXPECT_FALSE(log.calibrationEnds[0].first);
    EXPECT_EQ(log.progress.back(), 3500);
    EXPECT_EQ(calibrationBytes(device), before);
    EXPECT_NE(device.configBytes(), config);  // the entry's frequency was sent back
    EXPECT_EQ(std::vector<float>(array.sensors()[0]->getMR(), array.sensors()[0]->getMR() + 9),
              entryMR);
}

TEST(Calibration, AbortDuringCollectionRestoresTheSettingsAndSaysSo) {
    sim::TrackerSim device(distorted("ABORT", kMildSoftIron));
    SensorArray array;
    scan(array, {&device});
    ASSERT_EQ(array.sensors().size(), 1u);
    const std::vector<uint8_t> before = calibrationBytes(device);
    const sim::ConfigBytes config = device.configBytes();

    SignalLog log(array);
    ASSERT_TRUE(array.prepareCalibration("ABORT"));
    array.start();
    ASSERT_TRUE(processUntil([&] { return !log.progress.empty() && log.progress.back() >= 50; }));
    array.stopPolling();
    QCoreApplication::processEvents();
    ASSERT_EQ(log.calibrationEnds.size(), 1u);
    EXPECT_EQ(log.calibrationEnds[0], std::make_pair(false, QString("calibration aborted")));
    EXPECT_TRUE(log.finished.empty());
    // The count reached, then 500 more.
    ASSERT_GE(log.progress.size(), 2u);
    EXPECT_EQ(log.progress.back(), log.progress[log.progress.size() - 2] + 500);
    EXPECT_EQ(calibrationBytes(device), before);
    EXPECT_EQ(device.configBytes(), config);
    EXPECT_FALSE(array.isCalibrationPending());
}

// Needs the library to notice the port's hang-up (FENLARK_STREAM_PORT_GONE).
TEST(Calibration, UnplugEndsTheRunAndSaysSo) {
    sim::TrackerSim device(distorted("GONE", kMildSoftIron));
    SensorArray array;
    scan(array, {&device});
    ASSERT_EQ(array.sensors().size(), 1u);
    sim::Faults faults;
    faults.unplugAfter = 300;
    device.setFaults(faults);

    SignalLog log(array);
    ASSERT_TRUE(array.prepareCalibration(""));
    calibrate(array, log);
    ASSERT_EQ(log.calibrationEnds.size(), 1u);
    EXPECT_EQ(log.calibrationEnds[0], std::make_pair(false, QString("tracker disconnected")));
    EXPECT_TRUE(log.finished.empty());
    EXPECT_GE(log.progress.back(), 3500);  // the dialog's bar is full, nobody waits
    EXPECT_FALSE(array.isPolling());
}

TEST(Calibration, TrackerThatCannotBeOpenedEndsTheRunAtOnce) {
    SensorArray array;
    array.addManualPort("/dev/pts/no-such-tracker");
    SignalLog log(array);
    ASSERT_TRUE(array.prepareCalibration(""));
    calibrate(array, log);
    ASSERT_EQ(log.calibrationEnds.size(), 1u);
    EXPECT_EQ(log.calibrationEnds[0],
              std::make_pair(false, QString("could not open /dev/pts/no-such-tracker")));
    EXPECT_EQ(log.progressSize, 0);  // the progress never started
    EXPECT_FALSE(array.isCalibrationPending());
}

}  // namespace
