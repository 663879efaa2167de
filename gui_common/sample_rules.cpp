#include "sample_rules.h"

#include <cmath>
#include <iomanip>
#include <locale>
#include <sstream>

namespace GuiCommon {

bool NewSampleGate::accept(uint32_t timestamp) {
    const uint32_t step = timestamp - last_;
    const bool later = any_ ? step != 0 && step < 0x80000000u : timestamp != 0;
    if (later) {
        any_ = true;
        last_ = timestamp;
    }
    return later;
}

float withoutMissing(float value) {
    return value < kMissingBelow ? 0.0f : value;
}

std::string temperatureText(float temperature, bool raw) {
    // The C locale: the program's locale may use a decimal comma.
    std::ostringstream text;
    text.imbue(std::locale::classic());
    if (raw) {
        // Truncating -0.5 gives -0.0, which would print as "-0"; an integer does not.
        const double whole = std::trunc(static_cast<double>(temperature));
        if (std::isfinite(whole) && std::fabs(whole) < 1e15)
            text << static_cast<long long>(whole);
        else
            text << whole;
        text << " (RAW)";
    } else {
        text << std::fixed << std::setprecision(2) << temperature;
    }
    return text.str();
}

}  // namespace GuiCommon
