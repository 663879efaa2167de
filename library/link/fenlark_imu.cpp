#include "fenlark_imu.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>

#include "packet_decoder.h"

namespace Quorvane {

// Floats, the 16-bit configuration fields and the parameter records travel
// little-endian and are copied byte for byte; a big-endian host would have to
// swap every field instead.
#if defined(__BYTE_ORDER__)
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "the device records are copied byte for byte: little-endian host required");
#endif

namespace {

constexpr unsigned char kEsc = 0x1B;
constexpr unsigned char kConfigAlwaysSet = 0x04;  // configuration byte 2, bit 2
constexpr int kIdReplyMinimum = 25;
constexpr int kIdReplyPauseMs = 20;  // longest wait for the identification reply
constexpr int kIdQuietGapMs = 2;     // silence that ends a reply without line end
constexpr int kReplyPauseMs = 100;   // longest wait for a command's reply

const char kNoIdMessage[] = "FenlarkIMU:  No device found, no ID received";
const char kBadIdMessage[] = "FenlarkIMU:  No device found, incorrect ID";
const char kReadFailedMessage[] = "FenlarkIMU: Read command failed";
const char kWriteFailedMessage[] = "FenlarkIMU: Write command failed";
const char kNoDataMessage[] = "FenlarkIMU: No appropriate data";
const char kNotEnoughMessage[] = "FenlarkIMU: Not enough data";
const char kBadPacketMessage[] = "FenlarkIMU: Bad packet";

unsigned char checksum(const unsigned char* bytes, int length) {
    unsigned sum = 0;
    for (int i = 0; i < length; ++i) sum += bytes[i];
    return static_cast<unsigned char>(sum);
}

unsigned char matrixAddress(int index) {
    // Wraps in 8 bits like the device's address byte.
    return static_cast<unsigned char>(FenlarkIMU::kMatrixAddress +
                                      FenlarkIMU::kMatrixLength * static_cast<unsigned>(index));
}

// Reads the reply as it arrives until `missing()` (the bytes still needed;
// 0 or less when the reply is whole) says it is complete, or until the pause
// the protocol allows for it has passed: a reply that is complete earlier
// ends the wait at once, and the result is the one the full pause would
// give. Returns the number of bytes read.
template <typename Missing>
int awaitReply(FenlarkIO& io, int pauseMs, Missing missing) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(pauseMs);
    int got = 0;
    for (;;) {
        got += io.read();
        const int needed = missing();
        if (needed <= 0) return got;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        // Nothing more within the pause: the reply is what has arrived.
        if (left <= 0 || !io.waitForData(static_cast<int>(left), needed)) return got;
    }
}

unsigned char statusMask(int bit) {
    if (bit < 0 || bit > 7) throw std::out_of_range("FenlarkIMU: status bit out of range");
    return static_cast<unsigned char>(1u << bit);
}

}  // namespace

FenlarkIMU::FenlarkIMU(FenlarkIO* io)
    : io_(io), config_(), layout_(packetLayout(config_)), message_(), id_() {
    message_[0] = kEsc;
    identify();
    payload()[0] = kConfigAlwaysSet;
    try {
        writeCommand(kBankConfig, 2, 1, 'S');
    } catch (const std::runtime_error&) {
        // One retry, so that a single lost or refused reply does not fail the
        // whole connection.
        sleepMs(10);
        io_->clear();
        sleepMs(10);
        payload()[0] = kConfigAlwaysSet;
        writeCommand(kBankConfig, 2, 1, 'S');
    }
    io_->clear();
}

FenlarkIMU::~FenlarkIMU() {
    try {
        stopStreaming(false);
    } catch (...) {
        // A destructor must not throw; the port is closed below regardless.
    }
    try {
        io_->close();
    } catch (...) {
    }
}

