// Byte-level decoding of the tracker's binary data packets, free of any port
// so that it can be tested and fuzzed on plain buffers.
//
// Packet: 'A', uint32 timestamp (100 us units), one value per channel bit
// 0..9 set in the mask (in bit order), three orientation values when bit 10
// is set, 'Z'. Values are little-endian float32, or int16 in RAW mode.
#pragma once

#include <cstddef>
#include <cstdint>

#include "quorvane.h"

namespace Quorvane {

constexpr unsigned char kPacketStart = 'A';
constexpr unsigned char kPacketEnd = 'Z';

struct PacketLayout {
    int valueSize;     // k: 2 in RAW mode, else 4
    int sensorCount;   // set bits among channel bits 0..9
    bool orientation;  // channel bit 10: three orientation values follow
    int length;        // N = 6 + k * sensorCount + (orientation ? 3k : 0)
};

PacketLayout packetLayout(const SensorConfig& config);

// Position of the first packet start byte in data[0..size-1], or -1.
int findPacketStart(const unsigned char* data, int size);

// Stores one complete packet (`packet` holds layout.length bytes, starting at
// 'A') into `sample`: the timestamp, the fields of the set channels and, with
// bit 10, quat[0..2]. Every other field keeps its value. The frame bytes are
// the caller's to check.
void decodePacket(const unsigned char* packet, const PacketLayout& layout, int32_t channels,
                  SensorSample* sample);

}  // namespace Quorvane
