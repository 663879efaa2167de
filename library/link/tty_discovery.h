// Finds the tracker ports of this machine: ttys whose USB device carries the
// tracker's vendor and product ID, then the paths listed by the user.
#pragma once

#include <string>
#include <vector>

namespace Quorvane {

constexpr const char* kTrackerVendorId = "ffff";
constexpr const char* kTrackerProductId = "0005";
// Comma-separated device paths appended after the detected ones, kept as given.
constexpr const char* kExtraPortsVariable = "QUORVANE_EXTRA_PORTS";
// Root of the sysfs tree searched for trackers, "/sys" when unset. Pointing it
// at an empty folder hides attached trackers (the demo does so to show the
// simulator); an unreadable one fails discovery.
constexpr const char* kSysfsRootVariable = "QUORVANE_SYSFS_ROOT";

// The sysfs root to search: QUORVANE_SYSFS_ROOT, or "/sys".
std::string sysfsRoot();

// Names of the ttys below `sysfsRoot`/class/tty whose USB ancestor has the
// tracker's IDs, sorted byte-wise without duplicates. Raises "Can't read the
// list of serial devices in <sysfsRoot>/class/tty: <system's reason>" only
// when the tty list itself can't be read.
std::vector<std::string> findTrackerTtys(const std::string& sysfsRoot);

// Splits a comma-separated list; empty entries are dropped.
std::vector<std::string> splitPortList(const char* list);

// The device paths in port-index order: "/dev/" + each detected name, then
// the entries of QUORVANE_EXTRA_PORTS. Paths are kept as given: the device
// list, which reports what it leaves out, drops repeats and unusable paths.
std::vector<std::string> enumerateTrackerPorts(const std::string& sysfsRoot);

}  // namespace Quorvane
