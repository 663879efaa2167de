// The data stream as a host receives it: layout, clock, physics, RAW readings
// against the calibration record, and pacing on the serial line.
#include <gtest/gtest.h>

#include <cstring>

#include "stream_host.h"

namespace {

using namespace simtest;
using std::chrono::milliseconds;

const Q kTilted = {0.8, 0.3, -0.4, 0.33};  // normalised by the simulator

sim::Quat simQuat(const Q& q) {
    return {q.w, q.x, q.y, q.z};
}

Q unit(const Q& q) {
    const double n = std::sqrt(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z);
    return {q.w / n, q.x / n, q.y / n, q.z / n};
}

sim::Options stillAt(const Q& q) {
    sim::Options o;
    o.motion.kind = sim::Motion::Kind::Still;
    o.motion.initial = simQuat(q);
    return o;
}

V add(const V& a, const V& b) {
    return {a[0] + b[0], a[1] + b[1], a[2] + b[2]};
}
V mulM(const sim::Mat3& m, const V& v) {
    V r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) r[i] += m[i][j] * v[j];
    return r;
}

// Per-value means over the packets.
std::vector<double> means(const std::vector<Packet>& packets) {
    std::vector<double> m(packets.at(0).values.size(), 0.0);
    for (const Packet& p : packets)
        for (std::size_t i = 0; i < m.size(); ++i) m[i] += p.values[i] / packets.size();
    return m;
}

void expectNear(const V& actual, const V& expected, double tolerance, const char* what) {
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(actual[i], expected[i], tolerance) << what << " axis " << i;
}

// What the environment makes the magnetometer see at orientation q.
V expectedField(const sim::Environment& env, const Q& q) {
    return add(mulM(env.softIron, rotate(q, {env.field[0], env.field[1], env.field[2]})),
               {env.hardIron[0], env.hardIron[1], env.hardIron[2]});
}

TEST(Stream, PacketLayoutAndClockFollowTheConfiguration) {
    struct Case {
        unsigned channels;
        bool raw;
        unsigned frequency;
        std::size_t size;
    };
    const Case cases[] = {
        {0x007, false, 100, 18}, {0x3FF, true, 100, 26}, {0x7FF, false, 100, 58},
        {0x3FF, false, 200, 46}, {0x7FF, true, 50, 32},
    };
    sim::TrackerSim tracker(stillAt(kTilted));
    HostTerminal host(tracker.devicePath());
    ASSERT_TRUE(host.raw());
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "channels " << c.channels << " raw " << c.raw);
        const Layout layout{c.channels, c.raw};
        ASSERT_EQ(layout.size(), c.size);
        ASSERT_TRUE(restartStream(tracker, host, streamConfig(c.channels, c.raw, c.frequency)));
        const Bytes bytes = host.receive(c.size * 20);
        ReadStats stats;
        const auto packets = decodeStream(bytes, layout, &stats);
        ASSERT_EQ(packets.size(), 20u);
        EXPECT_EQ(stats.skippedBytes, 0u);
        EXPECT_EQ(stats.badFrames, 0u);
        for (std::size_t i = 1; i < packets.size(); ++i)
            EXPECT_EQ(packets[i].timestamp - packets[i - 1].timestamp, 10000 / c.frequency);
        if (c.channels & 0x400) {
            // w, x, y of the true orientation, w >= 0.
            const double scale = c.raw ? 16384 : 1;
            for (const Packet& p : packets) {
                const auto truth = tracker.truthAt(p.timestamp);
                ASSERT_TRUE(truth);
                const std::size_t at = p.values.size() - 3;
                EXPECT_GE(truth->w, 0);
                EXPECT_NEAR(p.values[at] / scale, truth->w, c.raw ? 1e-4 : 1e-6);
                EXPECT_NEAR(p.values[at + 1] / scale, truth->x, c.raw ? 1e-4 : 1e-6);
                EXPECT_NEAR(p.values[at + 2] / scale, truth->y, c.raw ? 1e-4 : 1e-6);
            }
        }
    }
}

