#include "default_config.h"

namespace Quorvane {
namespace {

SensorConfig makeDefaultConfig() {
    SensorConfig c{};
    c.channels = 0x3FF;
    c.magDivider = 3;
    c.frequency = 100;
    c.ascii = 0;
    c.autoStart = 1;
    c.raw = 0;
    return c;
}

}  // namespace

const SensorConfig kDefaultConfig = makeDefaultConfig();

}  // namespace Quorvane
