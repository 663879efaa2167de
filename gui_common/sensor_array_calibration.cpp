// Run mode 1: the magnetometer calibration. The device streams RAW readings
// while the user turns the tracker; 3000 samples taken at rest (|a| near g)
// are fitted (mag_calibration.h) and the result written to the device and
// the entry. Every exit gives the device its settings back while it can be
// reached, and says how the run ended (calibrationEnded).
#include <cmath>
#include <exception>
#include <stdexcept>

#include "mag_calibration.h"
#include "sample_rules.h"
#include "sensor_array.h"
#include "tracker_settings.h"

namespace {

constexpr uint32_t kWaitMs = 20;
// Progress steps: the fit's four stages and the writing after it; an
// aborted collection adds kAbortSteps.
constexpr int kStageSteps = 100;
constexpr int kAbortSteps = 500;

// The tracker went away in the middle of the run.
struct TrackerGone : std::runtime_error {
    TrackerGone() : std::runtime_error("tracker disconnected") {}
};

}  // namespace

void SensorArray::advanceProgress(int steps) {
    progressCount += steps;
    emit advanceProgressBar(progressCount);
}

void SensorArray::collectCalibrationData(std::vector<SensorSample>& samples, CalibrationData cal) {
    samples.clear();
    samples.reserve(GuiCommon::kCalibrationSamples);
    {
        std::lock_guard<std::mutex> lock(keptMutex);
        kept.clear();
        kept.reserve(GuiCommon::kCalibrationSamples);
    }
    GuiCommon::NewSampleGate gate;
    int accepted = 0;
    while (runFlag && accepted < GuiCommon::kCalibrationSamples) {
        if (trackerGone()) throw TrackerGone();
        if (!fenlarkWaitForData(handle, kWaitMs)) continue;
        SensorSample s;
        fenlarkGetData(handle, &s);
        // Each new sample is judged once; one taken while the tracker is
        // accelerated is not kept and moves nothing.
        while (gate.accept(s.timestamp) && accepted < GuiCommon::kCalibrationSamples) {
            const std::array<float, 3> a = GuiCommon::calibratedAcceleration(s.acc, cal);
            const float n = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
            if (GuiCommon::withinGravityTolerance(GuiCommon::gravityDeviation(n))) {
                for (int i = 0; i < 3; ++i) s.acc[i] = a[i];
                samples.push_back(s);
                {
                    std::lock_guard<std::mutex> lock(keptMutex);
                    kept.push_back(s);
                }
                ++accepted;
                advanceProgress(1);
            }
            fenlarkGetData(handle, &s);
        }
    }
}

std::vector<SensorSample> SensorArray::calibrationSamples(std::size_t from) const {
    std::lock_guard<std::mutex> lock(keptMutex);
    if (from >= kept.size()) return {};
    return std::vector<SensorSample>(kept.begin() + static_cast<std::ptrdiff_t>(from), kept.end());
}

bool SensorArray::fitMagnetometerCalibration(const std::vector<SensorSample>& samples,
                                             CalibrationData* cal) {
    const SensorObject* entry = entryAt(calibrationIndex);
    const int magDiv = entry ? entry->getMagDiv() : 3;
    const GuiCommon::MagCalibration fit =
        GuiCommon::fitMagnetometer(samples, magDiv, [this] { advanceProgress(kStageSteps); });
    std::copy(fit.MR, fit.MR + 9, cal->MR);
    std::copy(fit.Mb, fit.Mb + 3, cal->Mb);
    std::copy(fit.Mk, fit.Mk + 3, cal->Mk);
    return fit.plausible;
}

void SensorArray::calibrationRun() {
    if (runFlag) {
        emit calibrationEnded(false, QStringLiteral("a run is already active"));
        return;
    }
    SensorObject* entry = entryAt(calibrationIndex);
    if (!handle || !entry) {
        calibrationIndex = -1;
        runFlag = false;
        emit calibrationEnded(false, QStringLiteral("no tracker to calibrate"));
        return;
    }
    const std::string port = entry->getPort();
    if (!openDevice(port)) {
        calibrationIndex = -1;
        runFlag = false;
        emit calibrationEnded(false,
                              QStringLiteral("could not open ") + QString::fromStdString(port));
        return;
    }
    progressCount = 0;
    runFlag = !stopRequested;
    emit initializeProgressBar(kCalibrationSteps);

    const SensorConfig restore = GuiCommon::encodeConfiguration(entry->settings());
    bool configured = false;  // the device has the calibration configuration
    QString reason;
    bool success = false;
    try {
        SensorConfig device;
        fenlarkGetConfig(handle, &device);
        const SensorConfig calibrating =
            GuiCommon::calibrationConfiguration(device, entry->getMagDiv(), entry->getFreq());
        CalibrationData cal;
        retried([&] { fenlarkGetCalib(handle, &cal); });
        configured = true;
        retried([&] { fenlarkSetConfig(handle, &calibrating); });
        int started = 0;
        retried([&] { started = fenlarkStart(handle); });
        if (started != 1) {
            retried([&] { fenlarkSetConfig(handle, &restore); });
            closeQuietly();
            advanceProgress(kCalibrationSteps);
            runFlag = false;
            calibrationIndex = -1;
            emit calibrationEnded(false, QStringLiteral("the tracker did not start"));
            return;
        }
        std::vector<SensorSample> samples;
        collectCalibrationData(samples, cal);
        QThread::msleep(10);
        fenlarkStop(handle);
        if (!runFlag) {
            retried([&] { fenlarkSetConfig(handle, &restore); });
            closeQuietly();
            advanceProgress(kAbortSteps);
            calibrationIndex = -1;
            emit calibrationEnded(false, QStringLiteral("calibration aborted"));
            return;
        }
        success = fitMagnetometerCalibration(samples, &cal);
        if (success) retried([&] { fenlarkSetCalib(handle, &cal); });
        retried([&] { fenlarkSetConfig(handle, &restore); });
        fenlarkClose(handle);
        if (success) {
            entry->setMR(cal.MR);
            entry->setMb(cal.Mb);
            entry->setMk(cal.Mk);
        }
        advanceProgress(kStageSteps);
    } catch (const std::exception& e) {
        reason = failureReason(e.what());
        stopQuietly();
        if (configured) {
            try {
                retried([&] { fenlarkSetConfig(handle, &restore); });
            } catch (const std::exception&) {
                // Unreachable: nothing can be given back.
            }
        }
        closeQuietly();
        // Past the end of the progress, so no one waits for more steps.
        advanceProgress(kCalibrationSteps);
        runFlag = false;
        calibrationIndex = -1;
        emit calibrationEnded(false, reason);
        return;
    }
    runFlag = false;
    calibrationIndex = -1;
    emit calibrationFinished(success);
    emit calibrationEnded(success, success ? QString() : QStringLiteral("implausible fit"));
}
