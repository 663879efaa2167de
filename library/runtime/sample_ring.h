// The ring of samples between the acquisition thread (one writer) and the
// caller of fenlarkGetData (one reader at a time).
//
// The writer reserves the slot after head, fills it without the lock and
// then publishes it. Reserving moves tail on when the ring is full, so the
// reader never reads the slot being filled: it only reads up to head.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <shared_mutex>

#include "quorvane.h"

namespace Quorvane {

class SampleRing {
  public:
    // At least 2 slots, whatever is asked: the writer needs one slot the
    // reader cannot be on.
    explicit SampleRing(uint16_t length);

    uint16_t length() const { return length_; }

    // Empties the ring to slot 0 holding the initial sample (zero values,
    // identity quaternion). Takes the write lock.
    void reset();

    // Writer: reserves the next slot (dropping the oldest unread sample when
    // the ring is full) and returns it for filling. Takes the write lock.
    SensorSample* reserve();
    // Writer: makes the reserved slot the newest sample. Takes the write lock.
    void publish();

    // Reader: copies the sample at the read position and moves on unless it
    // is the newest. Takes the write lock (it moves the read position).
    void read(SensorSample* out);
    // Copies the newest sample. Takes the read lock.
    void newest(SensorSample* out) const;

    // Reader: waits until read() would hand out a sample it has not handed
    // out before, at most `timeout`. True when there is one.
    bool waitUnread(std::chrono::milliseconds timeout);

    static SensorSample initialSample();

  private:
    uint16_t length_;
    std::unique_ptr<SensorSample[]> slots_;
    mutable std::shared_mutex lock_;
    uint16_t head_ = 0;  // newest published sample
    uint16_t tail_ = 0;  // next sample the reader gets
    uint16_t next_ = 0;  // slot reserved by the writer
    // The sample at head_ has been handed out by read() (or is the initial one).
    bool newestRead_ = true;
    std::condition_variable_any published_;
};

}  // namespace Quorvane
