// The configuration tests and benchmarks ask of a tracker: the given
// channels at the given rate, the usual magnetometer divider, floats unless
// raw.
#pragma once

#include "quorvane.h"

namespace Quorvane::testing {

inline SensorConfig sensorConfig(int32_t channels, uint16_t frequency = 100, bool raw = false) {
    SensorConfig c{};
    c.channels = channels;
    c.magDivider = 3;
    c.frequency = frequency;
    c.raw = raw ? 1 : 0;
    return c;
}

}  // namespace Quorvane::testing
