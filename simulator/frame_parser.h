// Byte-at-a-time parser of the host's command stream. Pure: no I/O, no clock.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace sim {

constexpr std::uint8_t kEsc = 0x1B;
constexpr std::uint8_t kIdentify = 'I';
constexpr std::uint8_t kRead = 'R';
constexpr std::uint8_t kWrite = 'W';
constexpr std::uint8_t kSetBits = 'S';
constexpr std::uint8_t kClearBits = 'C';
constexpr std::uint8_t kStopStream = ' ';
constexpr std::uint8_t kStartStream = '0';
constexpr std::uint8_t kSave = '9';

struct Command {
    // The command letter of a frame ('I', 'R', 'W', 'S', 'C') or the single
    // byte of a single-byte command (' ', '0', '9').
    std::uint8_t code = 0;
    unsigned address = 0;  // byte 2 + 256 * byte 3
    int bank = 0;
    unsigned length = 0;
    std::vector<std::uint8_t> payload;  // W, S, C only
    std::uint8_t checksum = 0;          // W, S, C only: as received
    std::vector<std::uint8_t> frame;    // every byte of a frame, empty for single bytes

    bool isFrame() const { return !frame.empty(); }
};

class FrameParser {
  public:
    // Consumes one byte; returns the command it completes, if any.
    std::optional<Command> feed(std::uint8_t byte);

    // True while a frame has begun but is not complete.
    bool midFrame() const { return state_ != State::Idle; }
    // Drops a partial frame (the device's inter-byte timeout).
    void reset();

    // Bytes dropped because they formed no command: stray bytes outside a
    // frame, an ESC followed by an unknown letter, and frames cut by reset().
    std::uint64_t ignoredBytes() const { return ignored_; }

  private:
    enum class State { Idle, Letter, Header, Payload, Checksum };

    std::optional<Command> finishHeader();

    State state_ = State::Idle;
    Command current_;
    std::uint64_t ignored_ = 0;
};

}  // namespace sim
