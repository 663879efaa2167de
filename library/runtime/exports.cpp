// The exported functions: thin entries into the tracker object. Failures
// leave as exceptions (see quorvane.h), except from fenlarkOpen.
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>

#include "default_config.h"
#include "device_list.h"
#include "quaternion.h"
#include "quorvane.h"
#include "virtual_fenlark.h"

using Quorvane::FenlarkIMU;
using Quorvane::VirtualFenlark;

namespace {

VirtualFenlark& tracker(VirtualFenlark* handle) {
    if (!handle) throw std::invalid_argument("fenlark: null tracker handle");
    return *handle;
}

template <typename T>
T* record(T* p) {
    if (!p) throw std::invalid_argument("fenlark: null record pointer");
    return p;
}

// The connection, for what only reads the host's copy (identity, the held
// configuration).
FenlarkIMU& device(VirtualFenlark* handle) {
    return tracker(handle).imu();
}

// The connection, for a device command. While the tracker is started the
// acquisition thread alone drives the port: a command then would interleave
// its bytes with the stream and corrupt both, so it is refused before
// anything is sent.
FenlarkIMU& commandDevice(VirtualFenlark* handle) {
    VirtualFenlark& t = tracker(handle);
    if (t.isStarted())
        throw std::runtime_error(
            "fenlark: the tracker is started; stop it before sending device commands");
    return t.imu();
}

double finiteParam(double value, const char* name) {
    if (!std::isfinite(value))
        throw std::invalid_argument(std::string("fenlark: jitter parameter ") + name +
                                    " is not a finite number");
    return value;
}

}  // namespace

