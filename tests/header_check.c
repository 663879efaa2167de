/* Compiled as C: the public header's records and their layout checks. */
#include "quorvane.h"

int quorvane_header_check(void) {
    SensorConfig config = {0};
    config.autoStart = 1;
    return (int)sizeof(SensorSample) + config.autoStart;
}