TEST(Stream, TimestampsWrapFromTheClockStart) {
    sim::Options options;
    options.clockStart = 4294967295u - 3000;  // wraps 0.3 s after power-up
    sim::TrackerSim tracker(options);
    HostTerminal host(tracker.devicePath());
    ASSERT_TRUE(host.raw());
    // The factory configuration streams from power-up: 0x3FF floats at 100 Hz.
    const auto packets = receivePackets(host, {0x3FF, false}, 80);
    ASSERT_EQ(packets.size(), 80u);
    EXPECT_EQ((packets[0].timestamp - options.clockStart) % 100, 0u) << "samples on the clock grid";
    int wraps = 0;
    for (std::size_t i = 1; i < packets.size(); ++i) {
        EXPECT_EQ(static_cast<std::uint32_t>(packets[i].timestamp - packets[i - 1].timestamp),
                  100u);
        wraps += packets[i].timestamp < packets[i - 1].timestamp;
        EXPECT_TRUE(tracker.truthAt(packets[i].timestamp)) << "truth across the wrap";
    }
    EXPECT_EQ(wraps, 1);
}

// Still or steadily pushed, the float values are the physics of the true
// orientation: specific force, bias, distorted field.
TEST(Stream, FloatValuesFollowTheTruePhysics) {
    const V pushes[] = {{0, 0, 0}, {1.5, -0.5, 0.8}};
    for (const V& push : pushes) {
        sim::Options options;
        options.motion.kind = sim::Motion::Kind::Scripted;
        options.motion.script = {{100, {0, 0, 0}, {push[0], push[1], push[2]}}};
        options.motion.initial = simQuat(kTilted);
        options.environment.gyroBias = {0.01, -0.02, 0.005};
        sim::TrackerSim tracker(options);
        HostTerminal host(tracker.devicePath());
        ASSERT_TRUE(host.raw());
        ASSERT_TRUE(restartStream(tracker, host, streamConfig(0x3FF, false, 100)));
        const auto packets = receivePackets(host, {0x3FF, false}, 100);
        ASSERT_EQ(packets.size(), 100u);

        const Q q = unit(kTilted);
        for (const Packet& p : packets) {
            const auto truth = tracker.truthAt(p.timestamp);
            ASSERT_TRUE(truth);
            // Rounding only: acos resolves no finer than about 3e-8 rad next to 1.
            EXPECT_LT(angleBetween(fromSim(*truth), q), 1e-6);
        }
        const auto m = means(packets);
        expectNear({m[3], m[4], m[5]}, rotate(q, add(push, {0, 0, 9.81})), 0.02, "accelerometer");
        expectNear({m[6], m[7], m[8]}, {0.01, -0.02, 0.005}, 0.002, "gyroscope");
        expectNear({m[0], m[1], m[2]}, expectedField(options.environment, q), 0.3, "magnetometer");
        EXPECT_GT(m[9], 20);
        EXPECT_LT(m[9], 30);
    }
}

CalibrationData recordOf(const sim::TrackerSim& tracker) {
    CalibrationData record;
    const auto bank0 = tracker.bankCopy(0);
    std::memcpy(&record, bank0.data() + 6, sizeof record);
    return record;
}

sim::Mat3 mat(const float* m) {
    return {{{m[0], m[1], m[2]}, {m[3], m[4], m[5]}, {m[6], m[7], m[8]}}};
}
V vec(const float* v) {
    return {v[0], v[1], v[2]};
}
V sub(const V& a, const V& b) {
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}
V scaled(const V& k, const V& v) {
    return {k[0] * v[0], k[1] * v[1], k[2] * v[2]};
}

