// Port paths of trackers the user names by hand.
#pragma once

#include <string>
#include <vector>

namespace GuiCommon {

// The device path for a port name, white space trimmed: on Linux "/dev/" in
// front of a name that does not start with "/" ("ttyUSB0" -> "/dev/ttyUSB0",
// "/dev/pts/3" unchanged); on Windows the prefix "\\.\" unless the name has
// it ("COM3" -> "\\.\COM3"). An empty or blank name gives an empty path.
std::string portPath(const std::string& name);

// The paths of a comma-separated list of port names, empty parts dropped, in
// list order.
std::vector<std::string> portPaths(const std::string& list);

}  // namespace GuiCommon
