// The device's transmit side, paced like its serial line: 115200 baud with
// 8 data bits and 2 stop bits, 11 bits a byte, 10472.7 bytes/s. A byte
// reaches the host (is written to the pseudo-terminal) only when the bytes
// before it had their wire time.
//
// Replies wait for their due time, then queue for the line; while more than
// `capacity` bytes wait, further reply bytes are dropped (the host stopped
// reading). A stream packet enters only when it fits, with everything still
// waiting, into the transmitter's small FIFO (or the line is idle); otherwise
// the sample is skipped. When the host's side is full the line stalls.
// Nothing ever blocks.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace sim {

class OutputQueue {
  public:
    using Clock = std::chrono::steady_clock;
    // 11 bits at 115200 baud.
    static constexpr std::chrono::nanoseconds kByteTime{95486};

    // capacity: bytes that may wait for the line; fifo: bytes a packet must
    // fit into together with those waiting.
    OutputQueue(std::size_t capacity, std::size_t fifo) : capacity_(capacity), fifo_(fifo) {}

    // Bytes that leave no earlier than due, and after all bytes before them.
    void schedule(Clock::time_point due, std::vector<std::uint8_t> bytes);
    // Moves scheduled bytes whose time has come to the line, in order.
    void release(Clock::time_point now);
    // A stream packet measured at `at`; false when it does not fit (skipped).
    bool offerPacket(const std::vector<std::uint8_t>& bytes, Clock::time_point at);
    // Bytes whose wire time has passed by t leave the device.
    void advance(Clock::time_point t);
    // Hands the bytes that left the device to the host's side without blocking.
    void flush(int fd);

    // When something next becomes due: a reply, or the next bytes on the line.
    std::optional<Clock::time_point> nextDue() const;
    // Bytes are waiting for room on the host's side (poll for writability).
    bool hasBytesToWrite() const { return head_ < outbox_.size(); }
    // Bytes still in the device, not yet through the line.
    std::size_t waiting() const { return line_.size(); }
    // Nothing scheduled, on the line or held back by a full host side.
    bool idle() const { return scheduled_.empty() && line_.empty() && !hasBytesToWrite(); }

    std::uint64_t droppedBytes() const { return dropped_; }

  private:
    struct Scheduled {
        Clock::time_point due;
        std::vector<std::uint8_t> bytes;
    };

    void enqueue(const std::uint8_t* bytes, std::size_t size, Clock::time_point at);

    std::size_t capacity_;
    std::size_t fifo_;
    std::deque<Scheduled> scheduled_;
    std::deque<std::uint8_t> line_;     // waiting in the device
    std::vector<std::uint8_t> outbox_;  // through the line, not yet taken by the host side
    std::size_t head_ = 0;              // first unwritten byte of outbox_
    Clock::time_point lineFreeAt_{};    // end of the last byte's wire time
    bool hostFull_ = false;             // the last flush left bytes behind
    std::uint64_t dropped_ = 0;
};

}  // namespace sim
