#include "sample_ring.h"

#include <mutex>

namespace Quorvane {

SampleRing::SampleRing(uint16_t length)
    : length_(length < 2 ? 2 : length), slots_(new SensorSample[length_]) {
    for (uint16_t i = 0; i < length_; ++i) slots_[i] = initialSample();
}

SensorSample SampleRing::initialSample() {
    SensorSample s{};
    s.quat[0] = 1.0f;
    return s;
}

void SampleRing::reset() {
    std::unique_lock lock(lock_);
    slots_[0] = initialSample();
    head_ = tail_ = next_ = 0;
    newestRead_ = true;
}

SensorSample* SampleRing::reserve() {
    std::unique_lock lock(lock_);
    next_ = static_cast<uint16_t>((head_ + 1) % length_);
    if (next_ == tail_) tail_ = static_cast<uint16_t>((tail_ + 1) % length_);
    return &slots_[next_];
}

void SampleRing::publish() {
    {
        std::unique_lock lock(lock_);
        head_ = next_;
        newestRead_ = false;
    }
    published_.notify_all();
}

void SampleRing::read(SensorSample* out) {
    // The read position moves here, so this takes the lock exclusively:
    // two threads reading one handle then cannot corrupt it.
    std::unique_lock lock(lock_);
    *out = slots_[tail_];
    if (tail_ != head_)
        tail_ = static_cast<uint16_t>((tail_ + 1) % length_);
    else
        newestRead_ = true;
}

void SampleRing::newest(SensorSample* out) const {
    std::shared_lock lock(lock_);
    *out = slots_[head_];
}

bool SampleRing::waitUnread(std::chrono::milliseconds timeout) {
    std::unique_lock lock(lock_);
    return published_.wait_for(lock, timeout, [this] { return tail_ != head_ || !newestRead_; });
}

}  // namespace Quorvane
