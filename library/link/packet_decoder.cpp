#include "packet_decoder.h"

#include <cmath>
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

// Largest plausible magnitude of channel bit 0..9 (mag, acc, gyr,
// temperature) in float mode, and of the orientation elements.
constexpr float kChannelLimit[kSensorChannels] = {1e6f,    1e6f,   1e6f,   1000.0f, 1000.0f,
                                                  1000.0f, 200.0f, 200.0f, 200.0f,  300.0f};
constexpr float kMinTemperature = -200.0f;
constexpr float kOrientationLimit = 1.5f;
constexpr float kTiniest = 1e-20f;

bool withinLimit(float value, float limit) {
    const float magnitude = std::fabs(value);
    // NaN fails every comparison, infinity the limit.
    return magnitude <= limit && (magnitude >= kTiniest || magnitude == 0.0f);
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

uint32_t packetTimestamp(const unsigned char* packet) {
    uint32_t timestamp;
    std::memcpy(&timestamp, packet + 1, sizeof timestamp);
    return timestamp;
}

bool plausibleValues(const unsigned char* packet, const PacketLayout& layout, int32_t channels) {
    if (layout.valueSize != 4) return true;
    const unsigned char* p = packet + 5;
    for (int bit = 0; bit < kSensorChannels; ++bit) {
        if (!(channels & (1 << bit))) continue;
        const float value = readValue(p, 4);
        p += 4;
        if (!withinLimit(value, kChannelLimit[bit])) return false;
        if (bit == 9 && value < kMinTemperature) return false;
    }
    if (layout.orientation) {
        for (int i = 0; i < 3; ++i, p += 4)
            if (!withinLimit(readValue(p, 4), kOrientationLimit)) return false;
    }
    return true;
}

bool timestampFollows(uint32_t previous, uint32_t next) {
    const uint32_t step = next - previous;  // modulo 2^32: the clock wraps
    return step >= 1 && step <= kMaxTimestampStep;
}

}  // namespace Quorvane
