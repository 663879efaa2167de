#include "output_queue.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace sim {
namespace {

// Wake at most about once a millisecond while bytes flow: about 10 bytes a time.
constexpr std::size_t kBurst = 10;

}  // namespace

void OutputQueue::schedule(Clock::time_point due, std::vector<std::uint8_t> bytes) {
    if (!bytes.empty()) scheduled_.push_back({due, std::move(bytes)});
}

void OutputQueue::enqueue(const std::uint8_t* bytes, std::size_t size, Clock::time_point at) {
    // An idle line starts sending when the bytes arrive, not earlier.
    if (line_.empty() && lineFreeAt_ < at) lineFreeAt_ = at;
    line_.insert(line_.end(), bytes, bytes + size);
}

void OutputQueue::release(Clock::time_point now) {
    while (!scheduled_.empty() && scheduled_.front().due <= now) {
        const Scheduled& s = scheduled_.front();
        const std::size_t room = capacity_ > line_.size() ? capacity_ - line_.size() : 0;
        const std::size_t taken = std::min(room, s.bytes.size());
        enqueue(s.bytes.data(), taken, s.due);
        dropped_ += s.bytes.size() - taken;
        scheduled_.pop_front();
    }
}

bool OutputQueue::offerPacket(const std::vector<std::uint8_t>& bytes, Clock::time_point at) {
    if (!line_.empty() && line_.size() + bytes.size() > fifo_) return false;
    enqueue(bytes.data(), bytes.size(), at);
    return true;
}

void OutputQueue::advance(Clock::time_point t) {
    if (hostFull_) {
        // Nothing moves while the host's side is full; the line idles meanwhile.
        lineFreeAt_ = std::max(lineFreeAt_, t);
        return;
    }
    if (line_.empty() || t <= lineFreeAt_) return;
    const auto sent = static_cast<std::size_t>((t - lineFreeAt_) / kByteTime);
    const std::size_t n = std::min(sent, line_.size());
    if (head_ == outbox_.size()) {
        outbox_.clear();
        head_ = 0;
    }
    outbox_.insert(outbox_.end(), line_.begin(), line_.begin() + static_cast<std::ptrdiff_t>(n));
    line_.erase(line_.begin(), line_.begin() + static_cast<std::ptrdiff_t>(n));
    lineFreeAt_ += kByteTime * static_cast<long>(n);
}

void OutputQueue::flush(int fd) {
    while (hasBytesToWrite()) {
        const ssize_t n = ::write(fd, outbox_.data() + head_, outbox_.size() - head_);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // EAGAIN: the host is not reading; try again later
        head_ += static_cast<std::size_t>(n);
    }
    hostFull_ = hasBytesToWrite();
    if (!hostFull_) {
        outbox_.clear();
        head_ = 0;
    }
}

std::optional<OutputQueue::Clock::time_point> OutputQueue::nextDue() const {
    std::optional<Clock::time_point> due;
    if (!scheduled_.empty()) due = scheduled_.front().due;
    if (!line_.empty() && !hostFull_) {
        const auto bytes = static_cast<long>(std::min(line_.size(), kBurst));
        const auto next = lineFreeAt_ + kByteTime * bytes;
        if (!due || next < *due) due = next;
    }
    return due;
}

}  // namespace sim
