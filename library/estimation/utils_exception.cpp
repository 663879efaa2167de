#include "utils_exception.h"

#include <utility>

namespace Utils {

Exception::Exception(std::string message) : message_(std::move(message)) {}

const char* Exception::what() const noexcept {
    return message_.c_str();
}

const char* BadCast::what() const noexcept {
    return "bad cast";
}

}  // namespace Utils
