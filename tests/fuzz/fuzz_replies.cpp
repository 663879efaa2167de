// Fuzzes the handling of device replies: the identification text, and read
// replies with their status and checksum.
#include <cstdint>
#include <cstring>

#include "fenlark_imu.h"
#include "fuzz_harness.h"

using Quorvane::testing::Bytes;
using Quorvane::testing::FakeIO;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Quorvane::setSleepFunction(fuzz::noSleep);
    fuzz::Input in{data, size};
    const Bytes idReply = in.take(in.byte());
    const uint8_t length = in.byte() % 217;
    const uint8_t address = in.byte();
    const Bytes readReply = in.take(in.size);

    FakeIO io;
    io.open("/dev/fuzz", 115200);
    io.responder = [&](const Bytes& frame) {
        if (frame.size() == 2)
            io.feed(idReply);
        else if (frame.size() == 6)
            io.feed(readReply);
        else if (frame.size() > 1)
            io.feed(Bytes{0x00});
    };
    std::unique_ptr<Quorvane::FenlarkIMU> imu;
    try {
        imu = std::make_unique<Quorvane::FenlarkIMU>(&io);
    } catch (const std::runtime_error& e) {
        fuzz::expectKnownError(e, {"FenlarkIMU:  No device found, no ID received",
                                   "FenlarkIMU:  No device found, incorrect ID"});
        fuzz::check(idReply.size() >= 25 || std::strstr(e.what(), "no ID"),
                    "short replies are no ID");
        return 0;
    }
    fuzz::check(idReply.size() >= 25, "identified from a reply of 25 bytes or more");
    fuzz::check(std::strlen(imu->id()) <= 7, "id holds at most 7 characters");

    try {
        imu->readCommand(1, address, length);
        fuzz::check(readReply.size() >= length + 2u && readReply[0] == 0,
                    "accepted reply is whole");
        unsigned sum = 0;
        for (int i = 1; i <= length; ++i) sum += readReply[i];
        fuzz::check(static_cast<uint8_t>(sum) == readReply[length + 1],
                    "accepted checksum matches");
        fuzz::check(std::memcmp(imu->payload(), readReply.data() + 1, length) == 0,
                    "payload copied");
    } catch (const std::runtime_error& e) {
        fuzz::expectKnownError(e, {"FenlarkIMU: Read command failed"});
    }
    return 0;
}
