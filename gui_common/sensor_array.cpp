#include "sensor_array.h"

#include <algorithm>
#include <exception>

#include "message_box.h"
#include "port_path.h"
#include "tracker_settings.h"

namespace {

// Samples the library keeps for the worker: over a second at the line's
// limit, so a worker held up by a busy machine loses none.
constexpr uint16_t kRingLength = 256;
constexpr uint32_t kDeviceListCapacity = 100;
constexpr int kOpenTries = 4;
// A tracker that was closed an instant ago may still be finishing the last
// exchange; a short pause before the next try lets it settle.
constexpr unsigned long kRetryPauseMs = 50;

}  // namespace

SensorArray::SensorArray() : QThread(nullptr), handle(fenlarkCreate(kRingLength)) {}

SensorArray::~SensorArray() {
    if (isRunning()) stopPolling();
    fenlarkDestroy(handle);
    handle = nullptr;
    for (SensorObject* s : sensorList) delete s;
    sensorList.clear();
}

void SensorArray::run() {
    std::lock_guard lock(runMutex);
    switch (mode.load()) {
        case Streaming:
            streamingLoop();
            break;
        case Calibration:
            calibrationRun();
            break;
        case OrientationOnly:
            orientationLoop();
            break;
        default:
            break;
    }
}

void SensorArray::stopPolling() {
    stopRequested = true;
    // A run function sets runFlag only once it has opened and started the
    // device, which may come after a first clear: clear it until the thread
    // has ended.
    do {
        runFlag = false;
    } while (!wait(5));
    { std::lock_guard lock(runMutex); }
    stopRequested = false;
    mode = Streaming;
    calibrationIndex = -1;
}

bool SensorArray::openDevice(const std::string& port, const SensorConfig* config) {
    if (!handle) return false;
    for (int attempt = 0; attempt < kOpenTries && !stopRequested; ++attempt) {
        if (attempt > 0) QThread::msleep(kRetryPauseMs);
        if (fenlarkOpen(handle, config, port.c_str()) == 0) return true;
        closeQuietly();  // a failure after identification keeps the connection
    }
    return false;
}

void SensorArray::closeQuietly() {
    try {
        fenlarkClose(handle);
    } catch (const std::exception&) {
        // A device that no longer answers must not keep the port from being released.
    }
}

void SensorArray::stopQuietly() {
    try {
        fenlarkStop(handle);
    } catch (const std::exception&) {
        // The acquisition thread has ended; only the device's stop failed.
    }
}

bool SensorArray::trackerGone() {
    return handle && fenlarkGetStreamState(handle) == FENLARK_STREAM_PORT_GONE;
}

QString SensorArray::failureReason(const char* what) {
    if (trackerGone()) return QStringLiteral("tracker disconnected");
    return QStringLiteral("tracker failed: ") + QString::fromLocal8Bit(what);
}

SensorObject* SensorArray::entryAt(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= sensorList.size()) return nullptr;
    return sensorList[static_cast<std::size_t>(index)];
}

SensorObject* SensorArray::readDevice(const ScanRecord& record) {
    if (!openDevice(record.port)) return nullptr;
    SensorObject* entry = nullptr;
    try {
        SensorConfig config;
        fenlarkGetConfig(handle, &config);
        entry = new SensorObject;
        if (record.additional) entry->setOrigin(SensorObject::FromAdditionalPorts);
        char id[8] = {};
        fenlarkGetID(handle, id);
        entry->setId(id);
        entry->setPort(record.port);
        CalibrationData cal;
        retried([&] { fenlarkGetCalib(handle, &cal); });
        entry->setAb(cal.Ab);
        entry->setAk(cal.Ak);
        entry->setAR(cal.AR);
        entry->setGb(cal.Gb);
        entry->setGK(cal.GK);
        entry->setGk(cal.Gk);
        entry->setGR(cal.GR);
        entry->setMb(cal.Mb);
        entry->setMk(cal.Mk);
        entry->setMR(cal.MR);
        // Called one by one: GCC's bounds check misreads an index into an
        // array of member function pointers (a false report under UBSan).
        const auto channel = [&](int bit) { return (config.channels >> bit) & 1; };
        entry->enableMagX(channel(0));
        entry->enableMagY(channel(1));
        entry->enableMagZ(channel(2));
        entry->enableAccX(channel(3));
        entry->enableAccY(channel(4));
        entry->enableAccZ(channel(5));
        entry->enableGyrX(channel(6));
        entry->enableGyrY(channel(7));
        entry->enableGyrZ(channel(8));
        entry->enableTemp(channel(9));
        entry->enableNav(channel(10));
        entry->setMagDiv(config.magDivider);
        entry->setFreq(config.frequency);
        entry->enableAscii(config.ascii);
        entry->enableAutostart(config.autoStart);
        entry->enableRaw(config.raw);
        entry->enableJitterReduction(fenlarkGetJitterStatus(handle));
        entry->enableBoresight(fenlarkGetBoresight(handle));
    } catch (const std::exception&) {
        // The device stopped answering while it was read: like one that
        // could not be opened.
        delete entry;
        entry = nullptr;
    }
    closeQuietly();
    return entry;
}

