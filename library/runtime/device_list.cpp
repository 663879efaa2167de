#include "device_list.h"

#include <cstring>
#include <mutex>
#include <stdexcept>
#include <unordered_map>

#include "fenlark_imu.h"

namespace Quorvane {
namespace {

// Longest path DeviceInfo.port holds with its terminator.
constexpr size_t kMaxPortPath = sizeof(DeviceInfo::port) - 1;

// The identification error of a device that sent nothing usable in time;
// every other protocol error means it answered, but not as a tracker does.
constexpr const char* kNoReplyMarker = "no ID received";

template <size_t N>
void copyText(char (&into)[N], const std::string& text) {
    const size_t n = text.size() < N - 1 ? text.size() : N - 1;
    std::memcpy(into, text.data(), n);
    into[n] = '\0';
}

// The problems of the last discovery in this process.
struct LastProblems {
    std::mutex mutex;
    std::vector<FenlarkPortProblem> problems;
};

LastProblems& lastProblems() {
    static LastProblems last;
    return last;
}

void keepProblems(std::vector<FenlarkPortProblem> problems) {
    LastProblems& last = lastProblems();
    std::lock_guard lock(last.mutex);
    last.problems = std::move(problems);
}

// Copies min(items, maxCount) to `list` (when given) and returns the count,
// or -1 when there are more than maxCount.
template <typename T>
int copyOut(const std::vector<T>& items, T* list, uint32_t maxCount) {
    const size_t copied = items.size() < maxCount ? items.size() : maxCount;
    if (list)
        for (size_t i = 0; i < copied; ++i) list[i] = items[i];
    return items.size() > maxCount ? -1 : static_cast<int>(items.size());
}

}  // namespace

FenlarkPortProblem portProblem(const std::string& port, int32_t reason,
                               const std::string& message) {
    FenlarkPortProblem problem{};
    copyText(problem.port, port);
    problem.reason = reason;
    copyText(problem.message, message);
    return problem;
}

FenlarkPortProblem attemptProblem(const std::string& port, const std::exception& failure) {
    if (const auto* open = dynamic_cast<const PortOpenError*>(&failure)) {
        switch (open->cause()) {
            case PortOpenError::Cause::Permission:
                return portProblem(port, FENLARK_PORT_PERMISSION, open->detail());
            case PortOpenError::Cause::Busy:
                return portProblem(port, FENLARK_PORT_BUSY, open->detail());
            case PortOpenError::Cause::Failed:
                break;
        }
        return portProblem(port, FENLARK_PORT_OPEN_FAILED,
                           "could not be opened: " + open->detail());
    }
    if (std::strstr(failure.what(), kNoReplyMarker))
        return portProblem(port, FENLARK_PORT_NO_REPLY,
                           "no complete identification reply in time: not a tracker, or one "
                           "too slow to answer");
    return portProblem(port, FENLARK_PORT_BAD_REPLY,
                       std::string("answered, but not as a tracker: ") + failure.what());
}

Discovery probeDevices(FenlarkIO& io) {
    Discovery result;
    std::unordered_map<std::string, std::string> seen;  // resolved path -> first path
    const unsigned count = io.portCount();
    for (unsigned i = 0; i < count; ++i) {
        const std::string path = io.portPath(i);
        // A cut path would be listed under a name that opens nothing.
        if (path.size() > kMaxPortPath) {
            result.problems.push_back(portProblem(
                path, FENLARK_PORT_PATH_TOO_LONG,
                "the path has " + std::to_string(path.size()) + " characters; at most " +
                    std::to_string(kMaxPortPath) + " fit the device list"));
            continue;
        }
        const auto [first, isNew] = seen.emplace(resolvedPortPath(path), path);
        if (!isNew) {
            result.problems.push_back(
                portProblem(path, FENLARK_PORT_DUPLICATE, "the same device as " + first->second));
            continue;
        }
        FenlarkPortProblem lastFailure{};
        bool listed = false;
        for (int attempt = 0; attempt < kIdentifyAttempts && !listed; ++attempt) {
            try {
                io.open(path, kBaudRate);
                DeviceInfo info{};
                {
                    // Identifies on construction; destruction stops the
                    // stream and closes the port.
                    FenlarkIMU imu(&io);
                    imu.getDeviceInfo(&info);
                }
                result.devices.push_back(info);
                listed = true;
            } catch (const std::runtime_error& e) {
                io.close();
                lastFailure = attemptProblem(path, e);
            }
        }
        if (!listed) result.problems.push_back(lastFailure);
    }
    return result;
}

int getDeviceList(DeviceInfo* list, uint32_t maxCount,
                  const std::function<std::unique_ptr<FenlarkIO>()>& makeIO) {
    Discovery found;
    try {
        std::unique_ptr<FenlarkIO> io = makeIO();
        found = probeDevices(*io);
    } catch (...) {
        keepProblems({});
        throw;
    }
    keepProblems(std::move(found.problems));
    // A null list only asks how many trackers there are.
    return copyOut(found.devices, list, maxCount);
}

int getPortProblems(FenlarkPortProblem* list, uint32_t maxCount) {
    LastProblems& last = lastProblems();
    std::lock_guard lock(last.mutex);
    return copyOut(last.problems, list, maxCount);
}

}  // namespace Quorvane
