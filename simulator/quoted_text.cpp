#include "quoted_text.h"

namespace sim {

std::string quotedText(const std::string& text, std::size_t maxBytes) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string result = "'";
    for (std::size_t i = 0; i < text.size() && i < maxBytes; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x20 && byte < 0x7F && byte != '\'' && byte != '\\') {
            result += text[i];
        } else {
            result += "\\x";
            result += kHex[byte >> 4];
            result += kHex[byte & 0xF];
        }
    }
    if (text.size() > maxBytes)
        result += "...' (" + std::to_string(text.size()) + " bytes)";
    else
        result += '\'';
    return result;
}

}  // namespace sim
