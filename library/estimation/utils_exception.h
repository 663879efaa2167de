// Error types of the estimation framework.
#pragma once

#include <stdexcept>
#include <string>
#include <typeinfo>

namespace Utils {

// The framework's own error: lookups, reserved names, factories and model
// consistency checks. what() returns the message unchanged. It is a
// std::runtime_error, so callers that handle the library's failures as
// runtime errors see the framework's too.
class Exception : public std::runtime_error {
  public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// Raised when a tree node is not of the kind the reader needs. Callers catch
// it as std::bad_cast; the text is "bad cast" on every standard library.
class BadCast : public std::bad_cast {
  public:
    const char* what() const noexcept override;
};

}  // namespace Utils
