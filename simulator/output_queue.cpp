#include "output_queue.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace sim {

void OutputQueue::schedule(Clock::time_point due, std::vector<std::uint8_t> bytes) {
    if (!bytes.empty()) scheduled_.push_back({due, std::move(bytes)});
}

void OutputQueue::push(const std::vector<std::uint8_t>& bytes) {
    if (head_ > 0 && head_ == fifo_.size()) {
        fifo_.clear();
        head_ = 0;
    }
    const std::size_t used = fifo_.size() - head_;
    const std::size_t room = capacity_ > used ? capacity_ - used : 0;
    const std::size_t taken = std::min(room, bytes.size());
    fifo_.insert(fifo_.end(), bytes.begin(), bytes.begin() + taken);
    dropped_ += bytes.size() - taken;
}

void OutputQueue::release(Clock::time_point now) {
    while (!scheduled_.empty() && scheduled_.front().due <= now) {
        push(scheduled_.front().bytes);
        scheduled_.pop_front();
    }
}

std::optional<OutputQueue::Clock::time_point> OutputQueue::nextDue() const {
    if (scheduled_.empty()) return std::nullopt;
    return scheduled_.front().due;
}

void OutputQueue::flush(int fd) {
    while (hasBytesToWrite()) {
        const ssize_t n = ::write(fd, fifo_.data() + head_, fifo_.size() - head_);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // EAGAIN: the host is not reading; try again later
        head_ += static_cast<std::size_t>(n);
    }
    if (head_ == fifo_.size()) {
        fifo_.clear();
        head_ = 0;
    } else if (head_ > capacity_) {
        fifo_.erase(fifo_.begin(), fifo_.begin() + static_cast<std::ptrdiff_t>(head_));
        head_ = 0;
    }
}

}  // namespace sim
