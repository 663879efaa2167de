#include "fenlark_io.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace Quorvane {

FenlarkIO::~FenlarkIO() = default;

BufferedFenlarkIO::BufferedFenlarkIO(int capacity)
    : capacity_(capacity > 0 ? capacity : 1), buffer_(new unsigned char[capacity_]) {}

BufferedFenlarkIO::BufferedFenlarkIO(const BufferedFenlarkIO& other)
    : FenlarkIO(other),
      ports(other.ports),
      currentPath(),
      capacity_(other.capacity_),
      buffer_(new unsigned char[capacity_]) {
    // A copy never shares the device; it starts unopened with the buffered bytes.
    readPos_ = other.readPos_;
    writePos_ = other.writePos_;
    std::memcpy(buffer_.get(), other.buffer_.get(), static_cast<size_t>(capacity_));
}

BufferedFenlarkIO& BufferedFenlarkIO::operator=(const BufferedFenlarkIO& other) {
    if (this != &other) {
        std::unique_ptr<unsigned char[]> fresh(new unsigned char[other.capacity_]);
        std::memcpy(fresh.get(), other.buffer_.get(), static_cast<size_t>(other.capacity_));
        ports = other.ports;
        capacity_ = other.capacity_;
        buffer_ = std::move(fresh);
        readPos_ = other.readPos_;
        writePos_ = other.writePos_;
    }
    return *this;
}

BufferedFenlarkIO::~BufferedFenlarkIO() = default;

std::string BufferedFenlarkIO::portPath(unsigned index) {
    if (index >= ports.size()) throw std::runtime_error("Device index bigger than device count!");
    return ports[index];
}

std::string BufferedFenlarkIO::portName() {
    return currentPath;
}

unsigned BufferedFenlarkIO::portCount() {
    return static_cast<unsigned>(ports.size());
}

int BufferedFenlarkIO::read() {
    if (state_ == State::Unopened) throw std::runtime_error("No Fenlarker open");
    const int freeSpace = capacity_ - writePos_;
    if (freeSpace == 0 || state_ != State::Open) return 0;
    const int got = readDevice(buffer_.get() + writePos_, freeSpace);
    if (got <= 0) return 0;
    writePos_ += got;
    return got;
}

bool BufferedFenlarkIO::write(const unsigned char* bytes, int length) {
    if (state_ == State::Unopened) throw std::runtime_error("No Fenlarker open");
    if (state_ != State::Open || hungUp_ || length < 0) return false;
    return writeDevice(bytes, length);
}

void BufferedFenlarkIO::clear() {
    readPos_ = writePos_ = 0;
    if (state_ == State::Open) purgeDevice();
    sleepMs(5);
}

int BufferedFenlarkIO::available() {
    return writePos_ - readPos_;
}

const unsigned char* BufferedFenlarkIO::data() {
    return buffer_.get() + readPos_;
}

bool BufferedFenlarkIO::waitForData(int timeoutMs, int minBytes) {
    if (hungUp_) return false;  // nothing will come: the caller stops waiting
    if (state_ != State::Open) {
        sleepMs(timeoutMs);
        return false;
    }
    return waitDevice(timeoutMs, minBytes < 1 ? 1 : minBytes);
}

bool BufferedFenlarkIO::waitDevice(int timeoutMs, int /*minBytes*/) {
    sleepMs(timeoutMs);
    return false;
}

void BufferedFenlarkIO::consume(int count) {
    if (count <= 0) return;
    readPos_ += count;
    if (readPos_ >= writePos_) {
        readPos_ = writePos_ = 0;
    } else if (readPos_ > capacity_ / 4) {
        // Compact only past a quarter of the buffer, so that consuming one
        // packet after another moves memory rarely.
        std::memmove(buffer_.get(), buffer_.get() + readPos_,
                     static_cast<size_t>(writePos_ - readPos_));
        writePos_ -= readPos_;
        readPos_ = 0;
    }
}

namespace {
std::atomic<SleepFunction> sleepOverride{nullptr};
}

void sleepMs(int ms) {
    if (const SleepFunction f = sleepOverride.load(std::memory_order_relaxed)) {
        f(ms);
    } else if (ms > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
}

void sleepUs(int us) {
    if (const SleepFunction f = sleepOverride.load(std::memory_order_relaxed)) {
        f((us + 999) / 1000);
    } else if (us > 0) {
        std::this_thread::sleep_for(std::chrono::microseconds(us));
    }
}

void setSleepFunction(SleepFunction function) {
    sleepOverride.store(function);
}

}  // namespace Quorvane
