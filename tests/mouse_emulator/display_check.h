#pragma once

namespace MouseEmulatorTests {

void setDisplayAvailable(bool available);
bool displayAvailable();

}  // namespace MouseEmulatorTests