void FenlarkIMU::identify() {
    // Stop a stream that may still be running, so that replies are not mixed
    // with data packets.
    sendByte(' ');
    sleepMs(5);
    io_->clear();
    sleepMs(10);

    // Set bit 2 before asking for the identity. A refusal is ignored here:
    // the constructor sets the bit again, with a retry, once identified.
    payload()[0] = kConfigAlwaysSet;
    try {
        writeCommand(kBankConfig, 2, 1, 'S');
    } catch (const std::runtime_error&) {
    }
    io_->clear();

    io_->clear();
    sleepMs(10);
    const unsigned char request[2] = {kEsc, 'I'};
    io_->write(request, 2);
    // The reply is whole at its line end; a reply without one is taken as
    // whole once 25 bytes are in and the line has been quiet for a moment.
    awaitReply(*io_, kIdReplyPauseMs, [this] {
        const int n = io_->available();
        if (n < kIdReplyMinimum) return kIdReplyMinimum - n;
        if (io_->data()[n - 1] == '\n') return 0;
        return io_->waitForData(kIdQuietGapMs) ? 1 : 0;
    });

    const int count = io_->available();
    if (count < kIdReplyMinimum) throw std::runtime_error(kNoIdMessage);

    // Parse a private copy: the reply's last byte becomes the terminator.
    std::string text(reinterpret_cast<const char*>(io_->data()), static_cast<size_t>(count));
    text[text.size() - 1] = '\0';
    unsigned major = 0;
    unsigned minor = 0;
    char id[8] = {};
    if (std::sscanf(text.c_str() + 2, "Fenlark v%u.%u #%7s", &major, &minor, id) < 3) {
        throw std::runtime_error(kBadIdMessage);
    }
    firmwareMajor_ = static_cast<uint16_t>(major);
    firmwareMinor_ = static_cast<uint16_t>(minor);
    std::memcpy(id_, id, sizeof id_);
    id_[7] = '\0';
}

void FenlarkIMU::sendByte(char byte) {
    const unsigned char b = static_cast<unsigned char>(byte);
    io_->write(&b, 1);
}

void FenlarkIMU::setHeader(char letter, unsigned char bank, unsigned char address,
                           unsigned char length) {
    message_[0] = kEsc;
    message_[1] = static_cast<unsigned char>(letter);
    message_[2] = address;
    message_[3] = 0x00;
    message_[4] = bank;
    message_[5] = length;
}

bool FenlarkIMU::readCommand(unsigned char bank, unsigned char address, unsigned char length) {
    if (length > kMaxPayload) throw std::runtime_error(kReadFailedMessage);
    setHeader('R', bank, address, length);
    io_->clear();
    sleepMs(10);
    if (!io_->write(message_, kHeaderLength)) throw std::runtime_error(kReadFailedMessage);
    awaitReply(*io_, kReplyPauseMs, [&] { return length + 2 - io_->available(); });

    // Reply: status, `length` data bytes, checksum of the data.
    const unsigned char* reply = io_->data();
    if (io_->available() < length + 2 || reply[0] != 0x00 ||
        checksum(reply + 1, length) != reply[length + 1]) {
        throw std::runtime_error(kReadFailedMessage);
    }
    std::memcpy(payload(), reply + 1, length);
    io_->clear();
    return true;
}

bool FenlarkIMU::writeCommand(unsigned char bank, unsigned char address, unsigned char length,
                              char letter) {
    if (length > kMaxPayload) throw std::runtime_error(kWriteFailedMessage);
    setHeader(letter, bank, address, length);
    payload()[length] = checksum(payload(), length);
    io_->clear();
    sleepMs(10);
    if (!io_->write(message_, kHeaderLength + length + 1))
        throw std::runtime_error(kWriteFailedMessage);
    const int got = awaitReply(*io_, kReplyPauseMs, [this] { return 1 - io_->available(); });
    if (got < 1 || io_->data()[0] != 0x00) throw std::runtime_error(kWriteFailedMessage);
    io_->clear();
    return true;
}

