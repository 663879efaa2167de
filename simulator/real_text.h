// Reading a real number from text the way the simulator's inputs want it:
// the whole text is the number, and it is finite.
#pragma once

#include <cmath>
#include <exception>
#include <optional>
#include <string>

namespace sim {

inline std::optional<double> finiteReal(const std::string& text) {
    std::size_t used = 0;
    double value = 0;
    try {
        value = std::stod(text, &used);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (used != text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

}  // namespace sim
