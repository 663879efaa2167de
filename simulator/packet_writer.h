// The binary data packet, as the device puts it on the wire:
//   'A', timestamp (uint32 LE, 100 us), one value per set channel bit 0..9
//   in bit order, three orientation values when bit 10 is set, 'Z'.
// Values are int16 LE in RAW mode, float32 LE otherwise. The orientation
// values are w, x, y of the true Q_SW, sign chosen so that w >= 0 (RAW:
// 16384 counts per unit).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "chip_model.h"
#include "param_memory.h"

namespace sim {

// The stream-relevant fields of the configuration bytes.
struct StreamConfig {
    unsigned channels = 0;    // bits 0..10
    bool ascii = false;       // ASCII output requested (not simulated: no packets)
    bool raw = false;         // 16-bit readings instead of calibrated floats
    unsigned frequency = 0;   // Hz, 0..2047
    unsigned magDivider = 0;  // setting 0..7

    static StreamConfig from(const ConfigBytes& bytes);
};

std::size_t packetSize(const StreamConfig& config);

void appendPacket(const StreamConfig& config, std::uint32_t timestamp, const RawReading& raw,
                  const CalibratedReading& calibrated, const Quat& orientation,
                  std::vector<std::uint8_t>& out);

}  // namespace sim
