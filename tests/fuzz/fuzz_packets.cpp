// Fuzzes packet decoding: arbitrary byte streams, arriving in arbitrary
// chunks, under arbitrary channel masks and RAW settings.
#include <cstdint>
#include <cstring>

#include "fenlark_imu.h"
#include "fuzz_harness.h"
#include "packet_decoder.h"

using Quorvane::testing::Bytes;
using Quorvane::testing::FakeIO;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Quorvane::setSleepFunction(fuzz::noSleep);
    fuzz::Input in{data, size};
    SensorConfig config{};
    config.channels = static_cast<int16_t>(in.byte() | in.byte() << 8);
    config.raw = in.byte() & 1;
    const int chunk = 1 + in.byte() % 64;

    FakeIO io;
    io.open("/dev/fuzz", 115200);
    io.responder = [&io](const Bytes& frame) {
        if (frame.size() == 2)
            io.feed(std::string("\0I", 2) + "Fenlark v1.0 #FUZZ\r\n     ");
        else if (frame.size() > 1)
            io.feed(Bytes{0x00});
    };
    Quorvane::FenlarkIMU imu(&io);
    imu.setConfig(config);
    io.responder = nullptr;

    const Quorvane::PacketLayout layout = Quorvane::packetLayout(config);
    io.chunk = chunk;
    io.feed(in.take(in.size));
    // Each call consumes at least one byte or reports that more is needed, so
    // the stream is exhausted within a bounded number of calls.
    for (size_t calls = 0; calls < size + 16; ++calls) {
        SensorSample sample;
        std::memset(&sample, 0, sizeof sample);
        const int before = io.available() + static_cast<int>(io.incoming.size());
        try {
            imu.readPacket(&sample);
            fuzz::check(
                before - io.available() - static_cast<int>(io.incoming.size()) >= layout.length,
                "a decoded packet was consumed whole");
        } catch (const std::runtime_error& e) {
            fuzz::expectKnownError(e, {"FenlarkIMU: No appropriate data",
                                       "FenlarkIMU: Not enough data", "FenlarkIMU: Bad packet"});
            if (std::strcmp(e.what(), "FenlarkIMU: Not enough data") == 0 && io.incoming.empty())
                break;
        }
        fuzz::check(io.available() >= 0 && io.available() <= 4096, "buffer bounds");
    }
    return 0;
}
