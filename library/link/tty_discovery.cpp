#include "tty_discovery.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

namespace Quorvane {
namespace {

// First line of a sysfs attribute file, or empty when it can't be read.
std::string readAttribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    if (in) std::getline(in, line);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line;
}

// Walks from the tty's device node up towards the sysfs root; the first
// directory with an idVendor attribute is the USB device the tty belongs to.
bool belongsToTracker(const fs::path& ttyEntry, const fs::path& stopAt) {
    std::error_code ec;
    fs::path dir = fs::canonical(ttyEntry, ec);
    if (ec) return false;
    while (!dir.empty() && dir != stopAt && dir != dir.root_path()) {
        if (fs::exists(dir / "idVendor", ec)) {
            return readAttribute(dir / "idVendor") == kTrackerVendorId &&
                   readAttribute(dir / "idProduct") == kTrackerProductId;
        }
        dir = dir.parent_path();
    }
    return false;
}

}  // namespace

std::vector<std::string> findTrackerTtys(const std::string& sysfsRoot) {
    const fs::path ttyClass = fs::path(sysfsRoot) / "class" / "tty";
    std::error_code ec;
    fs::directory_iterator it(ttyClass, ec);
    if (ec)
        throw std::runtime_error("Can't read the list of serial devices in " + ttyClass.string() +
                                 ": " + ec.message());

    std::error_code rootEc;
    fs::path stopAt = fs::canonical(sysfsRoot, rootEc);
    if (rootEc) stopAt = fs::path(sysfsRoot);

    std::vector<std::string> names;
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec) break;
        if (belongsToTracker(it->path(), stopAt)) names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());  // byte-wise: ttyACM10 before ttyACM2
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

std::string sysfsRoot() {
    const char* root = std::getenv(kSysfsRootVariable);
    return root && *root ? root : "/sys";
}

std::vector<std::string> splitPortList(const char* list) {
    std::vector<std::string> out;
    if (!list) return out;
    std::string current;
    for (const char* p = list;; ++p) {
        if (*p == ',' || *p == '\0') {
            if (!current.empty()) out.push_back(current);
            current.clear();
            if (*p == '\0') break;
        } else {
            current.push_back(*p);
        }
    }
    return out;
}

std::vector<std::string> enumerateTrackerPorts(const std::string& sysfsRoot) {
    std::vector<std::string> ports;
    for (const std::string& name : findTrackerTtys(sysfsRoot)) ports.push_back("/dev/" + name);
    for (std::string& extra : splitPortList(std::getenv(kExtraPortsVariable)))
        ports.push_back(std::move(extra));
    return ports;
}

}  // namespace Quorvane
