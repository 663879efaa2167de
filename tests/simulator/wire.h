// Frames as a host puts them on the wire, built here independently of the
// simulator's parser.
#pragma once

#include <cstdint>
#include <vector>

namespace simtest {

using Bytes = std::vector<std::uint8_t>;

inline std::uint8_t sum8(const Bytes& bytes, std::size_t from = 0, std::size_t to = SIZE_MAX) {
    unsigned sum = 0;
    for (std::size_t i = from; i < bytes.size() && i < to; ++i) sum += bytes[i];
    return static_cast<std::uint8_t>(sum);
}

inline Bytes readFrame(std::uint8_t bank, std::uint8_t address, std::uint8_t length) {
    return {0x1B, 'R', address, 0x00, bank, length};
}

// W, S or C: header, payload, checksum of the payload.
inline Bytes modifyFrame(std::uint8_t letter, std::uint8_t bank, std::uint8_t address,
                         const Bytes& payload) {
    Bytes frame;
    frame.reserve(payload.size() + 7);
    for (std::uint8_t b : {std::uint8_t{0x1B}, letter, address, std::uint8_t{0x00}, bank,
                           static_cast<std::uint8_t>(payload.size())})
        frame.push_back(b);
    for (std::uint8_t b : payload) frame.push_back(b);
    frame.push_back(sum8(payload));
    return frame;
}

inline const Bytes kIdentify = {0x1B, 'I'};

}  // namespace simtest
