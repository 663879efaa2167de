// The worker's streaming loop and orientation-only loop. Both wait for the
// library's samples instead of polling and take every new one when they
// wake, so none is lost up to the line's limit.
#include <exception>

#include "sample_rules.h"
#include "sensor_array.h"
#include "tracker_settings.h"

namespace {

// Longest wait for a sample: bounds how late a stop request or a boresight
// toggle is noticed.
constexpr uint32_t kWaitMs = 20;

// The device matrices' value while only the orientation streams.
constexpr float kOrientationGain = 0.68f;

}  // namespace

void SensorArray::emitSample(const SensorSample& s, bool raw) {
    using GuiCommon::withoutMissing;
    float euler[3];
    fenlarkEulerOri(&s, euler);
    emit accDataChanged(withoutMissing(s.acc[0]), withoutMissing(s.acc[1]),
                        withoutMissing(s.acc[2]));
    emit gyroDataChanged(withoutMissing(s.gyr[0]), withoutMissing(s.gyr[1]),
                         withoutMissing(s.gyr[2]));
    emit magDataChanged(withoutMissing(s.mag[0]), withoutMissing(s.mag[1]),
                        withoutMissing(s.mag[2]));
    emit quaternionChanged(withoutMissing(s.quat[0]), withoutMissing(s.quat[1]),
                           withoutMissing(s.quat[2]), withoutMissing(s.quat[3]));
    emit eulerOrientationChanged(euler[0], euler[1], euler[2]);
    emit changeTempStatusBar(
        QString::fromStdString(GuiCommon::temperatureText(s.temperature, raw)));
    emit sampleTimestampChanged(s.timestamp);
}

SensorObject* SensorArray::openCurrentForRun() {
    SensorObject* entry = currentSensor();
    if (!entry) {
        emit streamEnded(QStringLiteral("no tracker selected"));
        return nullptr;
    }
    const std::string port = entry->getPort();
    if (!openDevice(port)) {
        runFlag = false;
        if (!stopRequested)
            emit streamEnded(QStringLiteral("could not open ") + QString::fromStdString(port));
        return nullptr;
    }
    return entry;
}

QString SensorArray::pumpSamples(const std::function<void()>& eachRound,
                                 const std::function<void(const SensorSample&)>& onSample) {
    GuiCommon::NewSampleGate gate;
    runFlag = !stopRequested;
    while (runFlag) {
        eachRound();
        if (trackerGone()) return QStringLiteral("tracker disconnected");
        if (!fenlarkWaitForData(handle, kWaitMs)) continue;
        // Everything new since the last round; a repeat of the newest ends it.
        SensorSample s;
        fenlarkGetData(handle, &s);
        while (gate.accept(s.timestamp)) {
            onSample(s);
            fenlarkGetData(handle, &s);
        }
    }
    return {};
}

void SensorArray::streamingLoop() {
    if (!handle) return;
    SensorObject* entry = openCurrentForRun();
    if (!entry) return;
    QString reason;
    try {
        retried([&] { fenlarkSetJitterStatus(handle, entry->isEnabledJitterReduction()); });
        bool boresight = entry->isEnabledBoresight();
        retried([&] { fenlarkSetBoresight(handle, boresight); });
        fenlarkSetFilterProfile(handle, entry->getFilterProfile());
        retried([&] { fenlarkStart(handle); });
        reason = pumpSamples(
            [&] {
                // Re-read every round, so toggling it takes effect while streaming.
                if (entry->isEnabledBoresight() != boresight) {
                    boresight = !boresight;
                    fenlarkSetBoresight(handle, boresight);
                }
            },
            [&](const SensorSample& s) { emitSample(s, entry->isEnabledRaw()); });
        fenlarkStop(handle);
    } catch (const std::exception& e) {
        reason = failureReason(e.what());
        stopQuietly();
    }
    closeQuietly();
    runFlag = false;
    if (!reason.isEmpty()) emit streamEnded(reason);
}

void SensorArray::orientationLoop() {
    if (!handle) return;
    SensorObject* entry = openCurrentForRun();
    if (!entry) return;
    QString reason;
    // What the device had; given back on every exit while it can be reached.
    SensorConfig saved{};
    float ka[9], kg[9];
    int kaStatus = 0, kgStatus = 0;
    bool changed = false;
    try {
        fenlarkGetConfig(handle, &saved);
        retried([&] { fenlarkGetKa(handle, ka); });
        retried([&] { kaStatus = fenlarkGetKaStatus(handle); });
        retried([&] { fenlarkGetKg(handle, kg); });
        retried([&] { kgStatus = fenlarkGetKgStatus(handle); });

        const SensorConfig working =
            GuiCommon::orientationConfiguration(saved, entry->getMagDiv(), entry->getFreq());
        const float gain[9] = {kOrientationGain, 0, 0, 0, kOrientationGain, 0, 0, 0,
                               kOrientationGain};
        changed = true;
        retried([&] { fenlarkSetConfig(handle, &working); });
        retried([&] { fenlarkSetKa(handle, gain); });
        retried([&] { fenlarkSetKaStatus(handle, 1); });
        retried([&] { fenlarkSetKg(handle, gain); });
        retried([&] { fenlarkSetKgStatus(handle, 1); });
        retried([&] { fenlarkSetJitterStatus(handle, entry->isEnabledJitterReduction()); });
        retried([&] { fenlarkStart(handle); });
        reason = pumpSamples([] {},
                             [&](const SensorSample& s) {
                                 float euler[3];
                                 fenlarkEulerOri(&s, euler);
                                 emit eulerOrientationChanged(euler[0], euler[1], euler[2]);
                             });
        fenlarkStop(handle);
    } catch (const std::exception& e) {
        reason = failureReason(e.what());
        stopQuietly();
    }
    if (changed) {
        try {
            retried([&] { fenlarkSetKa(handle, ka); });
            retried([&] { fenlarkSetKaStatus(handle, kaStatus); });
            retried([&] { fenlarkSetKg(handle, kg); });
            retried([&] { fenlarkSetKgStatus(handle, kgStatus); });
            retried([&] { fenlarkSetConfig(handle, &saved); });
        } catch (const std::exception&) {
            // Unreachable (unplugged, or closed by the stop of a gone tracker):
            // nothing more can be given back.
        }
    }
    closeQuietly();
    runFlag = false;
    if (!reason.isEmpty()) emit streamEnded(reason);
}
