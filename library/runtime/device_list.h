#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fenlark_io.h"
#include "quorvane.h"

namespace Quorvane {

// Attempts per port before a device that fails to identify is left out.
constexpr int kIdentifyAttempts = 3;
// Attempts fenlarkOpen gives a device that does not identify: the reply
// window is short, and a loaded host can miss it once.
constexpr int kConnectAttempts = 2;

// What one discovery found, and why it left the other candidates out.
struct Discovery {
    std::vector<DeviceInfo> devices;           // in port order
    std::vector<FenlarkPortProblem> problems;  // in port order
};

// Probes every port `io` enumerated and returns the trackers that identify,
// in port order. A path that does not fit DeviceInfo.port, or that names a
// device an earlier path named already (compared by resolvedPortPath), is
// not probed. Each other port gets kIdentifyAttempts attempts; a port that
// fails them all is left out with the reason of its last attempt. Blocks
// (see fenlarkGetDeviceList).
Discovery probeDevices(FenlarkIO& io);

// The record for a port left out; texts are cut to fit.
FenlarkPortProblem portProblem(const std::string& port, int32_t reason, const std::string& message);

// The FENLARK_PORT_* reason and the message for an identification attempt
// that failed with `failure` (a PortOpenError or a protocol error).
FenlarkPortProblem attemptProblem(const std::string& port, const std::exception& failure);

// The exported discovery: copies min(found, maxCount) entries to `list` and
// returns the count found, or -1 when more than maxCount were found. Keeps
// the problems for getPortProblems (none when enumeration raises).
int getDeviceList(DeviceInfo* list, uint32_t maxCount,
                  const std::function<std::unique_ptr<FenlarkIO>()>& makeIO);

// The problems of the last getDeviceList of the process, with its count
// convention. Thread-safe.
int getPortProblems(FenlarkPortProblem* list, uint32_t maxCount);

}  // namespace Quorvane