void FenlarkIMU::encodeConfig(const SensorConfig& config, unsigned char out[6]) {
    const unsigned channels = static_cast<unsigned>(config.channels) & 0x7FFu;
    const unsigned frequency = config.frequency & 0x7FFu;
    out[0] = static_cast<unsigned char>(channels);
    out[1] = static_cast<unsigned char>(channels >> 8);
    out[2] = static_cast<unsigned char>(config.ascii | config.autoStart << 1 | kConfigAlwaysSet |
                                        config.raw << 3);
    out[3] = static_cast<unsigned char>(frequency);
    out[4] = static_cast<unsigned char>(frequency >> 8);
    out[5] = static_cast<unsigned char>(config.magDivider & 7u);
}

void FenlarkIMU::decodeConfig(const unsigned char in[6], SensorConfig* config) {
    config->channels = static_cast<int16_t>(static_cast<uint16_t>(in[0] | in[1] << 8));
    config->ascii = in[2] & 1u;
    config->autoStart = (in[2] >> 1) & 1u;
    config->raw = (in[2] >> 3) & 1u;
    config->frequency = static_cast<uint16_t>((in[3] | in[4] << 8) & 0x7FF);
    config->magDivider = static_cast<uint8_t>(in[5] & 7u);
}

SensorConfig FenlarkIMU::getConfig(bool refresh) {
    if (refresh) {
        readCommand(kBankConfig, kConfigAddress, kConfigLength);
        decodeConfig(payload(), &config_);
        layout_ = packetLayout(config_);
        screen_.restart();
    }
    return config_;
}

bool FenlarkIMU::setConfig(const SensorConfig& config) {
    unsigned char wire[kConfigLength];
    encodeConfig(config, wire);
    std::memcpy(payload(), wire, sizeof wire);
    writeCommand(kBankConfig, kConfigAddress, kConfigLength, 'W');
    // Held as the device has it: fields wider than their wire bits (a
    // frequency above 2047, a divider above 7) arrive masked.
    config_ = config;
    decodeConfig(wire, &config_);
    layout_ = packetLayout(config_);
    screen_.restart();  // packets of another layout follow
    return true;
}

bool FenlarkIMU::getStatusBit(int bit) {
    const unsigned char mask = statusMask(bit);
    readCommand(kBankFeatures, kFlagsAddress, 1);
    return (payload()[0] & mask) != 0;
}

bool FenlarkIMU::setStatusBit(int bit, bool on) {
    payload()[0] = statusMask(bit);
    return writeCommand(kBankFeatures, kFlagsAddress, 1, on ? 'S' : 'C');
}

bool FenlarkIMU::getMatrix(int index, float out[9]) {
    readCommand(kBankFeatures, matrixAddress(index), kMatrixLength);
    std::memcpy(out, payload(), kMatrixLength);
    return true;
}

bool FenlarkIMU::setMatrix(int index, const float in[9]) {
    std::memcpy(payload(), in, kMatrixLength);
    return writeCommand(kBankFeatures, matrixAddress(index), kMatrixLength, 'W');
}

bool FenlarkIMU::getBoresight(float heading[4], float alignment[4]) {
    readCommand(kBankFeatures, kBoresightAddress, kBoresightLength);
    std::memcpy(heading, payload(), 16);
    std::memcpy(alignment, payload() + 16, 16);
    return true;
}

bool FenlarkIMU::setBoresight(const float heading[4], const float alignment[4]) {
    std::memcpy(payload(), heading, 16);
    std::memcpy(payload() + 16, alignment, 16);
    return writeCommand(kBankFeatures, kBoresightAddress, kBoresightLength, 'W');
}

bool FenlarkIMU::getCalibration(CalibrationData* out) {
    static_assert(sizeof(CalibrationData) == kCalibrationLength, "calibration record size");
    readCommand(kBankConfig, kCalibrationAddress, kCalibrationLength);
    std::memcpy(out, payload(), kCalibrationLength);
    return true;
}

bool FenlarkIMU::setCalibration(const CalibrationData* in) {
    std::memcpy(payload(), in, kCalibrationLength);
    return writeCommand(kBankConfig, kCalibrationAddress, kCalibrationLength, 'W');
}

