// Fuzzes packet decoding: arbitrary byte streams, arriving in arbitrary
// chunks, under arbitrary channel masks and RAW settings.
//
// One connection serves every input: connecting costs a handful of commands,
// which would take most of the time of an input. Each input sets its
// configuration and starts a stream, which clears the port and the packet
// screen, so that no input sees what an earlier one left.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#include "fenlark_imu.h"
#include "fuzz_harness.h"
#include "packet_decoder.h"

namespace {

// A port whose device answers every command with success and otherwise
// sends the stream it was given, at most `chunk` bytes per read. Reads the
// stream in place: no copy of the input per read.
class StreamPort : public Quorvane::BufferedFenlarkIO {
  public:
    StreamPort() : BufferedFenlarkIO(4096) {}

    FUZZ_HARNESS bool open(const std::string& path, int) override {
        currentPath = path;
        setState(State::Open);
        return true;
    }
    FUZZ_HARNESS bool close() override {
        currentPath.clear();
        setState(State::Closed);
        return true;
    }
    FUZZ_HARNESS bool isOpen() override { return state() == State::Open; }

    FUZZ_HARNESS void send(const uint8_t* data, size_t size, int chunk) {
        stream_ = data;
        left_ = size;
        chunk_ = chunk;
    }
    // Bytes the device has sent that no read has fetched yet.
    FUZZ_HARNESS size_t pending() const { return left_ + reply_.size(); }

  protected:
    FUZZ_HARNESS int readDevice(unsigned char* into, int max) override {
        if (!reply_.empty()) {
            const size_t n = std::min(static_cast<size_t>(max), reply_.size());
            std::memcpy(into, reply_.data(), n);
            reply_.erase(0, n);
            return static_cast<int>(n);
        }
        size_t n = static_cast<size_t>(max < chunk_ ? max : chunk_);
        if (n > left_) n = left_;
        std::memcpy(into, stream_, n);
        stream_ += n;
        left_ -= n;
        return static_cast<int>(n);
    }
    FUZZ_HARNESS bool writeDevice(const unsigned char* bytes, int length) override {
        if (length == 2 && bytes[1] == 'I')
            reply_ = std::string("\0I", 2) + "Fenlark v1.0 #FUZZ\r\n     ";
        else if (length > 1)
            reply_.assign(1, '\0');
        return true;
    }
    FUZZ_HARNESS void purgeDevice() override {
        reply_.clear();
        left_ = 0;
    }
    // Bytes still to come are there at once; otherwise the wait runs out.
    FUZZ_HARNESS bool waitDevice(int timeoutMs, int) override {
        if (pending() > 0) return true;
        Quorvane::sleepMs(timeoutMs);
        return false;
    }

  private:
    std::string reply_;
    const uint8_t* stream_ = nullptr;
    size_t left_ = 0;
    int chunk_ = 1;
};

struct Connection {
    Connection() {
        io.open("/dev/fuzz", 115200);
        imu = std::make_unique<Quorvane::FenlarkIMU>(&io);
    }
    StreamPort io;
    std::unique_ptr<Quorvane::FenlarkIMU> imu;
};

Connection& connection() {
    Quorvane::setSleepFunction(fuzz::noSleep);
    static Connection c;
    return c;
}

// A decoded float value is never NaN or infinite: the screen refuses those.
FUZZ_HARNESS void checkFinite(const SensorSample& sample, const SensorConfig& config) {
    if (config.raw) return;
    const float* slots = &sample.mag[0];
    for (int bit = 0; bit < 10; ++bit)
        if (config.channels & (1 << bit)) fuzz::check(std::isfinite(slots[bit]), "finite value");
    if (config.channels & 0x400)
        for (int i = 0; i < 3; ++i) fuzz::check(std::isfinite(sample.quat[i]), "finite value");
}

// The failures tryReadPacket reports, the most frequent first. Its messages
// are the library's constants, so a pointer once found to hold one of them
// holds it for good: the text of each pointer is compared once, not on every
// call.
class ReadFailures {
  public:
    FUZZ_HARNESS size_t indexOf(const char* message) {
        for (size_t i = 0; i < 3; ++i)
            if (message == seen_[i]) return i;
        const size_t i = fuzz::expectKnownMessage(
            message, {"FenlarkIMU: No appropriate data", "FenlarkIMU: Bad packet",
                      "FenlarkIMU: Not enough data"});
        seen_[i] = message;
        return i;
    }
    static constexpr size_t kNotEnoughData = 2;

  private:
    const char* seen_[3] = {};
};

}  // namespace

extern "C" FUZZ_HARNESS int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Connection& c = connection();
    fuzz::Input in{data, size};
    SensorConfig config{};
    config.channels = static_cast<int16_t>(in.byte() | in.byte() << 8);
    config.raw = in.byte() & 1;
    const int chunk = 1 + in.byte() % 64;

    c.imu->setConfig(config);
    c.imu->startStreaming();
    const SensorConfig held = c.imu->getConfig(false);
    const Quorvane::PacketLayout layout = Quorvane::packetLayout(held);
    StreamPort& io = c.io;
    io.send(in.data, in.size, chunk);
    // Each call consumes at least one byte or reports that more is needed, so
    // the stream is exhausted within a bounded number of calls.
    for (size_t calls = 0; calls < size + 16; ++calls) {
        SensorSample sample{};
        const size_t before = static_cast<size_t>(io.available()) + io.pending();
        // The failures come as results: raising them would cost more than
        // the rest of an input (readPacket raises exactly these).
        const char* error = c.imu->tryReadPacket(&sample);
        if (!error) {
            fuzz::check(
                before - io.available() - io.pending() >= static_cast<size_t>(layout.length),
                "a decoded packet was consumed whole");
            checkFinite(sample, held);
        } else {
            static ReadFailures failures;
            const size_t known = failures.indexOf(error);
            if (known == ReadFailures::kNotEnoughData && io.pending() == 0) break;
        }
        fuzz::check(io.available() >= 0 && io.available() <= 4096, "buffer bounds");
    }
    return 0;
}
