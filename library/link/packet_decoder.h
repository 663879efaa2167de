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

// The timestamp of the packet at `packet` (at least 5 bytes, from the 'A').
uint32_t packetTimestamp(const unsigned char* packet);

// Whether every value of the complete packet at `packet` could be a reading.
// Float values must be finite, within generous bounds of what the sensors
// can measure (acceleration 1000 m/s^2, angular rate 200 rad/s, field 1e6 in
// any unit, temperature -200..300 deg C, orientation elements 1.5), and not
// tinier than 1e-20 unless zero: far below any sensor's resolution. RAW
// values are 16-bit readings, every one of them possible.
bool plausibleValues(const unsigned char* packet, const PacketLayout& layout, int32_t channels);

// Longest step of the device clock between two packets of one stream that
// is taken as continuity: 2 s, longer than the slowest rate's period and
// than the pauses of a busy device.
constexpr uint32_t kMaxTimestampStep = 20000;

// Whether `next` can follow `previous` on the device clock: later by 1 to
// kMaxTimestampStep ticks, also across the clock's wrap at 2^32.
bool timestampFollows(uint32_t previous, uint32_t next);

}  // namespace Quorvane
