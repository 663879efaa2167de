// Test helpers for the data stream: a host that (re)starts the stream with a
// given configuration and collects what arrives, and the quaternion algebra
// to check the physics, written independently of the simulator's.
#pragma once

#include <termios.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <vector>

#include "host_terminal.h"
#include "packet_reader.h"
#include "tracker_sim.h"

namespace simtest {

// Configuration bytes: channel mask, flags (RAW or not), frequency, divider.
inline sim::ConfigBytes streamConfig(unsigned channels, bool raw, unsigned frequency,
                                     unsigned magDivider = 3) {
    return {static_cast<std::uint8_t>(channels),
            static_cast<std::uint8_t>(channels >> 8),
            static_cast<std::uint8_t>(0x04 | (raw ? 0x08 : 0)),
            static_cast<std::uint8_t>(frequency),
            static_cast<std::uint8_t>(frequency >> 8),
            static_cast<std::uint8_t>(magDivider)};
}

// Stops the stream, lets the line drain, discards what arrived, configures
// and starts again: what follows is the new stream from its first byte.
inline bool restartStream(sim::TrackerSim& tracker, HostTerminal& host,
                          const sim::ConfigBytes& config) {
    if (!host.send({' '})) return false;
    if (!eventually([&] { return !tracker.streaming() && tracker.lineIdle(); })) return false;
    tracker.setConfigBytes(config);
    ::tcflush(host.fd(), TCIFLUSH);
    return host.send({'0'});
}

// Everything that arrives within the duration.
inline Bytes receiveFor(HostTerminal& host, std::chrono::milliseconds duration) {
    Bytes got;
    const auto end = std::chrono::steady_clock::now() + duration;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0) return got;
        pollfd pfd{host.fd(), POLLIN, 0};
        if (::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) continue;
        std::uint8_t buffer[4096];
        const ssize_t n = ::read(host.fd(), buffer, sizeof buffer);
        if (n <= 0) return got;
        got.insert(got.end(), buffer, buffer + n);
    }
}

// Reads until count packets of the layout decoded (or a generous deadline).
inline std::vector<Packet> receivePackets(HostTerminal& host, const Layout& layout,
                                          std::size_t count) {
    Bytes got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        const Bytes more = host.receive(layout.size() * count, std::chrono::milliseconds(200));
        got.insert(got.end(), more.begin(), more.end());
        auto packets = decodeStream(got, layout);
        if (packets.size() >= count) {
            packets.resize(count);
            return packets;
        }
    }
    return decodeStream(got, layout);
}

struct Q {
    double w, x, y, z;
};
using V = std::array<double, 3>;

inline Q mul(const Q& a, const Q& b) {
    return {a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z,
            a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
            a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
            a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w};
}
inline Q fromSim(const sim::Quat& q) {
    return {q.w, q.x, q.y, q.z};
}

// v_S = q (x) v_W (x) q*
inline V rotate(const Q& q, const V& v) {
    const Q r = mul(mul(q, Q{0, v[0], v[1], v[2]}), Q{q.w, -q.x, -q.y, -q.z});
    return {r.x, r.y, r.z};
}

// Angle of the rotation between two orientations, sign-blind.
inline double angleBetween(const Q& a, const Q& b) {
    const double d = std::abs(a.w * b.w + a.x * b.x + a.y * b.y + a.z * b.z);
    return 2 * std::acos(std::min(1.0, d));
}

// exp(-T w / 2): the step a host applies for a gyroscope reading w over T.
inline Q gyroStep(const V& w, double T) {
    const double n = std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
    if (n == 0) return {1, 0, 0, 0};
    const double s = -std::sin(n * T / 2) / n;
    return {std::cos(n * T / 2), s * w[0], s * w[1], s * w[2]};
}

}  // namespace simtest
