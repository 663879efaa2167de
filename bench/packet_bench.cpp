// Packet decoding throughput from memory, without a port's latency: the pure
// decoder alone, and readPacket with its search and buffer handling.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "fenlark_imu.h"
#include "packet_decoder.h"
#include "sensor_config.h"

namespace {

using Bytes = std::vector<unsigned char>;
using Quorvane::testing::sensorConfig;

// `count` back-to-back packets for the configuration.
Bytes packets(const SensorConfig& config, int count) {
    const Quorvane::PacketLayout layout = Quorvane::packetLayout(config);
    Bytes all;
    for (int n = 0; n < count; ++n) {
        Bytes p(static_cast<size_t>(layout.length), 0);
        p[0] = 'A';
        const uint32_t t = static_cast<uint32_t>(n) * 100;
        std::memcpy(&p[1], &t, 4);
        if (config.raw) {
            for (size_t i = 5; i + 1 < p.size(); ++i) p[i] = static_cast<unsigned char>(i * 13 + n);
        } else {
            // Readings the packet screen believes: small values that vary.
            for (size_t i = 5; i + 4 < p.size(); i += 4) {
                const float v = 0.25f * static_cast<float>((i + static_cast<size_t>(n)) % 5);
                std::memcpy(&p[i], &v, 4);
            }
        }
        p.back() = 'Z';
        all.insert(all.end(), p.begin(), p.end());
    }
    return all;
}

// A port that always has the next bytes of an endless packet stream ready.
// Where the stream starts over, the clock jumps back, as after a device
// restart: the packets that follow confirm it.
class MemoryPort : public Quorvane::BufferedFenlarkIO {
  public:
    explicit MemoryPort(Bytes stream) : BufferedFenlarkIO(4096), stream_(std::move(stream)) {}
    bool open(const std::string& path, int) override {
        currentPath = path;
        setState(State::Open);
        return true;
    }
    bool close() override {
        setState(State::Closed);
        return true;
    }
    bool isOpen() override { return state() == State::Open; }
    std::string reply;  // served once after the next write, for the connection handshake

  protected:
    int readDevice(unsigned char* into, int max) override {
        if (!reply.empty()) {
            const int n = std::min<int>(max, static_cast<int>(reply.size()));
            std::memcpy(into, reply.data(), static_cast<size_t>(n));
            reply.erase(0, static_cast<size_t>(n));
            return n;
        }
        if (!streaming_) return 0;
        int done = 0;
        while (done < max) {
            const int n = std::min<int>(max - done, static_cast<int>(stream_.size() - pos_));
            std::memcpy(into + done, stream_.data() + pos_, static_cast<size_t>(n));
            done += n;
            pos_ = (pos_ + static_cast<size_t>(n)) % stream_.size();
        }
        return done;
    }
    bool writeDevice(const unsigned char* bytes, int length) override {
        if (length == 2 && bytes[1] == 'I')
            reply = std::string("\0I", 2) + "Fenlark v1.0 #BENCH\r\n    ";
        else if (length == 1 && bytes[0] == '0')
            streaming_ = true;
        else if (length > 1)
            reply = std::string(1, '\0');
        return true;
    }
    void purgeDevice() override {}

  private:
    Bytes stream_;
    size_t pos_ = 0;
    bool streaming_ = false;
};

void noSleep(int) {}

void BM_DecodePure(benchmark::State& state) {
    const SensorConfig config =
        sensorConfig(static_cast<int32_t>(state.range(0)), 100, state.range(1) != 0);
    const Quorvane::PacketLayout layout = Quorvane::packetLayout(config);
    const Bytes stream = packets(config, 1000);
    SensorSample sample{};
    for (auto _ : state) {
        for (size_t off = 0; off < stream.size(); off += static_cast<size_t>(layout.length)) {
            const int start = Quorvane::findPacketStart(&stream[off], layout.length);
            if (start != 0 || stream[off + static_cast<size_t>(layout.length) - 1] != 'Z')
                state.SkipWithError("bad stream");
            Quorvane::decodePacket(&stream[off], layout, config.channels, &sample);
        }
        benchmark::DoNotOptimize(sample);
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_DecodePure)->Args({0x3FF, 0})->Args({0x3FF, 1})->Args({0x7FF, 0});

void BM_ReadPacket(benchmark::State& state) {
    const SensorConfig config =
        sensorConfig(static_cast<int32_t>(state.range(0)), 100, state.range(1) != 0);
    Quorvane::setSleepFunction(noSleep);  // the handshake's pauses are not what is measured
    MemoryPort port(packets(config, 64));
    port.open("memory", 115200);
    Quorvane::FenlarkIMU imu(&port);
    imu.setConfig(config);
    imu.startStreaming();
    Quorvane::setSleepFunction(nullptr);
    SensorSample sample{};
    for (auto _ : state) {
        imu.readPacket(&sample);
        benchmark::DoNotOptimize(sample);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadPacket)->Args({0x3FF, 0})->Args({0x3FF, 1})->Args({0x7FF, 0});

}  // namespace

BENCHMARK_MAIN();