// RAW readings taken back to physical values with the device's own record:
// a = diag(Ak) AR (raw - Ab), w = GR diag(Gk) (raw - Gb - GK a),
// H = MR diag(Mk) ((4096 / divider) raw - Mb).
TEST(Stream, RawReadingsMatchTheFactoryRecord) {
    sim::Options options = stillAt(kTilted);
    options.environment.gyroBias = {0.01, -0.02, 0.005};
    sim::TrackerSim tracker(options);
    HostTerminal host(tracker.devicePath());
    ASSERT_TRUE(host.raw());
    const CalibrationData c = recordOf(tracker);
    const Q q = unit(kTilted);
    double magnitude[8] = {};
    for (unsigned divider : {3u, 7u}) {
        SCOPED_TRACE(divider);
        ASSERT_TRUE(restartStream(tracker, host, streamConfig(0x7FF, true, 100, divider)));
        const auto packets = receivePackets(host, {0x7FF, true}, 100);
        ASSERT_EQ(packets.size(), 100u);
        const auto m = means(packets);
        const V rawMag{m[0], m[1], m[2]}, rawAcc{m[3], m[4], m[5]}, rawGyr{m[6], m[7], m[8]};

        const V a = scaled(vec(c.Ak), mulM(mat(c.AR), sub(rawAcc, vec(c.Ab))));
        const V w =
            mulM(mat(c.GR), scaled(vec(c.Gk), sub(sub(rawGyr, vec(c.Gb)), mulM(mat(c.GK), a))));
        const double gain = 4096.0 / (1 << (divider + 5));
        const V h = mulM(
            mat(c.MR), scaled(vec(c.Mk), sub({gain * rawMag[0], gain * rawMag[1], gain * rawMag[2]},
                                             vec(c.Mb))));
        expectNear(a, rotate(q, {0, 0, 9.81}), 0.02, "accelerometer");
        expectNear(w, {0.01, -0.02, 0.005}, 0.002, "gyroscope");
        expectNear(h, expectedField(options.environment, q), 0.3, "magnetometer");

        // Realistic scales: 16384 counts per g; temperature in 0.01 deg C.
        EXPECT_NEAR(
            std::sqrt(rawAcc[0] * rawAcc[0] + rawAcc[1] * rawAcc[1] + rawAcc[2] * rawAcc[2]), 16384,
            16384 * 0.03);
        EXPECT_GT(m[9], 2000);
        EXPECT_LT(m[9], 3000);
        magnitude[divider] =
            std::sqrt(rawMag[0] * rawMag[0] + rawMag[1] * rawMag[1] + rawMag[2] * rawMag[2]);
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(m[10 + i] / 16384, (i == 0 ? q.w : i == 1 ? q.x : q.y), 1e-3);
    }
    // Raw counts grow with the divider: 16 times from setting 3 to 7.
    EXPECT_NEAR(magnitude[7] / magnitude[3], 16, 0.5);
}

// Float mode applies whatever record the device holds; the matrices Ka, Kg,
// Km are stored, not applied.
TEST(Stream, FloatModeAppliesTheStoredRecordButNotTheDeviceMatrices) {
    sim::Options options = stillAt(kTilted);
    sim::TrackerSim tracker(options);
    HostTerminal host(tracker.devicePath());
    ASSERT_TRUE(host.raw());

    // A record that also removes the soft and hard iron:
    // MR' = S^-1 MR diag(Mk), Mk' = 1, Mb' = Mb + (MR diag(Mk))^-1 h.
    CalibrationData c = recordOf(tracker);
    const sim::Mat3 S = options.environment.softIron;
    sim::Mat3 M = mat(c.MR);
    for (auto& row : M)
        for (int j = 0; j < 3; ++j) row[j] *= c.Mk[j];
    const sim::Mat3 Sinv = sim::inverse(S), Minv = sim::inverse(M);
    using sim::operator*;
    const sim::Mat3 MR = Sinv * M;
    const V shift = mulM(Minv, {options.environment.hardIron[0], options.environment.hardIron[1],
                                options.environment.hardIron[2]});
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) c.MR[3 * i + j] = static_cast<float>(MR[i][j]);
        c.Mk[i] = 1;
        c.Mb[i] = static_cast<float>(c.Mb[i] + shift[i]);
    }
    std::vector<std::uint8_t> bytes(sizeof c);
    std::memcpy(bytes.data(), &c, sizeof c);
    tracker.writeBank(0, 6, bytes);
    // Ka = 0.68 I with its flag on must not scale the accelerometer.
    const float ka[9] = {0.68f, 0, 0, 0, 0.68f, 0, 0, 0, 0.68f};
    std::vector<std::uint8_t> kaBytes(36);
    std::memcpy(kaBytes.data(), ka, 36);
    tracker.writeBank(1, 1, kaBytes);
    tracker.writeBank(1, 0, {0x07});

    ASSERT_TRUE(restartStream(tracker, host, streamConfig(0x1FF, false, 100)));
    const auto packets = receivePackets(host, {0x1FF, false}, 100);
    ASSERT_EQ(packets.size(), 100u);
    const auto m = means(packets);
    const Q q = unit(kTilted);
    const auto& B = options.environment.field;
    expectNear({m[0], m[1], m[2]}, rotate(q, {B[0], B[1], B[2]}), 0.3, "clean magnetometer");
    expectNear({m[3], m[4], m[5]}, rotate(q, {0, 0, 9.81}), 0.02, "accelerometer");
}

