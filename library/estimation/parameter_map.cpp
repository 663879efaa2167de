#include "parameter_map.h"

#include <sstream>

#include "utils_exception.h"

namespace Filtering {

ParameterMap parseParameterMap(const std::string& text) {
    ParameterMap map;
    if (text.empty()) return map;
    size_t start = 0;
    while (true) {
        const size_t amp = text.find('&', start);
        const bool last = amp == std::string::npos;
        const std::string pair = text.substr(start, last ? std::string::npos : amp - start);
        const size_t eq = pair.find('=');
        if (eq == std::string::npos || eq == 0) break;
        std::string value = pair.substr(eq + 1);
        if (!(value.empty() && !last)) map[pair.substr(0, eq)] = std::move(value);
        if (last) break;
        start = amp + 1;
    }
    return map;
}

void putInt(ParameterMap& map, const std::string& key, int value) {
    map[key] = std::to_string(value);
}

void putDouble(ParameterMap& map, const std::string& key, double value) {
    std::ostringstream s;
    s.precision(20);
    s << value;
    map[key] = s.str();
}

namespace {

template <class T>
bool readValue(const ParameterMap& map, const std::string& key, T& value) {
    const auto it = map.find(key);
    if (it == map.end()) return false;
    std::istringstream s(it->second);
    T parsed{};
    // A failed conversion must not silently become 0 (an index or a weight).
    if (!(s >> parsed)) throw Utils::Exception("ParameterMap: cannot read " + key);
    value = parsed;
    return true;
}

}  // namespace

bool getInt(const ParameterMap& map, const std::string& key, int& value) {
    return readValue(map, key, value);
}

bool getDouble(const ParameterMap& map, const std::string& key, double& value) {
    return readValue(map, key, value);
}

}  // namespace Filtering
