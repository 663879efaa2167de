#include "frame_parser.h"

#include <utility>

namespace sim {
namespace {

constexpr std::size_t kHeaderSize = 6;

bool isFrameLetter(std::uint8_t byte) {
    return byte == kIdentify || byte == kRead || byte == kWrite || byte == kSetBits ||
           byte == kClearBits;
}

bool isSingleByteCommand(std::uint8_t byte) {
    return byte == kStopStream || byte == kStartStream || byte == kSave;
}

}  // namespace

void FrameParser::reset() {
    ignored_ += current_.frame.size();
    current_ = Command{};
    state_ = State::Idle;
}

std::optional<Command> FrameParser::feed(std::uint8_t byte) {
    switch (state_) {
        case State::Idle:
            if (byte == kEsc) {
                current_ = Command{};
                current_.frame.push_back(byte);
                state_ = State::Letter;
            } else if (isSingleByteCommand(byte)) {
                Command command;
                command.code = byte;
                return command;
            } else {
                ++ignored_;
            }
            return std::nullopt;

        case State::Letter:
            if (byte == kEsc) {  // a repeated ESC restarts the frame
                ++ignored_;
                return std::nullopt;
            }
            if (!isFrameLetter(byte)) {
                ignored_ += current_.frame.size() + 1;
                current_ = Command{};
                state_ = State::Idle;
                return std::nullopt;
            }
            current_.code = byte;
            current_.frame.push_back(byte);
            if (byte == kIdentify) {
                state_ = State::Idle;
                return std::exchange(current_, Command{});
            }
            state_ = State::Header;
            return std::nullopt;

        case State::Header:
            current_.frame.push_back(byte);
            if (current_.frame.size() < kHeaderSize) return std::nullopt;
            return finishHeader();

        case State::Payload:
            current_.frame.push_back(byte);
            current_.payload.push_back(byte);
            if (current_.payload.size() == current_.length) state_ = State::Checksum;
            return std::nullopt;

        case State::Checksum:
            current_.frame.push_back(byte);
            current_.checksum = byte;
            state_ = State::Idle;
            return std::exchange(current_, Command{});
    }
    return std::nullopt;
}

std::optional<Command> FrameParser::finishHeader() {
    const auto& f = current_.frame;
    current_.address = f[2] + 256u * f[3];
    current_.bank = f[4];
    current_.length = f[5];
    if (current_.code == kRead) {
        state_ = State::Idle;
        return std::exchange(current_, Command{});
    }
    state_ = current_.length == 0 ? State::Checksum : State::Payload;
    return std::nullopt;
}

}  // namespace sim
