// How the polling loops judge and present the samples they fetch.
#pragma once

#include <cstdint>
#include <string>

namespace GuiCommon {

// Tells samples not yet seen from repeats of the newest one. The device
// clock wraps after 2^32 ticks (about 4.97 days), so "later" is judged by
// the unsigned 32-bit difference: a step of 1 to 2^31 - 1 ticks. The ring's
// initial sample (timestamp 0) is never new.
class NewSampleGate {
  public:
    // True when timestamp is later than the last one accepted (or, before
    // any, is not 0); it then becomes the last one.
    bool accept(uint32_t timestamp);

  private:
    bool any_ = false;
    uint32_t last_ = 0;
};

// Marks of a value the tracker did not send are far below any reading.
constexpr float kMissingBelow = -1e8f;

// A value below kMissingBelow becomes 0, so charts and views are not thrown.
float withoutMissing(float value);

// The status bar's temperature: in RAW mode the reading truncated toward
// zero followed by " (RAW)", otherwise degrees with two decimals.
std::string temperatureText(float temperature, bool raw);

}  // namespace GuiCommon
