#include "text_excerpt.h"

#include <algorithm>

namespace Replay {
namespace {

bool printableAscii(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x20 && byte < 0x7F;
}

}  // namespace

std::string excerpt(std::string_view text, std::size_t maxBytes) {
    static const char kHex[] = "0123456789ABCDEF";
    const std::string_view shown = text.substr(0, maxBytes);
    std::string result = "'";
    for (const char c : shown) {
        const auto byte = static_cast<unsigned char>(c);
        if (printableAscii(c) && c != '\'' && c != '\\') {
            result += c;
        } else {
            result += "\\x";
            result += kHex[byte >> 4];
            result += kHex[byte & 0xF];
        }
    }
    if (shown.size() < text.size())
        result += "...' (" + std::to_string(text.size()) + " bytes)";
    else
        result += '\'';
    return result;
}

std::string printable(std::string_view name) {
    constexpr std::size_t kLongest = 1024;  // beyond any real path
    if (name.size() <= kLongest && std::all_of(name.begin(), name.end(), printableAscii))
        return std::string(name);
    return excerpt(name, kLongest);
}

}  // namespace Replay
