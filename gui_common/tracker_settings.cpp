#include "tracker_settings.h"

namespace GuiCommon {

SensorConfig encodeConfiguration(const TrackerSettings& s) {
    const bool bits[11] = {s.magX, s.magY, s.magZ, s.accX, s.accY, s.accZ,
                           s.gyrX, s.gyrY, s.gyrZ, s.temp, s.nav};
    SensorConfig c{};
    for (int i = 0; i < 11; ++i)
        if (bits[i]) c.channels |= 1 << i;
    c.magDivider = static_cast<uint8_t>(s.magDiv);
    c.frequency = static_cast<uint16_t>(s.freq);
    c.ascii = s.ascii ? 1 : 0;
    c.autoStart = s.autostart ? 1 : 0;
    c.raw = s.raw ? 1 : 0;
    return c;
}

namespace {

SensorConfig motionConfiguration(const SensorConfig& device, int magDiv, int freq, bool raw) {
    SensorConfig c = device;
    c.channels = kMotionChannels;
    c.magDivider = static_cast<uint8_t>(magDiv);
    c.frequency = static_cast<uint16_t>(freq);
    c.ascii = 0;
    c.raw = raw ? 1 : 0;
    return c;
}

}  // namespace

SensorConfig calibrationConfiguration(const SensorConfig& device, int magDiv, int freq) {
    return motionConfiguration(device, magDiv, freq, true);
}

SensorConfig orientationConfiguration(const SensorConfig& device, int magDiv, int freq) {
    return motionConfiguration(device, magDiv, freq, false);
}

}  // namespace GuiCommon
