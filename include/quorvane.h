/*
 * Quorvane: host library for the USB inertial motion tracker.
 *
 * Public interface: plain records with fixed little-endian layouts and
 * unmangled functions whose names start with "fenlark". Callers own every
 * record they pass; the library copies into and out of them and keeps no
 * pointer to caller memory. Failures leave the functions as C++ exceptions
 * (std::runtime_error with the failing layer's message); see each function.
 *
 * This header compiles as C (C11) and as C++.
 */
#ifndef QUORVANE_H
#define QUORVANE_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) && defined(QUORVANE_BUILDING_LIBRARY)
#define QUORVANE_API __declspec(dllexport)
#elif defined(_WIN32)
#define QUORVANE_API __declspec(dllimport)
#else
#define QUORVANE_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#define QUORVANE_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
namespace Quorvane {
class VirtualFenlark;
}
/* The opaque tracker handle. */
typedef Quorvane::VirtualFenlark VirtualFenlark;
extern "C" {
#else
#include <stdbool.h>
#define QUORVANE_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
/* The opaque tracker handle. */
typedef struct VirtualFenlark VirtualFenlark;
#endif

/* Channel mask bits of SensorConfig.channels. */
#define FENLARK_CHANNEL_MAG_X 0x001
#define FENLARK_CHANNEL_MAG_Y 0x002
#define FENLARK_CHANNEL_MAG_Z 0x004
#define FENLARK_CHANNEL_ACC_X 0x008
#define FENLARK_CHANNEL_ACC_Y 0x010
#define FENLARK_CHANNEL_ACC_Z 0x020
#define FENLARK_CHANNEL_GYR_X 0x040
#define FENLARK_CHANNEL_GYR_Y 0x080
#define FENLARK_CHANNEL_GYR_Z 0x100
#define FENLARK_CHANNEL_TEMPERATURE 0x200
#define FENLARK_CHANNEL_QUATERNION 0x400 /* orientation computed on the device */

/* One measurement. All values are 32-bit IEEE floats except the timestamp. */
typedef struct SensorSample {
    uint32_t timestamp; /* device clock, units of 100 us, wraps at 2^32 */
    float mag[3];       /* magnetometer x, y, z */
    float acc[3];       /* accelerometer x, y, z (specific force) */
    float gyr[3];       /* gyroscope x, y, z */
    float temperature;
    float quat[4]; /* orientation Q_SW, w, x, y, z: rotates world vectors into the sensor frame */
} SensorSample;

/* One entry of the device list. */
typedef struct DeviceInfo {
    char port[256];    /* device path of the serial port as opened, zero-terminated */
    char id[8];        /* identification string, at most 7 characters, zero-terminated */
    uint32_t reserved; /* always 0 */
    uint16_t firmwareMajor;
    uint16_t firmwareMinor;
} DeviceInfo;

/* Tracker configuration. */
typedef struct SensorConfig {
    int32_t channels;            /* channel mask, FENLARK_CHANNEL_* (bits 0..10 go to the device) */
    uint8_t magDivider;          /* magnetometer divider, 0..7 */
    uint8_t reserved1;           /* carried along, never interpreted */
    uint16_t frequency;          /* output frequency in Hz, 0..2047; default 100 */
    unsigned char ascii : 1;     /* bit 0: ASCII output instead of binary packets */
    unsigned char autoStart : 1; /* bit 1: stream after power-up */
    unsigned char raw : 1;       /* bit 2: RAW mode, 16-bit integer readings */
    unsigned char flagsReserved : 5; /* carried along, never interpreted */
    uint8_t reserved2[3];            /* carried along, never interpreted */
} SensorConfig;

/* Calibration record as stored on the device; 3 x 3 matrices row by row. */
typedef struct CalibrationData {
    float AR[9]; /* accelerometer matrix R */
    float Ab[3]; /* accelerometer vector b */
    float Ak[3]; /* accelerometer vector k */
    float GR[9]; /* gyroscope matrix R */
    float Gb[3]; /* gyroscope vector b */
    float Gk[3]; /* gyroscope vector k */
    float GK[9]; /* gyroscope matrix K */
    float MR[9]; /* magnetometer matrix R */
    float Mb[3]; /* magnetometer vector b */
    float Mk[3]; /* magnetometer vector k */
} CalibrationData;

QUORVANE_STATIC_ASSERT(sizeof(SensorSample) == 60, "SensorSample is 60 bytes");
QUORVANE_STATIC_ASSERT(offsetof(SensorSample, mag) == 4, "SensorSample.mag at 4");
QUORVANE_STATIC_ASSERT(offsetof(SensorSample, acc) == 16, "SensorSample.acc at 16");
QUORVANE_STATIC_ASSERT(offsetof(SensorSample, gyr) == 28, "SensorSample.gyr at 28");
QUORVANE_STATIC_ASSERT(offsetof(SensorSample, temperature) == 40, "SensorSample.temperature at 40");
QUORVANE_STATIC_ASSERT(offsetof(SensorSample, quat) == 44, "SensorSample.quat at 44");

QUORVANE_STATIC_ASSERT(sizeof(DeviceInfo) == 272, "DeviceInfo is 272 bytes");
QUORVANE_STATIC_ASSERT(offsetof(DeviceInfo, id) == 256, "DeviceInfo.id at 256");
QUORVANE_STATIC_ASSERT(offsetof(DeviceInfo, reserved) == 264, "DeviceInfo.reserved at 264");
QUORVANE_STATIC_ASSERT(offsetof(DeviceInfo, firmwareMajor) == 268,
                       "DeviceInfo.firmwareMajor at 268");
QUORVANE_STATIC_ASSERT(offsetof(DeviceInfo, firmwareMinor) == 270,
                       "DeviceInfo.firmwareMinor at 270");

QUORVANE_STATIC_ASSERT(sizeof(SensorConfig) == 12, "SensorConfig is 12 bytes");
QUORVANE_STATIC_ASSERT(offsetof(SensorConfig, magDivider) == 4, "SensorConfig.magDivider at 4");
QUORVANE_STATIC_ASSERT(offsetof(SensorConfig, reserved1) == 5, "SensorConfig.reserved1 at 5");
QUORVANE_STATIC_ASSERT(offsetof(SensorConfig, frequency) == 6, "SensorConfig.frequency at 6");
QUORVANE_STATIC_ASSERT(offsetof(SensorConfig, reserved2) == 9, "SensorConfig.reserved2 at 9");

QUORVANE_STATIC_ASSERT(sizeof(CalibrationData) == 216, "CalibrationData is 216 bytes");
QUORVANE_STATIC_ASSERT(offsetof(CalibrationData, Ab) == 36, "CalibrationData.Ab at 36");
QUORVANE_STATIC_ASSERT(offsetof(CalibrationData, Ak) == 48, "CalibrationData.Ak at 48");
QUORVANE_STATIC_ASSERT(offsetof(CalibrationData, GR) == 60, "CalibrationData.GR at 60");
QUORVANE_STATIC_ASSERT(offsetof(CalibrationData, Gb) == 96, "CalibrationData.Gb at 96");
QUORVANE_STATIC_ASSERT(offsetof(CalibrationData, Gk) == 108, "CalibrationData.Gk at 108");
QUORVANE_STATIC_ASSERT(offsetof(CalibrationData, GK) == 120, "CalibrationData.GK at 120");
QUORVANE_STATIC_ASSERT(offsetof(CalibrationData, MR) == 156, "CalibrationData.MR at 156");
QUORVANE_STATIC_ASSERT(offsetof(CalibrationData, Mb) == 192, "CalibrationData.Mb at 192");
QUORVANE_STATIC_ASSERT(offsetof(CalibrationData, Mk) == 204, "CalibrationData.Mk at 204");

/*
 * Discovery.
 *
 * fenlarkGetDeviceList finds and identifies every attached tracker. It probes
 * each enumerated port (three attempts each) and copies the first
 * min(found, maxCount) entries to list. Returns the number found, or -1 when
 * more than maxCount were found (the first maxCount are still copied).
 * Trackers that fail identification, and ports another handle holds, are left
 * out, and so are repeated paths to one device and paths longer than
 * DeviceInfo.port holds; fenlarkGetPortProblems tells why each was left out.
 * With a null list nothing is copied and the result is the same. Raises
 * std::runtime_error when the system's list of serial devices cannot be read:
 * on Windows "Can't open root key for enumerating devices!" (no tracker was
 * ever attached), on Linux "Can't read the list of serial devices in
 * <sysfs>/class/tty: <reason>".
 * Blocks about 0.15 s per tracker (measured on the simulated tracker), up to
 * about 0.5 s for a tracker slow to reply or a port that does not identify.
 *
 * Blocking times elsewhere in this header were measured the same way: a
 * device command takes about 25 ms, up to about 0.12 s when the tracker uses
 * its whole reply pause.
 */
QUORVANE_API int fenlarkGetDeviceList(DeviceInfo* list, uint32_t maxCount);

/*
 * Lifecycle. A handle is closed after fenlarkCreate, open after a successful
 * fenlarkOpen, started between fenlarkStart and fenlarkStop.
 */

/* A closed, stopped tracker whose sample ring holds length samples (at
 * least 2). Raises std::bad_alloc. */
QUORVANE_API VirtualFenlark* fenlarkCreate(uint16_t length);
/* Connects. port null or empty: the first enumerated port whose device
 * identifies; otherwise that device path. A device that does not identify
 * gets a second attempt (a loaded host can miss its reply). config null: the device's
 * configuration is read; otherwise config is written to it. Then loads the
 * boresight state and the jitter-reduction flag. Returns 0, or -1 on any
 * failure; never raises. When the failure came after identification the
 * handle keeps the connection until fenlarkClose. Blocks about 0.25 s, up
 * to about 1 s for a tracker slow to reply. */
QUORVANE_API int fenlarkOpen(VirtualFenlark* handle, const SensorConfig* config, const char* port);
/* Stops a started tracker first, stops the stream and closes the port.
 * Nothing happens on a closed handle. */
QUORVANE_API void fenlarkClose(VirtualFenlark* handle);
/* Starts the stream and the acquisition thread; returns 1. On a started
 * tracker it only re-asserts the running state. */
QUORVANE_API int fenlarkStart(VirtualFenlark* handle);
/* Ends the acquisition thread (returns after it has ended), stops the
 * stream, stores the boresight state (a failure is reported on stderr) and
 * the jitter-reduction flag on the device. Returns true. On a tracker whose
 * port hung up (FENLARK_STREAM_PORT_GONE, see fenlarkGetStreamState) no
 * device command is sent: the thread ends, the port is released and the
 * handle is closed, without raising. */
QUORVANE_API bool fenlarkStop(VirtualFenlark* handle);
/* Stops and closes the tracker if needed and frees it. Null is ignored. */
QUORVANE_API void fenlarkDestroy(VirtualFenlark* handle);

/* Identity: copies the identification string (at most 7 characters and the
 * terminator) into the caller's 8 bytes. */
QUORVANE_API void fenlarkGetID(VirtualFenlark* handle, char* id);

/*
 * Configuration. The functions described as device commands exchange a
 * command with the tracker (see the blocking times above). They need an open,
 * stopped tracker: on a started one they raise std::runtime_error and send
 * nothing, because the acquisition thread alone drives the port then. They
 * raise std::runtime_error with the protocol's message on failure, "No
 * Fenlarker open" on a closed handle.
 */

/* The configuration held for the open tracker; no device command. */
QUORVANE_API void fenlarkGetConfig(VirtualFenlark* handle, SensorConfig* out);
/* Device command: writes config, or the default configuration when null
 * (all ten sensor channels, divider 3, 100 Hz, only autoStart set). Fields
 * travel masked to their wire bits (frequency 11 bits, magDivider 3);
 * fenlarkGetConfig then reports what the device got. */
QUORVANE_API void fenlarkSetConfig(VirtualFenlark* handle, const SensorConfig* config);
/* Device command: makes the tracker store its current settings. */
QUORVANE_API void fenlarkSaveSettings(VirtualFenlark* handle);

/* Calibration record and the device matrices Ka, Kg, Km (3 x 3 floats, row
 * by row) with their enable flags. Device commands. */
QUORVANE_API void fenlarkGetCalib(VirtualFenlark* handle, CalibrationData* out);
QUORVANE_API bool fenlarkSetCalib(VirtualFenlark* handle, const CalibrationData* in);
QUORVANE_API bool fenlarkGetKa(VirtualFenlark* handle, float* m);
QUORVANE_API bool fenlarkGetKg(VirtualFenlark* handle, float* m);
QUORVANE_API bool fenlarkGetKm(VirtualFenlark* handle, float* m);
QUORVANE_API bool fenlarkSetKa(VirtualFenlark* handle, const float* m);
QUORVANE_API bool fenlarkSetKg(VirtualFenlark* handle, const float* m);
QUORVANE_API bool fenlarkSetKm(VirtualFenlark* handle, const float* m);
QUORVANE_API int fenlarkGetKaStatus(VirtualFenlark* handle);
QUORVANE_API int fenlarkGetKgStatus(VirtualFenlark* handle);
QUORVANE_API int fenlarkGetKmStatus(VirtualFenlark* handle);
/* Any nonzero on enables. */
QUORVANE_API bool fenlarkSetKaStatus(VirtualFenlark* handle, int on);
QUORVANE_API bool fenlarkSetKgStatus(VirtualFenlark* handle, int on);
QUORVANE_API bool fenlarkSetKmStatus(VirtualFenlark* handle, int on);

/*
 * Boresight: re-references the reported orientation to a chosen pose.
 * Modes: 1 heading (the current yaw is removed), 2 object (the current pose
 * reads as its pure yaw rotation), 3 alignment (the current pose reads as
 * the identity); other values keep the references. Changes made while the
 * tracker is started are stored on the device at fenlarkStop.
 */
QUORVANE_API int fenlarkGetBoresight(VirtualFenlark* handle);
/* Returns true after writing the flag to a stopped tracker; on while started. */
QUORVANE_API bool fenlarkSetBoresight(VirtualFenlark* handle, int on);
/* Takes the newest sample as reference, then fenlarkSetBoresight(handle, 1). */
QUORVANE_API bool fenlarkBoresight(VirtualFenlark* handle, int mode);

/*
 * Jitter reduction: while the tracker rests the host filter's process noise
 * shrinks, so the orientation stops wandering.
 */
QUORVANE_API int fenlarkGetJitterStatus(VirtualFenlark* handle);
/* Like fenlarkSetBoresight, for the jitter-reduction flag. */
QUORVANE_API bool fenlarkSetJitterStatus(VirtualFenlark* handle, int on);
/* Writes the smoothing weight alpha and the motion threshold. third is NOT
 * written: the library keeps the two factors derived from c (5 c when still,
 * 1 / c when moving), not c itself. */
QUORVANE_API void fenlarkGetJitterParam(VirtualFenlark* handle, double* alpha, double* threshold,
                                        double* third);
/* alpha: weight of the newest gyroscope reading in the low-pass (default
 * 0.98); threshold: (rad/s)^2 below which the tracker counts as still
 * (default 0.008); c: the gain shrinks by 5 c per still sample and grows by
 * 1 / c per moving sample (defaults 0.7 and 10). A parameter that is not a
 * finite number, or c = 0, raises std::invalid_argument and changes nothing. */
QUORVANE_API void fenlarkSetJitterParam(VirtualFenlark* handle, double alpha, double threshold,
                                        double c);

/* Yaw, pitch, roll in radians of the sample's quaternion; yaw in [0, 2 pi). */
QUORVANE_API void fenlarkEulerOri(const SensorSample* sample, float* euler);

/*
 * Host filter profile, used when the tracker does not send its own
 * orientation. 0 (the default): the standard filter. 1: the robust filter,
 * which estimates the gyroscope bias, rides out fast motion and rejects
 * magnetic disturbances (README.md gives measured accuracy figures); it
 * ignores the jitter-reduction gain. A change takes effect at the next fenlarkStart; no
 * device command. Other values raise std::invalid_argument.
 */
QUORVANE_API bool fenlarkSetFilterProfile(VirtualFenlark* handle, int profile);
QUORVANE_API int fenlarkGetFilterProfile(VirtualFenlark* handle);

/* Copies the sample at the ring's read position and moves on unless it is
 * the newest; then applies the boresight correction when enabled and RAW
 * mode is off. A reader faster than the tracker gets the newest sample
 * again; a slower one loses the oldest unread samples. Detect new samples
 * by a timestamp that advanced. */
QUORVANE_API void fenlarkGetData(VirtualFenlark* handle, SensorSample* out);

/*
 * Stream state of a handle, for programs that must notice a tracker that is
 * gone: fenlarkGetData keeps returning the last sample after an unplug.
 *   FENLARK_STREAM_STOPPED  not started (or closed)
 *   FENLARK_STREAM_RUNNING  started, samples arriving
 *   FENLARK_STREAM_STALLED  started, but no packet for more than 0.5 s
 *   FENLARK_STREAM_PORT_GONE started, and the port hung up or failed (unplugged);
 *                           the acquisition thread has stopped reading and
 *                           waits for fenlarkStop or fenlarkClose, which succeed
 * No device command; does not block; safe from any thread while another reads.
 */
#define FENLARK_STREAM_STOPPED 0
#define FENLARK_STREAM_RUNNING 1
#define FENLARK_STREAM_STALLED 2
#define FENLARK_STREAM_PORT_GONE 3
QUORVANE_API int fenlarkGetStreamState(VirtualFenlark* handle);

/*
 * Why discovery left ports out, for programs that tell the user why no
 * tracker was found. One record per candidate port that the last
 * fenlarkGetDeviceList (of any thread) did not list, in port order:
 *   FENLARK_PORT_OPEN_FAILED    the port could not be opened or configured
 *                               (missing, not a serial port, ...)
 *   FENLARK_PORT_PERMISSION     the system denied access; on Linux install the
 *                               udev rule resources/udev/70-quorvane-tracker.rules
 *   FENLARK_PORT_BUSY           in use by another program (or another handle)
 *   FENLARK_PORT_NO_REPLY       no complete identification reply in any attempt
 *   FENLARK_PORT_BAD_REPLY      a reply that is not a tracker's, or a device
 *                               that refused the first command
 *   FENLARK_PORT_PATH_TOO_LONG  the path does not fit DeviceInfo.port; port
 *                               holds its first 255 characters
 *   FENLARK_PORT_DUPLICATE      another path to a device listed before it
 * message is a zero-terminated sentence for people, without the path.
 */
#define FENLARK_PORT_OPEN_FAILED 1
#define FENLARK_PORT_PERMISSION 2
#define FENLARK_PORT_BUSY 3
#define FENLARK_PORT_NO_REPLY 4
#define FENLARK_PORT_BAD_REPLY 5
#define FENLARK_PORT_PATH_TOO_LONG 6
#define FENLARK_PORT_DUPLICATE 7

typedef struct FenlarkPortProblem {
    char port[256];    /* the candidate's path, zero-terminated */
    int32_t reason;    /* FENLARK_PORT_* */
    char message[252]; /* why, zero-terminated */
} FenlarkPortProblem;

QUORVANE_STATIC_ASSERT(sizeof(FenlarkPortProblem) == 512, "FenlarkPortProblem is 512 bytes");
QUORVANE_STATIC_ASSERT(offsetof(FenlarkPortProblem, reason) == 256,
                       "FenlarkPortProblem.reason at 256");
QUORVANE_STATIC_ASSERT(offsetof(FenlarkPortProblem, message) == 260,
                       "FenlarkPortProblem.message at 260");

/* Copies the first min(count, maxCount) records of the last discovery to
 * list; returns their count, or -1 when there are more than maxCount (the
 * first maxCount are still copied). A null list only counts. Before any
 * discovery, and after one that raised, there are none. Does not block on
 * devices; safe from any thread. */
QUORVANE_API int fenlarkGetPortProblems(FenlarkPortProblem* list, uint32_t maxCount);

/*
 * Waits until fenlarkGetData has a sample it has not returned before, or
 * timeoutMs milliseconds have passed. Returns 1 when such a sample is there,
 * 0 on timeout; 0 at once on a tracker that is not started or whose port is
 * gone. Lets a reader take every sample as it arrives without polling:
 * wait, then call fenlarkGetData until the timestamp stops advancing. No
 * device command; one reader at a time, like fenlarkGetData.
 */
QUORVANE_API int fenlarkWaitForData(VirtualFenlark* handle, uint32_t timeoutMs);

#ifdef __cplusplus
}
#endif

#endif /* QUORVANE_H */
