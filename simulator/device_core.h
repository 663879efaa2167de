// The tracker's command handling: parser, parameter memory, stream switch,
// injected faults and statistics. Pure: bytes in, reply bytes out.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "frame_parser.h"
#include "identification.h"
#include "param_memory.h"

namespace sim {

// Misbehaviour to inject, for testing the host's error handling.
struct Faults {
    bool noId = false;         // ESC 'I' gets no reply at all
    bool shortId = false;      // identification reply cut to 24 bytes
    bool wrongId = false;      // identification text "Fenlork ..." that does not parse
    bool badChecksum = false;  // read replies carry a checksum one too high
    // Non-zero: every R/W/S/C reply carries this status byte instead of the
    // real one, and W/S/C leave the memory unchanged.
    std::uint8_t status = 0;
    // Every reply leaves the device this many milliseconds after its command
    // arrived. Applied by the serving thread; the core ignores it.
    unsigned replyDelayMs = 0;

    // Stream faults, applied by the serving thread (the core ignores them).
    // N counts the packets sent since power-up; 0 switches a fault off.
    unsigned garbageEvery = 0;   // after every Nth packet 1..8 garbage bytes, never 'A'
    unsigned wrongEndEvery = 0;  // every Nth packet ends in 0x5B instead of 'Z'
    unsigned dropByteEvery = 0;  // every Nth packet loses one of its value bytes
    unsigned pauseEvery = 0;     // after every Nth packet the stream pauses for pauseMs;
    unsigned pauseMs = 0;        // samples measured meanwhile are not sent
    // Unplugged right after sending this many packets (see TrackerSim::unplug).
    std::uint64_t unplugAfter = 0;
};

// Commands received, by command letter or single-byte command.
struct CommandStats {
    std::array<std::uint64_t, 256> counts{};
    std::vector<std::uint8_t> lastFrame;  // bytes of the last complete frame
    std::uint64_t ignoredBytes = 0;       // bytes that formed no command
};

class DeviceCore {
  public:
    using SaveHandler = std::function<void(const ParameterMemory&)>;

    // Streaming starts switched on when the stored configuration asks for it.
    DeviceCore(Identity identity, ParameterMemory memory, Faults faults = {});

    // Called on '9' with the memory to persist.
    void setSaveHandler(SaveHandler handler) { onSave_ = std::move(handler); }

    // Consumes received bytes and appends the replies they produce.
    void receive(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& reply);
    void receive(const std::vector<std::uint8_t>& data, std::vector<std::uint8_t>& reply) {
        receive(data.data(), data.size(), reply);
    }
    // Drops a partial frame after the host went silent in the middle of it.
    void abandonFrame() { parser_.reset(); }
    bool midFrame() const { return parser_.midFrame(); }

    bool streaming() const { return streaming_; }
    void setStreaming(bool on) { streaming_ = on; }

    const Faults& faults() const { return faults_; }
    void setFaults(const Faults& faults) { faults_ = faults; }

    const Identity& identity() const { return identity_; }
    const ParameterMemory& memory() const { return memory_; }
    ParameterMemory& memory() { return memory_; }

    CommandStats stats() const;
    void resetStats();

  private:
    void handle(const Command& command, std::vector<std::uint8_t>& reply);
    void handleRead(const Command& command, std::vector<std::uint8_t>& reply);
    void handleModify(const Command& command, std::vector<std::uint8_t>& reply);

    Identity identity_;
    ParameterMemory memory_;
    Faults faults_;
    FrameParser parser_;
    bool streaming_;
    SaveHandler onSave_;
    std::array<std::uint64_t, 256> counts_{};
    std::vector<std::uint8_t> lastFrame_;
    std::uint64_t ignoredBase_ = 0;  // parser's ignored count at the last reset
};

// Low 8 bits of the sum of the bytes.
std::uint8_t checksum(const std::uint8_t* data, std::size_t size);

}  // namespace sim
