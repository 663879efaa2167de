// The exported functions: thin entries into the runtime.
#include "device_list.h"
#include "quorvane.h"

extern "C" {

QUORVANE_API int fenlarkGetDeviceList(DeviceInfo* list, uint32_t maxCount) {
    return Quorvane::getDeviceList(
        list, maxCount, [] { return Quorvane::createPlatformIO(Quorvane::kPortBufferSize); });
}

}  // extern "C"
