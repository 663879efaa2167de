#include "identification.h"

#include <stdexcept>

#include "quoted_text.h"

namespace sim {

void validateIdentity(const Identity& identity) {
    const std::string& id = identity.id;
    if (id.empty() || id.size() > 7)
        throw std::invalid_argument("identification " + quotedText(id) +
                                    " must have 1 to 7 characters");
    for (unsigned char c : id) {
        if (c <= 0x20 || c >= 0x7F)
            throw std::invalid_argument("identification " + quotedText(id) +
                                        " must be printable ASCII without blanks");
    }
}

std::vector<std::uint8_t> identificationReply(const Identity& identity,
                                              IdentificationFaults faults) {
    std::string text = faults.wrongText ? "Fenlork v" : "Fenlark v";
    text += std::to_string(identity.firmwareMajor) + "." + std::to_string(identity.firmwareMinor) +
            " #" + identity.id;

    std::string bytes = std::string(1, '\0') + "I" + text;
    if (bytes.size() + 2 < kMinIdentificationReply)
        bytes.append(kMinIdentificationReply - 2 - bytes.size(), ' ');
    bytes += "\r\n";
    if (faults.truncated) bytes.resize(kMinIdentificationReply - 1);
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

}  // namespace sim
