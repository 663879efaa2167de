// Runs an action and tells which runtime error it raised: the message, or ""
// when it raised none.
#pragma once

#include <stdexcept>
#include <string>

namespace Quorvane::testing {

template <typename Action>
std::string errorOf(Action&& action) {
    try {
        action();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "";
}

}  // namespace Quorvane::testing
