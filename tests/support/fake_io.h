// A scripted port for unit tests: records every write, and serves replies
// queued in advance (or produced by a responder) on the following read().
#pragma once

#include <algorithm>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "fenlark_io.h"

namespace Quorvane::testing {

using Bytes = std::vector<unsigned char>;

class FakeIO : public BufferedFenlarkIO {
  public:
    explicit FakeIO(int capacity = 4096) : BufferedFenlarkIO(capacity) {}

    bool open(const std::string& path, int) override {
        currentPath = path;
        setState(State::Open);
        return true;
    }
    bool close() override {
        currentPath.clear();
        setState(State::Closed);
        ++closeCalls;
        return true;
    }
    bool isOpen() override { return state() == State::Open; }

    // Bytes the "device" has sent, delivered by later read() calls.
    void feed(const Bytes& bytes) { incoming.insert(incoming.end(), bytes.begin(), bytes.end()); }
    void feed(const std::string& text) {
        incoming.insert(incoming.end(), text.begin(), text.end());
    }

    // Called for every write; may feed() a reply.
    std::function<void(const Bytes&)> responder;

    std::vector<Bytes> writes;
    int readDeviceCalls = 0;
    int purgeCalls = 0;
    int closeCalls = 0;
    // Largest chunk one readDevice() hands over (to model bytes trickling in).
    int chunk = 1 << 20;

  protected:
    int readDevice(unsigned char* into, int max) override {
        ++readDeviceCalls;
        const int n = std::min<int>({max, chunk, static_cast<int>(incoming.size())});
        std::copy(incoming.begin(), incoming.begin() + n, into);
        incoming.erase(incoming.begin(), incoming.begin() + n);
        return n;
    }
    bool writeDevice(const unsigned char* bytes, int length) override {
        writes.emplace_back(bytes, bytes + length);
        if (responder) responder(writes.back());
        return true;
    }
    void purgeDevice() override {
        ++purgeCalls;
        incoming.clear();
    }
    // Bytes still to come are there at once; otherwise the wait runs out.
    bool waitDevice(int timeoutMs, int) override {
        if (!incoming.empty()) return true;
        sleepMs(timeoutMs);
        return false;
    }

  public:
    std::deque<unsigned char> incoming;
};

}  // namespace Quorvane::testing