extern "C" {

QUORVANE_API int fenlarkGetDeviceList(DeviceInfo* list, uint32_t maxCount) {
    return Quorvane::getDeviceList(
        list, maxCount, [] { return Quorvane::createPlatformIO(Quorvane::kPortBufferSize); });
}

QUORVANE_API int fenlarkGetPortProblems(FenlarkPortProblem* list, uint32_t maxCount) {
    return Quorvane::getPortProblems(list, maxCount);
}

QUORVANE_API VirtualFenlark* fenlarkCreate(uint16_t length) {
    return new VirtualFenlark(length);
}

QUORVANE_API int fenlarkOpen(VirtualFenlark* handle, const SensorConfig* config, const char* port) {
    try {
        tracker(handle).open(port, config);
        return 0;
    } catch (...) {
        return -1;
    }
}

QUORVANE_API void fenlarkClose(VirtualFenlark* handle) {
    tracker(handle).close();
}

QUORVANE_API int fenlarkStart(VirtualFenlark* handle) {
    return tracker(handle).start() ? 1 : 0;
}

QUORVANE_API bool fenlarkStop(VirtualFenlark* handle) {
    tracker(handle).stop();
    return true;
}

QUORVANE_API void fenlarkDestroy(VirtualFenlark* handle) {
    delete handle;
}

QUORVANE_API void fenlarkGetID(VirtualFenlark* handle, char* id) {
    std::memcpy(record(id), device(handle).id(), 8);
}

QUORVANE_API void fenlarkGetConfig(VirtualFenlark* handle, SensorConfig* out) {
    *record(out) = device(handle).getConfig(false);
}

QUORVANE_API void fenlarkSetConfig(VirtualFenlark* handle, const SensorConfig* config) {
    commandDevice(handle).setConfig(config ? *config : Quorvane::kDefaultConfig);
}

QUORVANE_API void fenlarkSaveSettings(VirtualFenlark* handle) {
    commandDevice(handle).saveSettings();
}

QUORVANE_API void fenlarkGetCalib(VirtualFenlark* handle, CalibrationData* out) {
    commandDevice(handle).getCalibration(record(out));
}

QUORVANE_API bool fenlarkSetCalib(VirtualFenlark* handle, const CalibrationData* in) {
    return commandDevice(handle).setCalibration(record(in));
}

QUORVANE_API bool fenlarkGetKa(VirtualFenlark* handle, float* m) {
    return commandDevice(handle).getMatrix(FenlarkIMU::Ka, record(m));
}
QUORVANE_API bool fenlarkGetKg(VirtualFenlark* handle, float* m) {
    return commandDevice(handle).getMatrix(FenlarkIMU::Kg, record(m));
}
QUORVANE_API bool fenlarkGetKm(VirtualFenlark* handle, float* m) {
    return commandDevice(handle).getMatrix(FenlarkIMU::Km, record(m));
}
QUORVANE_API bool fenlarkSetKa(VirtualFenlark* handle, const float* m) {
    return commandDevice(handle).setMatrix(FenlarkIMU::Ka, record(m));
}
QUORVANE_API bool fenlarkSetKg(VirtualFenlark* handle, const float* m) {
    return commandDevice(handle).setMatrix(FenlarkIMU::Kg, record(m));
}
QUORVANE_API bool fenlarkSetKm(VirtualFenlark* handle, const float* m) {
    return commandDevice(handle).setMatrix(FenlarkIMU::Km, record(m));
}

QUORVANE_API int fenlarkGetKaStatus(VirtualFenlark* handle) {
    return commandDevice(handle).getStatusBit(FenlarkIMU::KaBit) ? 1 : 0;
}
QUORVANE_API int fenlarkGetKgStatus(VirtualFenlark* handle) {
    return commandDevice(handle).getStatusBit(FenlarkIMU::KgBit) ? 1 : 0;
}
QUORVANE_API int fenlarkGetKmStatus(VirtualFenlark* handle) {
    return commandDevice(handle).getStatusBit(FenlarkIMU::KmBit) ? 1 : 0;
}
QUORVANE_API bool fenlarkSetKaStatus(VirtualFenlark* handle, int on) {
    return commandDevice(handle).setStatusBit(FenlarkIMU::KaBit, on != 0);
}
QUORVANE_API bool fenlarkSetKgStatus(VirtualFenlark* handle, int on) {
    return commandDevice(handle).setStatusBit(FenlarkIMU::KgBit, on != 0);
}
QUORVANE_API bool fenlarkSetKmStatus(VirtualFenlark* handle, int on) {
    return commandDevice(handle).setStatusBit(FenlarkIMU::KmBit, on != 0);
}

QUORVANE_API int fenlarkGetBoresight(VirtualFenlark* handle) {
    return tracker(handle).boresightEnabled() ? 1 : 0;
}
QUORVANE_API bool fenlarkSetBoresight(VirtualFenlark* handle, int on) {
    return tracker(handle).setBoresight(on != 0);
}
QUORVANE_API bool fenlarkBoresight(VirtualFenlark* handle, int mode) {
    return tracker(handle).boresight(mode);
}

QUORVANE_API int fenlarkGetJitterStatus(VirtualFenlark* handle) {
    return tracker(handle).jitterEnabled() ? 1 : 0;
}
QUORVANE_API bool fenlarkSetJitterStatus(VirtualFenlark* handle, int on) {
    return tracker(handle).setJitterStatus(on != 0);
}
QUORVANE_API void fenlarkGetJitterParam(VirtualFenlark* handle, double* alpha, double* threshold,
                                        double* /* third: deliberately not written */) {
    const Quorvane::JitterParams p = tracker(handle).jitterParams();
    *record(alpha) = p.alpha;
    *record(threshold) = p.threshold;
}
QUORVANE_API void fenlarkSetJitterParam(VirtualFenlark* handle, double alpha, double threshold,
                                        double c) {
    Quorvane::JitterParams p;
    p.alpha = finiteParam(alpha, "alpha");
    p.threshold = finiteParam(threshold, "threshold");
    if (finiteParam(c, "c") == 0.0)
        throw std::invalid_argument("fenlark: jitter parameter c must not be 0");
    p.decay = 5.0 * c;
    p.growth = 1.0 / c;
    tracker(handle).setJitterParams(p);
}

QUORVANE_API void fenlarkEulerOri(const SensorSample* sample, float* euler) {
    const SensorSample& s = *record(sample);
    Filtering::eulerAngles({s.quat[0], s.quat[1], s.quat[2], s.quat[3]}, record(euler));
}

QUORVANE_API bool fenlarkSetFilterProfile(VirtualFenlark* handle, int profile) {
    if (profile != Quorvane::StandardProfile && profile != Quorvane::RobustProfile)
        throw std::invalid_argument("fenlark: unknown filter profile");
    tracker(handle).setFilterProfile(static_cast<Quorvane::FilterProfile>(profile));
    return true;
}

QUORVANE_API int fenlarkGetFilterProfile(VirtualFenlark* handle) {
    return tracker(handle).filterProfile();
}

QUORVANE_API void fenlarkGetData(VirtualFenlark* handle, SensorSample* out) {
    tracker(handle).getData(record(out));
}

QUORVANE_API int fenlarkGetStreamState(VirtualFenlark* handle) {
    return tracker(handle).streamState();
}

QUORVANE_API int fenlarkWaitForData(VirtualFenlark* handle, uint32_t timeoutMs) {
    return tracker(handle).waitForData(timeoutMs) ? 1 : 0;
}

}  // extern "C"
