#include "noise.h"

namespace Filtering {

Noise::~Noise() = default;

}  // namespace Filtering
