// The command protocol against a scripted tracker: the fake port hands every
// frame to a small device model with a parameter memory, which answers the
// way the tracker does. The protocol's pauses are real (about 130 ms per
// command, 350 ms per connection).
#include "fenlark_imu.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "error_of.h"
#include "fake_io.h"

using Quorvane::FenlarkIMU;
using Quorvane::testing::Bytes;
using Quorvane::testing::errorOf;
using Quorvane::testing::FakeIO;

namespace {

constexpr unsigned char kEsc = 0x1B;
const std::string kNoId = "FenlarkIMU:  No device found, no ID received";
const std::string kBadId = "FenlarkIMU:  No device found, incorrect ID";
const std::string kReadFailed = "FenlarkIMU: Read command failed";
const std::string kWriteFailed = "FenlarkIMU: Write command failed";
// Set-bits on configuration byte 2, sent twice while connecting.
const char kSetBit2[] = "1B 53 02 00 00 01 04 04";

// "1B 53 ..." -> bytes.
Bytes hexBytes(const std::string& text) {
    Bytes out;
    for (size_t i = 0; i < text.size(); i += 3) {
        out.push_back(static_cast<unsigned char>(std::stoul(text.substr(i, 2), nullptr, 16)));
    }
    return out;
}

std::string hex(const Bytes& bytes) {
    std::string out;
    char cell[4];
    for (unsigned char b : bytes) {
        std::snprintf(cell, sizeof cell, out.empty() ? "%02X" : " %02X", b);
        out += cell;
    }
    return out;
}

Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes rawBytes(const void* p, size_t n) {
    const auto* b = static_cast<const unsigned char*>(p);
    return Bytes(b, b + n);
}

unsigned char sum8(const Bytes& b) {
    unsigned s = 0;
    for (unsigned char x : b) s += x;
    return static_cast<unsigned char>(s);
}

// Identification reply: two leading bytes, the text, a line end.
Bytes idReply(const std::string& idText) {
    return concat({{0x00, 'I'}, text(idText), text("\r\n")});
}

// The tracker as seen from the wire: single-byte stream commands, identify,
// and read / write / set-bits / clear-bits on a two-bank parameter memory.
struct Tracker {
    std::array<std::array<unsigned char, 256>, 2> memory{};
    Bytes identity = idReply("Fenlark v2.7 #A1B2C3D");
    std::deque<int> writeStatus;     // status of the next write-type commands (-1: silent)
    std::optional<Bytes> nextReply;  // replaces the answer to the next frame
    bool streaming = false;
    int saves = 0;

    void attach(FakeIO& io) {
        io.responder = [this, &io](const Bytes& frame) { io.feed(answer(frame)); };
    }

    Bytes answer(const Bytes& f) {
        if (f.size() == 1) {
            if (f[0] == ' ') streaming = false;
            if (f[0] == '0') streaming = true;
            if (f[0] == '9') ++saves;
            return {};
        }
        if (streaming) return text("A\x01\x02\x03\x04\x05\x06Z");  // commands are not heard
        if (nextReply) {
            Bytes r = *nextReply;
            nextReply.reset();
            return r;
        }
        if (f.size() == 2 && f[0] == kEsc && f[1] == 'I') return identity;
        if (f.size() < 6 || f[0] != kEsc || f[3] != 0 || f[4] > 1 || f[2] + f[5] > 256) {
            return {0x7F};
        }
        auto& mem = memory[f[4]];
        const int address = f[2];
        const int length = f[5];
        if (f[1] == 'R') {
            if (f.size() != 6) return {0x7F};
            Bytes r{0x00};
            r.insert(r.end(), mem.begin() + address, mem.begin() + address + length);
            r.push_back(sum8(Bytes(r.begin() + 1, r.end())));
            return r;
        }
        const Bytes data(f.begin() + 6, f.begin() + std::min<size_t>(f.size(), 6 + length));
        if (f.size() != 7u + length || sum8(data) != f.back()) return {0x7E};
        int status = 0;
        if (!writeStatus.empty()) {
            status = writeStatus.front();
            writeStatus.pop_front();
        }
        if (status < 0) return {};
        if (status > 0) return {static_cast<unsigned char>(status)};
        for (int i = 0; i < length; ++i) {
            unsigned char& cell = mem[address + i];
            if (f[1] == 'W')
                cell = data[i];
            else if (f[1] == 'S')
                cell |= data[i];
            else if (f[1] == 'C')
                cell &= static_cast<unsigned char>(~data[i]);
            else
                return {0x7F};
        }
        return {0x00};
    }
};

// A port whose write and close can be made to raise, like an unopened port.
struct FaultyIO : FakeIO {
    bool fail = false;
    int closeAttempts = 0;
    bool write(const unsigned char* bytes, int length) override {
        if (fail) throw std::runtime_error("No Fenlarker open");
        return FakeIO::write(bytes, length);
    }
    bool close() override {
        ++closeAttempts;
        if (fail) throw std::runtime_error("No Fenlarker open");
        return FakeIO::close();
    }
};

class FenlarkImuTest : public ::testing::Test {
  protected:
    void SetUp() override {
        io.open("/dev/ttyACM0", 115200);
        tracker.attach(io);
    }
    // Identifies the tracker; the recorded writes start empty afterwards.
    std::unique_ptr<FenlarkIMU> connect() {
        auto imu = std::make_unique<FenlarkIMU>(&io);
        io.writes.clear();
        return imu;
    }
    std::vector<std::string> writesHex() const {
        std::vector<std::string> out;
        for (const Bytes& w : io.writes) out.push_back(hex(w));
        return out;
    }

