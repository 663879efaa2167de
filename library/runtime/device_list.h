#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "fenlark_io.h"
#include "quorvane.h"

namespace Quorvane {

// Attempts per port before a device that fails to identify is left out.
constexpr int kIdentifyAttempts = 3;
constexpr int kPortBufferSize = 4096;
constexpr int kBaudRate = 115200;

// Probes every port `io` enumerated and returns the trackers that identify,
// in port order. Each port gets kIdentifyAttempts attempts; a port that fails
// them all is skipped. Blocks about 0.4 s per tracker found.
std::vector<DeviceInfo> probeDevices(FenlarkIO& io);

// The exported discovery: copies min(found, maxCount) entries to `list` and
// returns the count found, or -1 when more than maxCount were found.
int getDeviceList(DeviceInfo* list, uint32_t maxCount,
                  const std::function<std::unique_ptr<FenlarkIO>()>& makeIO);

}  // namespace Quorvane
