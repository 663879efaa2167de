#pragma once

#include "quorvane.h"

namespace Quorvane {

// The library-wide default configuration: all ten sensor channels (mask
// 1023, no device quaternion), magnetometer divider 3, 100 Hz, binary
// output, streaming after power-up, calibrated (not RAW) values.
extern const SensorConfig kDefaultConfig;

}  // namespace Quorvane