// A host integrating the gyroscope with q_{k+1} = exp(-T w / 2) (x) q_k from
// the first true orientation stays on the truth.
TEST(Stream, IntegratedGyroscopeFollowsTheTruth) {
    sim::Options options;
    options.motion.kind = sim::Motion::Kind::Scripted;
    options.motion.script = sim::parseMotionScript(
        "0.5  0 0 0\n"
        "1.0  90 0 0\n"
        "0.5  0 -200 0\n"
        "1.0  0 0 45\n"
        "1.0  30 -60 90   2 0 0\n");
    options.environment.gyroBias = {0, 0, 0};
    sim::TrackerSim tracker(options);
    HostTerminal host(tracker.devicePath());
    ASSERT_TRUE(host.raw());
    ASSERT_TRUE(restartStream(tracker, host, streamConfig(0x1C0, false, 100)));
    const auto packets = receivePackets(host, {0x1C0, false}, 450);
    ASSERT_EQ(packets.size(), 450u);

    const auto first = tracker.truthAt(packets[0].timestamp);
    ASSERT_TRUE(first);
    Q q = fromSim(*first);
    double worst = 0, travelled = 0;
    for (std::size_t i = 1; i < packets.size(); ++i) {
        const std::uint32_t dt = packets[i].timestamp - packets[i - 1].timestamp;
        ASSERT_EQ(dt, 100u);
        const auto& v = packets[i].values;
        q = mul(gyroStep({v[0], v[1], v[2]}, dt * 1e-4), q);
        const auto truth = tracker.truthAt(packets[i].timestamp);
        ASSERT_TRUE(truth);
        worst = std::max(worst, angleBetween(q, fromSim(*truth)));
        travelled = std::max(travelled, angleBetween(fromSim(*first), fromSim(*truth)));
    }
    EXPECT_LT(worst, 0.01);
    EXPECT_GT(travelled, 1.0) << "the script must have turned the tracker";
}

TEST(Stream, RateAboveTheLineCapacitySkipsSamples) {
    sim::TrackerSim tracker(stillAt(kTilted));
    HostTerminal host(tracker.devicePath());
    ASSERT_TRUE(host.raw());
    ASSERT_TRUE(restartStream(tracker, host, streamConfig(0x7FF, false, 1000)));
    const auto skippedBefore = tracker.skippedSamples();
    const Bytes bytes = receiveFor(host, milliseconds(3000));
    ReadStats stats;
    const auto packets = decodeStream(bytes, {0x7FF, false}, &stats);
    EXPECT_EQ(stats.badFrames, 0u);
    EXPECT_EQ(stats.skippedBytes, 0u);
    // 58-byte packets: the line carries at most 10472.7 / 58 = 180 a second.
    EXPECT_LE(bytes.size(), 3 * 10473u + 64);
    EXPECT_GE(packets.size(), 300u);
    EXPECT_LE(packets.size(), 3 * 181u);
    EXPECT_GT(tracker.skippedSamples(), skippedBefore);
    // Timestamps keep the measuring times: on the 1 ms grid, with gaps.
    std::size_t gaps = 0;
    for (std::size_t i = 1; i < packets.size(); ++i) {
        const std::uint32_t dt = packets[i].timestamp - packets[i - 1].timestamp;
        EXPECT_EQ(dt % 10, 0u);
        gaps += dt > 10;
    }
    EXPECT_GT(gaps, packets.size() / 2);

    // Replies take their wire time too: 224 bytes need 21 ms.
    ASSERT_TRUE(host.send({' '}));
    ASSERT_TRUE(eventually([&] { return !tracker.streaming() && tracker.lineIdle(); }));
    ::tcflush(host.fd(), TCIFLUSH);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(host.send(readFrame(0, 0, 222)));
    EXPECT_EQ(host.receive(224).size(), 224u);
    EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(20));
}

}  // namespace