    FaultyIO io;
    Tracker tracker;
};

// --- configuration encoding (no device) ---

SensorConfig makeConfig(int32_t channels, int magDivider, int frequency, int ascii, int autoStart,
                        int raw) {
    SensorConfig c{};
    c.channels = channels;
    c.magDivider = static_cast<uint8_t>(magDivider);
    c.frequency = static_cast<uint16_t>(frequency);
    c.ascii = ascii & 1;
    c.autoStart = autoStart & 1;
    c.raw = raw & 1;
    return c;
}

TEST(FenlarkConfigEncoding, MasksFieldsAndAlwaysSetsBit2) {
    const struct {
        const char* name;
        SensorConfig config;
        const char* wire;
    } cases[] = {
        {"default", makeConfig(0x3FF, 3, 100, 0, 1, 0), "FF 03 06 64 00 03"},
        {"nothing set", makeConfig(0, 0, 0, 0, 0, 0), "00 00 04 00 00 00"},
        {"every bit set", makeConfig(-1, 0xFF, 0xFFFF, 1, 1, 1), "FF 07 0F FF 07 07"},
        {"high bits dropped", makeConfig(0x12345, 9, 2048 + 5, 1, 0, 0), "45 03 05 05 00 01"},
        {"raw only", makeConfig(0x400, 0, 0x123, 0, 0, 1), "00 04 0C 23 01 00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SensorConfig config = c.config;
        config.reserved1 = 0xEE;  // never reaches the wire
        config.flagsReserved = 0x1F;
        Bytes out(6);
        FenlarkIMU::encodeConfig(config, out.data());
        EXPECT_EQ(hex(out), c.wire);
    }
}

TEST(FenlarkConfigEncoding, DecodeSignExtendsChannelsAndKeepsOtherFields) {
    const struct {
        const char* wire;
        int32_t channels;
        int ascii, autoStart, raw, frequency, magDivider;
    } cases[] = {
        {"03 00 0D 64 00 0B", 3, 1, 0, 1, 100, 3},
        {"FF FF F2 FF FF FF", -1, 0, 1, 0, 0x7FF, 7},
        {"00 80 04 00 08 08", -32768, 0, 0, 0, 0, 0},
        {"FF 7F 0B 00 08 00", 0x7FFF, 1, 1, 1, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.wire);
        SensorConfig config = makeConfig(0x155, 5, 77, 1, 1, 1);
        config.reserved1 = 0xA5;
        config.flagsReserved = 0x15;
        config.reserved2[0] = 1, config.reserved2[1] = 2, config.reserved2[2] = 3;
        FenlarkIMU::decodeConfig(hexBytes(c.wire).data(), &config);
        EXPECT_EQ(config.channels, c.channels);
        EXPECT_EQ(config.ascii, c.ascii);
        EXPECT_EQ(config.autoStart, c.autoStart);
        EXPECT_EQ(config.raw, c.raw);
        EXPECT_EQ(config.frequency, c.frequency);
        EXPECT_EQ(config.magDivider, c.magDivider);
        EXPECT_EQ(config.reserved1, 0xA5);
        EXPECT_EQ(config.flagsReserved, 0x15);
        EXPECT_EQ(hex(rawBytes(config.reserved2, 3)), "01 02 03");
    }
}

// --- connecting ---

TEST_F(FenlarkImuTest, IdentificationParsesOrRejectsTheReply) {
    const struct {
        const char* name;
        Bytes reply;
        std::string error;
        unsigned major, minor;
        const char* id;
    } cases[] = {
        {"valid, 25 bytes", idReply("Fenlark v2.7 #A1B2C3D"), "", 2, 7, "A1B2C3D"},
        {"id cut to 7, version to 16 bits", idReply("Fenlark v65538.513 #ABCDEFGHIJ"), "", 2, 513,
         "ABCDEFG"},
        {"last byte is the terminator", concat({{0x00, 'I'}, text("Fenlark v11.22 #ABCDE99")}), "",
         11, 22, "ABCDE9"},
        {"valid text in 24 bytes", idReply("Fenlark v2.7 #A1B2C3"), kNoId, 0, 0, ""},
        {"no reply", {}, kNoId, 0, 0, ""},
        {"wrong text", idReply("Fenlark x2.7 #A1B2C3D"), kBadId, 0, 0, ""},
        {"no id after #", idReply("Fenlark v2.7 #        "), kBadId, 0, 0, ""},
        {"text not after two bytes", concat({{'I'}, text("Fenlark v2.7 #A1B2C3D\r\n\r\n")}), kBadId,
         0, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tracker.identity = c.reply;
        const int closesBefore = io.closeAttempts;
        std::unique_ptr<FenlarkIMU> imu;
        EXPECT_EQ(errorOf([&] { imu = std::make_unique<FenlarkIMU>(&io); }), c.error);
        if (!imu) {
            EXPECT_TRUE(io.isOpen());  // the creator closes the port
            EXPECT_EQ(io.closeAttempts, closesBefore);
            continue;
        }
        EXPECT_EQ(imu->firmwareMajor(), c.major);
        EXPECT_EQ(imu->firmwareMinor(), c.minor);
        EXPECT_STREQ(imu->id(), c.id);
        imu.reset();
        io.open("/dev/ttyACM0", 115200);
    }
}

TEST_F(FenlarkImuTest, ConnectingSetsConfigBit2WithOneRetry) {
    const struct {
        const char* name;
        std::deque<int> setBitsStatus;  // first: during identification
        std::string error;
        std::vector<std::string> writes;
    } cases[] = {
        {"all accepted", {0, 0}, "", {"20", kSetBit2, "1B 49", kSetBit2}},
        {"early refusal ignored", {1, 0}, "", {"20", kSetBit2, "1B 49", kSetBit2}},
        {"refused once", {0, 1, 0}, "", {"20", kSetBit2, "1B 49", kSetBit2, kSetBit2}},
        {"silent once", {0, -1, 0}, "", {"20", kSetBit2, "1B 49", kSetBit2, kSetBit2}},
        {"refused twice", {0, 1, 1}, kWriteFailed, {"20", kSetBit2, "1B 49", kSetBit2, kSetBit2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        io.writes.clear();
        tracker.memory[0][2] = 0;
        tracker.writeStatus = c.setBitsStatus;
        std::unique_ptr<FenlarkIMU> imu;
        EXPECT_EQ(errorOf([&] { imu = std::make_unique<FenlarkIMU>(&io); }), c.error);
        EXPECT_EQ(writesHex(), c.writes);
        EXPECT_TRUE(tracker.writeStatus.empty());
        if (imu) {
            EXPECT_EQ(tracker.memory[0][2], 0x04);
            EXPECT_EQ(io.available(), 0);  // nothing left over for the first command
            imu.reset();
            io.open("/dev/ttyACM0", 115200);
        }
    }
}

TEST_F(FenlarkImuTest, StreamingTrackerIsStoppedOnConnectAndOnDestruction) {
    tracker.streaming = true;
    io.feed(text("A\x11\x22\x33Z"));  // packets already on the line
    auto imu = connect();
    EXPECT_FALSE(tracker.streaming);
    EXPECT_STREQ(imu->id(), "A1B2C3D");

    imu->startStreaming();
    EXPECT_EQ(writesHex(), std::vector<std::string>{"30"});
    EXPECT_TRUE(tracker.streaming);

    imu.reset();
    EXPECT_EQ(writesHex(), (std::vector<std::string>{"30", "20"}));
    EXPECT_FALSE(tracker.streaming);
    EXPECT_FALSE(io.isOpen());
    EXPECT_EQ(io.closeAttempts, 1);
}

TEST_F(FenlarkImuTest, DestructionSwallowsPortErrors) {
    auto imu = connect();
    io.fail = true;
    EXPECT_NO_THROW(imu.reset());
    EXPECT_EQ(io.closeAttempts, 1);
}

// --- commands on a connected tracker ---

TEST_F(FenlarkImuTest, WriteCommandsSendOneFrame) {
    const float kg[9] = {1, 0, 0, 0, 2, 0, 0, 0, -1};
    const float heading[4] = {1, 2, 3, 4};
    const float alignment[4] = {-1, -2, -3, -4};
    float values[54];
    for (int i = 0; i < 54; ++i) values[i] = 0.25f * i - 3;
    CalibrationData calibration;
    std::memcpy(&calibration, values, sizeof calibration);
    const Bytes boresight = concat({rawBytes(heading, 16), rawBytes(alignment, 16)});
    const Bytes calib = rawBytes(&calibration, sizeof calibration);

    const struct {
        const char* name;
        std::function<bool(FenlarkIMU&)> command;
        Bytes frame;
    } cases[] = {
        {"set Km flag", [](FenlarkIMU& m) { return m.setStatusBit(FenlarkIMU::KmBit, true); },
         hexBytes("1B 53 00 00 01 01 04 04")},
        {"clear boresight flag", [](FenlarkIMU& m) { return m.setBoresightStatus(false); },
         hexBytes("1B 43 00 00 01 01 08 08")},
        {"set jitter flag", [](FenlarkIMU& m) { return m.setJitterStatus(true); },
         hexBytes("1B 53 00 00 01 01 10 10")},
        {"write Kg", [&](FenlarkIMU& m) { return m.setMatrix(FenlarkIMU::Kg, kg); },
         hexBytes("1B 57 25 00 01 24 "
                  "00 00 80 3F 00 00 00 00 00 00 00 00 "
                  "00 00 00 00 00 00 00 40 00 00 00 00 "
                  "00 00 00 00 00 00 00 00 00 00 80 BF 3E")},
        {"write Km", [&](FenlarkIMU& m) { return m.setMatrix(FenlarkIMU::Km, kg); },
         concat({hexBytes("1B 57 49 00 01 24"), rawBytes(kg, 36), {0x3E}})},
        {"write configuration",
         [](FenlarkIMU& m) { return m.setConfig(makeConfig(0x3FF, 3, 100, 0, 1, 0)); },
         hexBytes("1B 57 00 00 00 06 FF 03 06 64 00 03 6F")},
        {"write boresight", [&](FenlarkIMU& m) { return m.setBoresight(heading, alignment); },
         concat({hexBytes("1B 57 6D 00 01 20"), boresight, {sum8(boresight)}})},
        {"write calibration", [&](FenlarkIMU& m) { return m.setCalibration(&calibration); },
         concat({hexBytes("1B 57 06 00 00 D8"), calib, {sum8(calib)}})},
    };
    auto imu = connect();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        io.writes.clear();
        EXPECT_TRUE(c.command(*imu));
        ASSERT_EQ(io.writes.size(), 1u);
        EXPECT_EQ(hex(io.writes[0]), hex(c.frame));
    }
    // The tracker applied them.
    EXPECT_EQ(tracker.memory[1][0], 0x04 | 0x10);
    EXPECT_EQ(hex(Bytes(&tracker.memory[0][6], &tracker.memory[0][6] + 216)), hex(calib));
}

TEST_F(FenlarkImuTest, ReadCommandChecksTheReply) {
    const struct {
        const char* reply;
        bool ok;
    } cases[] = {
        {"00 0A 0B 15", true},  {"00 0A 0B 15 EE", true}, {"00 FF 02 01", true},
        {"00 0A 0B 16", false}, {"01 0A 0B 15", false},   {"00 0A 0B", false},
        {"00", false},
    };
    auto imu = connect();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        io.writes.clear();
        tracker.nextReply = hexBytes(c.reply);
        const std::string error = errorOf([&] { imu->readCommand(0, 0x10, 2); });
        EXPECT_EQ(writesHex(), std::vector<std::string>{"1B 52 10 00 00 02"});
        if (c.ok) {
            EXPECT_EQ(error, "");
            EXPECT_EQ(hex(Bytes(imu->payload(), imu->payload() + 2)), std::string(c.reply, 3, 5));
            EXPECT_EQ(io.available(), 0);
        } else {
            EXPECT_EQ(error, kReadFailed);
            EXPECT_EQ(hex(Bytes(io.data(), io.data() + io.available())), c.reply);  // left as is
        }
    }
    tracker.nextReply = Bytes{};
    EXPECT_EQ(errorOf([&] { imu->readCommand(0, 0, 2); }), kReadFailed);
}

TEST_F(FenlarkImuTest, OverlongPayloadIsRefusedWithoutSending) {
    auto imu = connect();
    EXPECT_EQ(errorOf([&] { imu->readCommand(0, 0, 217); }), kReadFailed);
    EXPECT_EQ(errorOf([&] { imu->writeCommand(0, 0, 255, 'W'); }), kWriteFailed);
    EXPECT_TRUE(io.writes.empty());
}

TEST_F(FenlarkImuTest, GettersReadTheirPlaceInMemory) {
    // Distinct patterns at every record, so a wrong address shows.
    const float matrices[3][9] = {{1, 2, 3, 4, 5, 6, 7, 8, 9},
                                  {-1, -2, -3, -4, -5, -6, -7, -8, -9},
                                  {0.5f, 0, 0, 0, 0.5f, 0, 0, 0, 0.5f}};
    for (int i = 0; i < 3; ++i) std::memcpy(&tracker.memory[1][1 + 36 * i], matrices[i], 36);
    const float quats[8] = {1, 0, 0, 0, 0.5f, 0.5f, -0.5f, 0.5f};
    std::memcpy(&tracker.memory[1][109], quats, 32);
    for (int i = 0; i < 216; ++i) tracker.memory[0][6 + i] = static_cast<unsigned char>(i * 13 + 1);
    tracker.memory[1][0] = 0x12;  // Kg and jitter on

    auto imu = connect();
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        float out[9] = {};
        EXPECT_TRUE(imu->getMatrix(i, out));
        EXPECT_EQ(hex(rawBytes(out, 36)), hex(rawBytes(matrices[i], 36)));
    }
    float heading[4] = {}, alignment[4] = {};
    EXPECT_TRUE(imu->getBoresight(heading, alignment));
    EXPECT_EQ(hex(concat({rawBytes(heading, 16), rawBytes(alignment, 16)})),
              hex(rawBytes(quats, 32)));
    CalibrationData calibration;
    EXPECT_TRUE(imu->getCalibration(&calibration));
    EXPECT_EQ(hex(rawBytes(&calibration, 216)),
              hex(Bytes(&tracker.memory[0][6], &tracker.memory[0][6] + 216)));
    io.writes.clear();
    EXPECT_TRUE(imu->getStatusBit(FenlarkIMU::KgBit));
    EXPECT_FALSE(imu->getStatusBit(FenlarkIMU::KmBit));
    EXPECT_TRUE(imu->getJitterStatus());
    EXPECT_FALSE(imu->getBoresightStatus());
    EXPECT_EQ(writesHex(), std::vector<std::string>(4, "1B 52 00 00 01 01"));
}

TEST_F(FenlarkImuTest, ConfigReadUpdatesOnlyWireFields) {
    auto imu = connect();
    SensorConfig held = makeConfig(0x3FF, 3, 100, 0, 1, 0);
    held.reserved1 = 0x5A;
    held.flagsReserved = 0x11;
    held.reserved2[2] = 0x77;
    ASSERT_TRUE(imu->setConfig(held));

    const Bytes device = hexBytes("03 00 0D 64 00 0B");
    std::copy(device.begin(), device.end(), tracker.memory[0].begin());
    io.writes.clear();
    const SensorConfig cached = imu->getConfig(false);
    EXPECT_TRUE(io.writes.empty());
    EXPECT_EQ(hex(rawBytes(&cached, 12)), hex(rawBytes(&held, 12)));

    const SensorConfig read = imu->getConfig(true);
    EXPECT_EQ(writesHex(), std::vector<std::string>{"1B 52 00 00 00 06"});
    EXPECT_EQ(read.channels, 3);
    EXPECT_EQ(read.ascii, 1);
    EXPECT_EQ(read.autoStart, 0);
    EXPECT_EQ(read.raw, 1);
    EXPECT_EQ(read.frequency, 100);
    EXPECT_EQ(read.magDivider, 3);
    EXPECT_EQ(read.reserved1, 0x5A);
    EXPECT_EQ(read.flagsReserved, 0x11);
    EXPECT_EQ(read.reserved2[2], 0x77);
    const SensorConfig kept = imu->getConfig(false);
    EXPECT_EQ(hex(rawBytes(&read, 12)), hex(rawBytes(&kept, 12)));
}

TEST_F(FenlarkImuTest, RefusedWriteRaisesAndKeepsHeldConfig) {
    auto imu = connect();
    const SensorConfig before = imu->getConfig(false);
    const SensorConfig next = makeConfig(0x7, 1, 50, 0, 0, 1);
    for (int status : {-1, 0x01, 0x80}) {
        SCOPED_TRACE(status);
        tracker.writeStatus = {status};
        EXPECT_EQ(errorOf([&] { imu->setConfig(next); }), kWriteFailed);
        const SensorConfig held = imu->getConfig(false);
        EXPECT_EQ(hex(rawBytes(&held, 12)), hex(rawBytes(&before, 12)));
    }
    EXPECT_EQ(errorOf([&] { imu->setStatusBit(FenlarkIMU::KaBit, true); }), "");
}

TEST_F(FenlarkImuTest, StreamControlSendsSingleBytesWithTheirPauses) {
    using Clock = std::chrono::steady_clock;
    const struct {
        const char* name;
        std::function<void(FenlarkIMU&)> command;
        std::vector<std::string> writes;
        int minimumMs;  // sum of the fixed pauses, clear() included
    } cases[] = {
        {"start", [](FenlarkIMU& m) { m.startStreaming(); }, {"30"}, 15},
        {"stop", [](FenlarkIMU& m) { m.stopStreaming(false); }, {"20"}, 33},
        {"stop with extra wait", [](FenlarkIMU& m) { m.stopStreaming(true); }, {"20"}, 53},
        {"save", [](FenlarkIMU& m) { m.saveSettings(); }, {"39", "20"}, 58},
    };
    auto imu = connect();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        io.writes.clear();
        const auto start = Clock::now();
        c.command(*imu);
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        EXPECT_EQ(writesHex(), c.writes);
        EXPECT_GE(ms, c.minimumMs);
    }
    EXPECT_EQ(tracker.saves, 1);
    EXPECT_FALSE(tracker.streaming);
}

TEST_F(FenlarkImuTest, DeviceInfoIsBoundedAndComplete) {
    auto imu = connect();
    const std::string longPath = "/dev/" + std::string(300, 'x');
    for (const std::string& path : {std::string("/dev/ttyACM0"), longPath}) {
        SCOPED_TRACE(path.size());
        io.open(path, 115200);
        DeviceInfo info;
        std::memset(&info, 0xAA, sizeof info);
        imu->getDeviceInfo(&info);
        EXPECT_EQ(std::string(info.port, strnlen(info.port, sizeof info.port)),
                  path.substr(0, 255));
        EXPECT_EQ(info.port[255], '\0');
        EXPECT_STREQ(info.id, "A1B2C3D");
        EXPECT_EQ(info.reserved, 0u);
        EXPECT_EQ(info.firmwareMajor, 2);
        EXPECT_EQ(info.firmwareMinor, 7);
    }
}

}  // namespace

namespace {

// A reply that arrives a byte at a time is collected until it is whole.
TEST(FenlarkImuTrickle, ReplyArrivingByteByByteIsReadWhole) {
    FakeIO io;
    io.open("/dev/fake", 115200);
    io.responder = [&io](const Bytes& frame) {
        if (frame.size() == 2) {
            io.feed(idReply("Fenlark v1.2 #TRICKLE"));
        } else if (frame.size() == 6 && frame[1] == 'R') {
            Bytes reply{0x00};
            for (int i = 0; i < frame[5]; ++i)
                reply.push_back(static_cast<unsigned char>(0x41 + i));
            reply.push_back(sum8(Bytes(reply.begin() + 1, reply.end())));
            io.feed(reply);
        } else if (frame.size() > 1) {
            io.feed(Bytes{0x00});
        }
    };
    io.chunk = 1;
    FenlarkIMU imu(&io);
    EXPECT_STREQ(imu.id(), "TRICKLE");
    float m[9];
    ASSERT_TRUE(imu.getMatrix(FenlarkIMU::Km, m));
    EXPECT_EQ(imu.payload()[0], 0x41);
    EXPECT_EQ(imu.payload()[35], 0x41 + 35);
}

}  // namespace
