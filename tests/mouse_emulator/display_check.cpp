#include "display_check.h"

namespace MouseEmulatorTests {

namespace {
bool available = false;
}

void setDisplayAvailable(bool value) {
    available = value;
}

bool displayAvailable() {
    return available;
}

}  // namespace MouseEmulatorTests