void SensorArray::rescan() {
    if (isRunning()) stopPolling();

    std::vector<ScanRecord> records;
    std::vector<DeviceInfo> devices(kDeviceListCapacity);
    int found = 0;
    try {
        found = fenlarkGetDeviceList(devices.data(), kDeviceListCapacity);
    } catch (const std::exception&) {
        found = 0;  // the system's port list could not be read: nothing found
    }
    // More than the capacity: the first ones were copied all the same.
    if (found < 0) found = static_cast<int>(kDeviceListCapacity);
    for (int i = 0; i < found; ++i) records.push_back({devices[i].port, false});

    std::vector<SensorObject*> kept;
    for (SensorObject* s : sensorList) {
        if (s->getOrigin() == SensorObject::FromAdditionalPorts)
            kept.push_back(s);
        else
            delete s;
    }
    sensorList.clear();
    for (SensorObject* s : kept) {
        // Re-created below from the device, while it can be opened.
        if (records.size() < kDeviceListCapacity) records.push_back({s->getPort(), true});
        delete s;
    }
    if (records.empty()) return;

    for (std::size_t i = 0; i < records.size(); ++i) {
        const ScanRecord& record = records[i];
        if (record.additional) {
            const bool listed =
                std::any_of(records.begin(), records.begin() + i,
                            [&](const ScanRecord& r) { return r.port == record.port; });
            if (listed) {
                GuiCommon::showMessage(QStringLiteral("The sensor ") +
                                       QString::fromStdString(record.port) +
                                       QStringLiteral("is already in the list!"));
                continue;
            }
        }
        SensorObject* entry = readDevice(record);
        if (!entry) {
            if (!record.additional)
                GuiCommon::showMessage(
                    QStringLiteral("Error while processing rescan!\n Could not connect to ") +
                    QString::fromStdString(record.port));
            continue;
        }
        sensorList.push_back(entry);
    }
    currentIndex = 0;
}

void SensorArray::setAdditionalPorts(std::string portList) {
    if (portList.empty()) {
        sensorList.erase(std::remove_if(sensorList.begin(), sensorList.end(),
                                        [](SensorObject* s) {
                                            if (s->getOrigin() != SensorObject::FromAdditionalPorts)
                                                return false;
                                            delete s;
                                            return true;
                                        }),
                         sensorList.end());
        return;
    }
    for (const std::string& path : GuiCommon::portPaths(portList)) addManualPort(path);
}

void SensorArray::addManualPort(std::string port) {
    for (SensorObject* s : sensorList)
        if (s->getPort() == port) return;
    auto* entry = new SensorObject;
    entry->setOrigin(SensorObject::FromAdditionalPorts);
    entry->setPort(std::move(port));
    sensorList.push_back(entry);
}

std::vector<SensorObject*> SensorArray::sensors() const {
    return sensorList;
}

SensorObject* SensorArray::findSensor(std::string id) const {
    if (id.empty()) return nullptr;
    for (SensorObject* s : sensorList)
        if (s->getId() == id) return s;
    return nullptr;
}

bool SensorArray::selectSensor(std::string id) {
    if (id.empty() || sensorList.empty()) return false;
    for (std::size_t i = sensorList.size(); i-- > 0;) {
        if (sensorList[i]->getId() != id) continue;
        if (isRunning()) stopPolling();
        currentIndex = static_cast<unsigned>(i);
        return true;
    }
    return false;
}

bool SensorArray::selectSensor(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= sensorList.size()) return false;
    if (isRunning()) stopPolling();
    currentIndex = static_cast<unsigned>(index);
    return true;
}

SensorObject* SensorArray::currentSensor() const {
    if (sensorList.empty()) return nullptr;
    return entryAt(static_cast<int>(currentIndex));
}

bool SensorArray::transmitConfiguration(std::string id, bool save) {
    if (isRunning()) stopPolling();
    try {
        for (SensorObject* s : sensorList) {
            if (!id.empty() && s->getId() != id) continue;
            const SensorConfig config = GuiCommon::encodeConfiguration(s->settings());
            if (!openDevice(s->getPort())) return false;
            retried([&] { fenlarkSetConfig(handle, &config); });
            if (save) retried([&] { fenlarkSaveSettings(handle); });
            fenlarkClose(handle);
        }
    } catch (const std::exception&) {
        closeQuietly();
        return false;
    }
    return true;
}

bool SensorArray::isCalibrationPending() const {
    return calibrationIndex >= 0;
}

bool SensorArray::boresight(int boresightMode) {
    if (!isRunning()) {
        GuiCommon::showMessage(
            QStringLiteral("Boresighting can only be done, if a sensor is active"));
        return false;
    }
    if (!handle) return false;
    try {
        fenlarkBoresight(handle, boresightMode);
    } catch (const std::exception&) {
        return false;  // the tracker went away meanwhile; the worker reports it
    }
    if (SensorObject* entry = currentSensor()) entry->enableBoresight(1);
    return true;
}

bool SensorArray::prepareCalibration(std::string id) {
    if (sensorList.empty()) return false;
    if (isRunning()) stopPolling();
    if (id.empty()) {
        calibrationIndex = static_cast<int>(currentIndex);
    } else {
        int index = -1;
        for (std::size_t i = 0; i < sensorList.size(); ++i)
            if (sensorList[i]->getId() == id) index = static_cast<int>(i);
        if (index < 0) {
            mode = Streaming;
            return false;
        }
        calibrationIndex = index;
    }
    mode = Calibration;
    return true;
}

void SensorArray::setMode(int value) {
    mode = value;
}
