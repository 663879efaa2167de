// The time line of a tracker's samples, from the device clock in their
// timestamps: a 32-bit count of 100 us ticks that wraps at 2^32 (after about
// 4.97 days of streaming). Both host filters step their estimate by it.
#pragma once

#include <cstdint>

namespace Quorvane {

class DeviceClock {
  public:
    static constexpr double kSecondsPerTick = 0.0001;

    // maxStepSeconds: the longest step integrated; a longer one is a gap of
    // lost samples and counts as this long.
    explicit DeviceClock(double maxStepSeconds);

    // Starts the time line at the timestamp: seconds() is then exactly
    // timestamp * kSecondsPerTick.
    void start(uint32_t timestamp);

    // Moves on to the next sample's timestamp and returns the step taken, in
    // ticks. The step is the difference to the previous timestamp modulo
    // 2^32, so the wrap is an ordinary step forward. Read as signed, a
    // difference of 2^31 or more is a step back (a sample out of order): it
    // counts as 0, and the next step is measured from this timestamp. A step
    // beyond the longest is cut to it. Without back steps and gaps the time
    // line stays exactly timestamp * kSecondsPerTick until the first wrap.
    uint32_t advance(uint32_t timestamp);

    // The time line, s.
    double seconds() const { return static_cast<double>(ticks_) * kSecondsPerTick; }

  private:
    uint32_t maxStepTicks_;
    uint32_t last_ = 0;
    uint64_t ticks_ = 0;  // 2^64 ticks: far beyond any tracker's life
};

}  // namespace Quorvane
