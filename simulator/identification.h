// The tracker's answer to ESC 'I'.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct Identity {
    std::string id = "QV00001";  // 1..7 printable characters without blanks
    std::uint16_t firmwareMajor = 1;
    std::uint16_t firmwareMinor = 4;
};

// Throws std::invalid_argument with a message naming the problem.
void validateIdentity(const Identity& identity);

// How the reply is spoiled for fault injection.
struct IdentificationFaults {
    bool wrongText = false;  // "Fenlork" instead of "Fenlark"
    bool truncated = false;  // cut to 24 bytes
};

constexpr std::size_t kMinIdentificationReply = 25;

// Two leading bytes 0x00 0x49, "Fenlark v<major>.<minor> #<id>", blanks up
// to 23 bytes, then "\r\n". The host overwrites the last byte with a
// terminator, so the id must be followed by a byte that does not belong to it.
std::vector<std::uint8_t> identificationReply(const Identity& identity,
                                              IdentificationFaults faults = {});

}  // namespace sim