void FenlarkIMU::startStreaming() {
    io_->clear();
    screen_.restart();  // the device begins with a whole packet
    sleepMs(10);
    sendByte('0');
}

void FenlarkIMU::saveSettings() {
    io_->clear();
    sleepMs(10);
    sendByte('9');
    sleepMs(10);
    stopStreaming(false);
}

void FenlarkIMU::stopStreaming(bool extraWait) {
    io_->clear();
    screen_.restart();
    sleepMs(10);
    sendByte(' ');
    sleepMs(3);
    io_->clear();
    sleepMs(10);
    if (extraWait) sleepMs(20);
}

void FenlarkIMU::getDeviceInfo(DeviceInfo* out) {
    std::memset(out, 0, sizeof *out);
    const std::string port = io_->portName();
    std::strncpy(out->port, port.c_str(), sizeof out->port - 1);
    std::memcpy(out->id, id_, sizeof out->id);
    out->id[sizeof out->id - 1] = '\0';
    out->reserved = 0;
    out->firmwareMajor = firmwareMajor_;
    out->firmwareMinor = firmwareMinor_;
}

void FenlarkIMU::readPacket(SensorSample* sample) {
    if (const char* error = tryReadPacket(sample)) throw std::runtime_error(error);
}

const char* FenlarkIMU::tryReadPacket(SensorSample* sample) {
    // Waits for the packet for at most five rounds of 3 ms, as one budget: a
    // wait ends as soon as the packet is complete (the port is asked to wake
    // only once the missing bytes are in), or when nothing comes within the
    // rest of the budget.
    using Clock = std::chrono::steady_clock;
    constexpr auto kBudget = std::chrono::milliseconds(5 * 3);
    const PacketLayout& layout = layout_;
    // The budget starts with the first wait: a call that finds its bytes
    // there (or finds none to wait for) reads no clock.
    std::optional<Clock::time_point> deadline;
    // Waits within the budget until `count` bytes are buffered; false when
    // the budget ran out or nothing more came.
    const auto awaitBytes = [&](int count) {
        const auto now = Clock::now();
        if (!deadline) deadline = now + kBudget;
        const auto leftUs =
            std::chrono::duration_cast<std::chrono::microseconds>(*deadline - now).count();
        if (leftUs <= 0) return false;
        return io_->waitForData(static_cast<int>((leftUs + 999) / 1000), count - io_->available());
    };
    for (;;) {
        io_->read();
        const int available = io_->available();
        if (available > 0) {
            const int start = findPacketStart(io_->data(), available);
            if (start < 0) {
                io_->consume(available);
                return kNoDataMessage;
            }
            // Bytes before the start byte are line noise: no packet start
            // is lost with them.
            io_->consume(start);
            if (io_->available() >= layout.length) break;
        }
        if (!awaitBytes(layout.length)) break;
    }
    if (io_->available() < layout.length) return kNotEnoughMessage;
    if (io_->data()[layout.length - 1] != kPacketEnd) {
        io_->consume(1);  // resynchronise on the next start byte
        screen_.lostStep();
        return kBadPacketMessage;
    }
    bool quiet = false;
    for (;;) {
        const PacketScreen::Verdict verdict =
            screen_.judge(io_->data(), io_->available(), layout, config_.channels, quiet);
        if (verdict == PacketScreen::Verdict::Accept) break;
        if (verdict == PacketScreen::Verdict::Reject) {
            // A false start inside the values of real packets: go on
            // searching from the byte after it.
            io_->consume(1);
            rejected_.fetch_add(1, std::memory_order_relaxed);
            return kBadPacketMessage;
        }
        // The packets after it decide. When they are late the bytes stay
        // for the next call; when the line has gone quiet, what is there
        // decides.
        const int before = io_->available();
        if (!awaitBytes(before + 1)) {
            io_->read();
            if (io_->available() > before) return kNotEnoughMessage;
            quiet = true;
        } else {
            io_->read();
        }
    }
    decodePacket(io_->data(), layout, config_.channels, sample);
    io_->consume(layout.length);
    return nullptr;
}

}  // namespace Quorvane
