#include "utils_exception.h"

namespace Utils {

const char* BadCast::what() const noexcept {
    return "bad cast";
}

}  // namespace Utils
