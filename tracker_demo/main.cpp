// Console demo: lists the attached trackers.
#include <cstdio>

#include "quorvane.h"

int main() {
    DeviceInfo devices[10];
    const int n = fenlarkGetDeviceList(devices, 10);
    std::printf("Number of Fenlarks found: %d\n", n);
    const int count = n < 0 ? 10 : n;
    for (int i = 0; i < count; ++i) {
        std::printf("%s:\t %s (FW %d.%d)\n", devices[i].port, devices[i].id,
                    devices[i].firmwareMajor, devices[i].firmwareMinor);
    }
    std::printf("\n\n");
    if (count < 1) {
        std::fprintf(stderr, "No Fenlark sensors found\n");
        return 0;
    }
    return 0;
}
