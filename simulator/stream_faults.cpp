#include "stream_faults.h"

namespace sim {

void StreamFaults::apply(const Faults& faults, std::uint64_t index,
                         std::vector<std::uint8_t>& packet) {
    if (packet.size() < 7) return;  // no values to spoil: not a data packet
    if (hits(faults.wrongEndEvery, index)) packet.back() = kWrongEnd;
    if (hits(faults.dropByteEvery, index)) {
        // A value byte: frame start and end stay, the packet comes up short.
        const std::size_t at = 5 + below(static_cast<unsigned>(packet.size() - 6));
        packet.erase(packet.begin() + static_cast<std::ptrdiff_t>(at));
    }
    if (hits(faults.garbageEvery, index)) {
        const unsigned count = 1 + below(8);
        for (unsigned i = 0; i < count; ++i) {
            auto byte = static_cast<std::uint8_t>(below(255));
            if (byte >= 'A') ++byte;  // 0..254 mapped onto every value but 'A'
            packet.push_back(byte);
        }
    }
}

}  // namespace sim
