#include "packet_writer.h"

#include <cmath>
#include <cstring>

namespace sim {
namespace {

void putU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void putValue(std::vector<std::uint8_t>& out, bool raw, std::int16_t rawValue, double value) {
    if (raw) {
        const auto u = static_cast<std::uint16_t>(rawValue);
        out.push_back(static_cast<std::uint8_t>(u));
        out.push_back(static_cast<std::uint8_t>(u >> 8));
        return;
    }
    const float f = static_cast<float>(value);
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    putU32(out, bits);
}

std::int16_t orientationCounts(double v) {
    const double c = v * kOrientationCounts;
    return static_cast<std::int16_t>(c >= 32767 ? 32767 : c <= -32768 ? -32768 : std::lround(c));
}

}  // namespace

StreamConfig StreamConfig::from(const ConfigBytes& b) {
    StreamConfig c;
    c.channels = (b[0] | b[1] << 8) & 0x7FFu;
    c.ascii = (b[2] & 0x01) != 0;
    c.raw = (b[2] & 0x08) != 0;
    c.frequency = (b[3] | b[4] << 8) & 0x7FFu;
    c.magDivider = b[5] & 7u;
    return c;
}

std::size_t packetSize(const StreamConfig& config) {
    const std::size_t k = config.raw ? 2 : 4;
    std::size_t values = 0;
    for (int bit = 0; bit < 10; ++bit) values += (config.channels >> bit) & 1u;
    if (config.channels & 0x400u) values += 3;
    return 6 + k * values;
}

void appendPacket(const StreamConfig& config, std::uint32_t timestamp, const RawReading& raw,
                  const CalibratedReading& cal, const Quat& orientation,
                  std::vector<std::uint8_t>& out) {
    out.push_back('A');
    putU32(out, timestamp);
    const Raw3* raws[3] = {&raw.mag, &raw.acc, &raw.gyr};
    const Vec3* values[3] = {&cal.mag, &cal.acc, &cal.gyr};
    for (unsigned bit = 0; bit < 9; ++bit)
        if (config.channels & (1u << bit))
            putValue(out, config.raw, (*raws[bit / 3])[bit % 3], (*values[bit / 3])[bit % 3]);
    if (config.channels & 0x200u) putValue(out, config.raw, raw.temperature, cal.temperature);
    if (config.channels & 0x400u) {
        const Quat q = canonical(orientation);
        for (double v : {q.w, q.x, q.y}) putValue(out, config.raw, orientationCounts(v), v);
    }
    out.push_back('Z');
}

}  // namespace sim
