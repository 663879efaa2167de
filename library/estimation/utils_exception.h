// Error types of the estimation framework.
#pragma once

#include <exception>
#include <string>
#include <typeinfo>

namespace Utils {

// The framework's own error: lookups, reserved names, factories and model
// consistency checks. what() returns the message unchanged.
class Exception : public std::exception {
  public:
    explicit Exception(std::string message);
    const char* what() const noexcept override;

  private:
    std::string message_;
};

// Raised when a tree node is not of the kind the reader needs. Callers catch
// it as std::bad_cast; the text is "bad cast" on every standard library.
class BadCast : public std::bad_cast {
  public:
    const char* what() const noexcept override;
};

}  // namespace Utils
