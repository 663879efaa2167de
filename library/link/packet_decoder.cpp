#include "packet_decoder.h"

#include <cstring>

namespace Quorvane {
namespace {

constexpr int kSensorChannels = 10;
constexpr int32_t kOrientationBit = 1 << 10;

// The wire is little-endian; so is every host this library is built for.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "packet values are read in host order");

float readValue(const unsigned char* p, int valueSize) {
    if (valueSize == 2) {
        int16_t raw;
        std::memcpy(&raw, p, sizeof raw);
        return static_cast<float>(raw);  // RAW: plain conversion, no scaling
    }
    float value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

}  // namespace

PacketLayout packetLayout(const SensorConfig& config) {
    PacketLayout layout{};
    layout.valueSize = config.raw ? 2 : 4;
    for (int bit = 0; bit < kSensorChannels; ++bit)
        if (config.channels & (1 << bit)) ++layout.sensorCount;
    layout.orientation = (config.channels & kOrientationBit) != 0;
    layout.length = 6 + layout.valueSize * (layout.sensorCount + (layout.orientation ? 3 : 0));
    return layout;
}

int findPacketStart(const unsigned char* data, int size) {
    if (size <= 0) return -1;
    const void* hit = std::memchr(data, kPacketStart, static_cast<size_t>(size));
    return hit ? static_cast<int>(static_cast<const unsigned char*>(hit) - data) : -1;
}

void decodePacket(const unsigned char* packet, const PacketLayout& layout, int32_t channels,
                  SensorSample* sample) {
    std::memcpy(&sample->timestamp, packet + 1, sizeof sample->timestamp);
    // Channel bit i fills the float at byte offset 4 + 4 i of the record:
    // mag x, y, z, acc x, y, z, gyr x, y, z, temperature.
    unsigned char* record = reinterpret_cast<unsigned char*>(sample);
    const unsigned char* p = packet + 5;
    for (int bit = 0; bit < kSensorChannels; ++bit) {
        if (!(channels & (1 << bit))) continue;
        const float value = readValue(p, layout.valueSize);
        std::memcpy(record + offsetof(SensorSample, mag) + 4 * bit, &value, sizeof value);
        p += layout.valueSize;
    }
    if (layout.orientation) {
        for (int i = 0; i < 3; ++i, p += layout.valueSize)
            sample->quat[i] = readValue(p, layout.valueSize);
    }
}

}  // namespace Quorvane
