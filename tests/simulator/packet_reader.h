// A host's view of the data stream, written from the documented layout
// alone: 'A', uint32 timestamp, one value per set channel bit 0..9, three
// orientation values with bit 10, 'Z'; int16 values in RAW mode, floats
// otherwise, all little-endian.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "wire.h"

namespace simtest {

struct Layout {
    unsigned channels;
    bool raw;

    std::size_t valueCount() const {
        std::size_t n = 0;
        for (int bit = 0; bit < 10; ++bit) n += (channels >> bit) & 1u;
        return n + ((channels & 0x400u) ? 3 : 0);
    }
    std::size_t size() const { return 6 + (raw ? 2 : 4) * valueCount(); }
};

struct Packet {
    std::uint32_t timestamp;
    std::vector<double> values;  // in wire order
};

struct ReadStats {
    std::size_t skippedBytes = 0;  // bytes before an 'A'
    std::size_t badFrames = 0;     // an 'A' whose frame did not end in 'Z'
};

// Decodes whole packets; a trailing partial packet is left out.
inline std::vector<Packet> decodeStream(const Bytes& bytes, const Layout& layout,
                                        ReadStats* stats = nullptr) {
    ReadStats local;
    ReadStats& s = stats ? *stats : local;
    std::vector<Packet> packets;
    const std::size_t n = layout.size();
    std::size_t i = 0;
    while (i < bytes.size()) {
        if (bytes[i] != 'A') {
            ++s.skippedBytes;
            ++i;
            continue;
        }
        if (i + n > bytes.size()) break;
        if (bytes[i + n - 1] != 'Z') {
            ++s.badFrames;
            ++i;
            continue;
        }
        Packet p;
        p.timestamp = bytes[i + 1] | bytes[i + 2] << 8 | bytes[i + 3] << 16 |
                      static_cast<std::uint32_t>(bytes[i + 4]) << 24;
        for (std::size_t v = 0; v < layout.valueCount(); ++v) {
            const std::uint8_t* at = bytes.data() + i + 5 + (layout.raw ? 2 : 4) * v;
            if (layout.raw) {
                p.values.push_back(static_cast<std::int16_t>(at[0] | at[1] << 8));
            } else {
                const std::uint32_t bits =
                    at[0] | at[1] << 8 | at[2] << 16 | static_cast<std::uint32_t>(at[3]) << 24;
                float f;
                std::memcpy(&f, &bits, sizeof f);
                p.values.push_back(f);
            }
        }
        packets.push_back(p);
        i += n;
    }
    return packets;
}

}  // namespace simtest
