#include "device_list.h"

#include <stdexcept>

#include "fenlark_imu.h"

namespace Quorvane {

std::vector<DeviceInfo> probeDevices(FenlarkIO& io) {
    std::vector<DeviceInfo> found;
    const unsigned count = io.portCount();
    for (unsigned i = 0; i < count; ++i) {
        for (int attempt = 0; attempt < kIdentifyAttempts; ++attempt) {
            try {
                io.open(io.portPath(i), kBaudRate);
                DeviceInfo info{};
                {
                    // Identifies on construction; destruction stops the
                    // stream and closes the port.
                    FenlarkIMU imu(&io);
                    imu.getDeviceInfo(&info);
                }
                found.push_back(info);
                break;
            } catch (const std::runtime_error&) {
                io.close();
            }
        }
    }
    return found;
}

int getDeviceList(DeviceInfo* list, uint32_t maxCount,
                  const std::function<std::unique_ptr<FenlarkIO>()>& makeIO) {
    std::vector<DeviceInfo> found;
    {
        std::unique_ptr<FenlarkIO> io = makeIO();
        found = probeDevices(*io);
    }
    const size_t copied = found.size() < maxCount ? found.size() : maxCount;
    // A null list only asks how many trackers there are.
    if (list)
        for (size_t i = 0; i < copied; ++i) list[i] = found[i];
    return found.size() > maxCount ? -1 : static_cast<int>(found.size());
}

}  // namespace Quorvane
