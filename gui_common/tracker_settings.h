// The settings of one tracker as the GUI programs keep them, and the
// configuration records built from them for the device.
#pragma once

#include "quorvane.h"

namespace GuiCommon {

struct TrackerSettings {
    bool magX = false, magY = false, magZ = false;
    bool accX = false, accY = false, accZ = false;
    bool gyrX = false, gyrY = false, gyrZ = false;
    bool temp = false;
    bool nav = false;  // orientation computed on the device
    int magDiv = 3;
    int freq = 100;
    bool ascii = false;
    bool autostart = false;
    bool raw = false;
};

// The record that sends exactly these settings: the eleven channel bits, the
// divider and frequency (masked by the library on the wire) and the three
// flags; every other bit and reserved byte 0.
SensorConfig encodeConfiguration(const TrackerSettings& settings);

// The nine motion axes (magnetometer, accelerometer, gyroscope) and neither
// temperature nor device orientation.
constexpr int32_t kMotionChannels = 0x1FF;

// For a magnetometer calibration: the device's record with the nine motion
// axes, the entry's divider and frequency, RAW readings, no ASCII; its other
// flag bits and reserved bytes kept.
SensorConfig calibrationConfiguration(const SensorConfig& device, int magDiv, int freq);

// For the orientation-only loop: like calibrationConfiguration, but float
// readings (RAW cleared), so the library computes the orientation.
SensorConfig orientationConfiguration(const SensorConfig& device, int magDiv, int freq);

}  // namespace GuiCommon
