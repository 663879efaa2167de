#include "device_clock.h"

#include <algorithm>
#include <cmath>

namespace Quorvane {

DeviceClock::DeviceClock(double maxStepSeconds)
    : maxStepTicks_(static_cast<uint32_t>(std::lround(maxStepSeconds / kSecondsPerTick))) {}

void DeviceClock::start(uint32_t timestamp) {
    last_ = timestamp;
    ticks_ = timestamp;
}

uint32_t DeviceClock::advance(uint32_t timestamp) {
    const uint32_t forward = timestamp - last_;  // modulo 2^32
    last_ = timestamp;
    const uint32_t step = forward < 0x80000000u ? std::min(forward, maxStepTicks_) : 0u;
    ticks_ += step;
    return step;
}

}  // namespace Quorvane
