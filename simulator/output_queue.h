// The device's transmit side: replies wait for their due time, then join a
// bounded FIFO that drains into the non-blocking master fd. When the host
// does not read and the FIFO is full, new bytes are dropped, as a device
// FIFO overflows; nothing ever blocks.
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

    explicit OutputQueue(std::size_t capacity) : capacity_(capacity) {}

    // Bytes that leave no earlier than due, and after all bytes scheduled
    // before them.
    void schedule(Clock::time_point due, std::vector<std::uint8_t> bytes);
    // Bytes that enter the FIFO at once (stream packets).
    void push(const std::vector<std::uint8_t>& bytes);
    // Moves scheduled bytes whose time has come into the FIFO.
    void release(Clock::time_point now);
    std::optional<Clock::time_point> nextDue() const;

    bool hasBytesToWrite() const { return head_ < fifo_.size(); }
    // Writes what the fd accepts without blocking.
    void flush(int fd);

    std::uint64_t droppedBytes() const { return dropped_; }

  private:
    struct Scheduled {
        Clock::time_point due;
        std::vector<std::uint8_t> bytes;
    };

    std::size_t capacity_;
    std::deque<Scheduled> scheduled_;
    std::vector<std::uint8_t> fifo_;
    std::size_t head_ = 0;  // first unwritten byte in fifo_
    std::uint64_t dropped_ = 0;
};

}  // namespace sim
