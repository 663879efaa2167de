// The tracker's sensor chips: how physical values become 16-bit readings
// (RAW mode), and how the device turns readings back into physical values
// with its calibration record (float mode).
//
// Raw scales:
//   accelerometer  +-2 g over 16 bits: 16384 counts per g (g = 9.81 m/s^2)
//   gyroscope      +-2000 deg/s over 16 bits: 16.384 counts per deg/s
//   magnetometer   38 counts per uT at full resolution (divider 4096); the
//                  reading is scaled by divider / 4096, divider = 2^(magDivider + 5),
//                  so a smaller divider gives coarser counts
//   temperature    0.01 deg C per count
//   orientation    16384 counts per unit (quaternion elements)
// Every reading saturates at the int16 limits.
//
// The calibration record maps readings to physical values:
//   a     = diag(Ak) AR (raw_a - Ab)                                  [m/s^2]
//   omega = GR diag(Gk) (raw_g - Gb - GK a)                           [rad/s]
//   H     = MR diag(Mk) ((4096 / divider) raw_m - Mb)                 [uT]
// The factory record inverts the chips' imperfections (misalignment, scale
// errors, offsets, the gyroscope's sensitivity to acceleration) exactly, up
// to float rounding. The magnetic environment (soft and hard iron) is not the
// chip's and stays in the calibrated values until a host calibration fits it.
#pragma once

#include <array>
#include <cstdint>

#include "quorvane.h"
#include "vec_math.h"

namespace sim {

constexpr double kGravity = 9.81;                       // m/s^2
constexpr double kAccCountsPerMps2 = 16384 / kGravity;  // counts per m/s^2
constexpr double kGyroCountsPerRadps = 16.384 * 180 / 3.14159265358979323846;
constexpr double kMagCountsPerMicrotesla = 38;  // at divider 4096
constexpr double kTemperatureCountsPerDegree = 100;
constexpr double kOrientationCounts = 16384;

using Raw3 = std::array<std::int16_t, 3>;

// Physical quantities as the chips experience them.
struct PhysicalReading {
    Vec3 acc;            // specific force, m/s^2, sensor frame
    Vec3 gyr;            // angular velocity, rad/s, sensor frame
    Vec3 mag;            // magnetic field at the chip, uT, sensor frame
    double temperature;  // deg C
};

struct RawReading {
    Raw3 acc, gyr, mag;
    std::int16_t temperature;
};

struct CalibratedReading {
    Vec3 acc, gyr, mag;
    double temperature;
};

// This unit's chips, fixed like a serial number: the imperfections the
// factory calibration removes.
struct ChipModel {
    Mat3 acc;         // counts per m/s^2, misalignment and scale errors included
    Vec3 accOffset;   // counts
    Mat3 gyr;         // counts per rad/s
    Vec3 gyrOffset;   // counts
    Mat3 gyrFromAcc;  // counts per m/s^2 of specific force
    Mat3 mag;         // counts per uT at divider 4096
    Vec3 magOffset;   // counts at divider 4096

    static const ChipModel& unit();
};

// divider = 2^(magDivider + 5), magDivider 0..7.
double magDivider(unsigned magDividerSetting);

RawReading toRaw(const ChipModel& chip, const PhysicalReading& physical,
                 unsigned magDividerSetting);

// What the device sends in float mode: the record applied to the readings.
CalibratedReading applyCalibration(const CalibrationData& record, const RawReading& raw,
                                   unsigned magDividerSetting);

// The record that undoes the chip's imperfections.
CalibrationData factoryCalibration(const ChipModel& chip);

}  // namespace sim
