#include "port_path.h"

namespace GuiCommon {
namespace {

const char* const kBlank = " \t\r\n\f\v";

#ifdef _WIN32
const std::string kDevicePrefix = "\\\\.\\";
bool hasPrefix(const std::string& name) {
    return name.compare(0, kDevicePrefix.size(), kDevicePrefix) == 0;
}
#else
const std::string kDevicePrefix = "/dev/";
bool hasPrefix(const std::string& name) {
    return name[0] == '/';
}
#endif

}  // namespace

std::string portPath(const std::string& name) {
    const auto first = name.find_first_not_of(kBlank);
    if (first == std::string::npos) return {};
    const std::string trimmed = name.substr(first, name.find_last_not_of(kBlank) - first + 1);
    return hasPrefix(trimmed) ? trimmed : kDevicePrefix + trimmed;
}

std::vector<std::string> portPaths(const std::string& list) {
    std::vector<std::string> paths;
    std::string::size_type start = 0;
    while (start <= list.size()) {
        auto end = list.find(',', start);
        if (end == std::string::npos) end = list.size();
        const std::string path = portPath(list.substr(start, end - start));
        if (!path.empty()) paths.push_back(path);
        start = end + 1;
    }
    return paths;
}

}  // namespace GuiCommon
