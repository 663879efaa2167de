#include "tracker_sim.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <iostream>
#include <stdexcept>
#include <utility>

#include "output_queue.h"
#include "state_file.h"

namespace sim {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Longest sleep of the serving thread, so a stop request is seen promptly.
constexpr milliseconds kTick{10};
constexpr std::size_t kReadChunk = 512;

ParameterMemory initialMemory(const Options& options) {
    if (options.stateFile.empty()) return ParameterMemory::factory();
    if (auto stored = loadStateFile(options.stateFile)) return *stored;
    return ParameterMemory::factory();
}

Identity identityOf(const Options& options) {
    return Identity{options.id, options.firmwareMajor, options.firmwareMinor};
}

int pollTimeoutMs(Clock::time_point now, Clock::time_point wake) {
    if (wake <= now) return 0;
    const auto ms = std::chrono::ceil<milliseconds>(wake - now).count();
    return static_cast<int>(std::min<long long>(ms, kTick.count()));
}

}  // namespace

TrackerSim::TrackerSim(Options options)
    : options_(std::move(options)),
      core_(identityOf(options_), initialMemory(options_), options_.faults) {
    core_.setSaveHandler([this](const ParameterMemory& memory) { save(memory); });
    thread_ = std::thread([this] { serve(); });
}

TrackerSim::~TrackerSim() {
    stop_.store(true);
    thread_.join();
}

void TrackerSim::save(const ParameterMemory& memory) {
    if (options_.stateFile.empty()) return;
    try {
        saveStateFile(options_.stateFile, memory);
    } catch (const std::exception& e) {
        std::cerr << e.what() << '\n';  // a device cannot report this; the user can
    }
}

void TrackerSim::serve() {
    const int master = pty_.masterFd();
    const auto powerUp = Clock::now();
    const milliseconds frameTimeout{options_.frameTimeoutMs};
    OutputQueue out(options_.transmitCapacity);
    bool pacing = false;  // packets are being timed
    auto nextPacket = powerUp;
    auto lastByte = powerUp;
    std::vector<std::uint8_t> input(kReadChunk), reply, packet;

    while (!stop_.load()) {
        auto now = Clock::now();
        auto wake = now + kTick;
        if (auto due = out.nextDue()) wake = std::min(wake, *due);
        if (pacing) wake = std::min(wake, nextPacket);

        pollfd pfd{master, static_cast<short>(POLLIN | (out.hasBytesToWrite() ? POLLOUT : 0)), 0};
        if (::poll(&pfd, 1, pollTimeoutMs(now, wake)) < 0 && errno != EINTR) {
            std::cerr << "tracker_sim: poll failed, device stops serving\n";
            return;
        }
        now = Clock::now();

        if (pfd.revents & POLLIN) {
            ssize_t n;
            while ((n = ::read(master, input.data(), input.size())) > 0) {
                unsigned delayMs;
                reply.clear();
                {
                    std::lock_guard lock(mutex_);
                    core_.receive(input.data(), static_cast<std::size_t>(n), reply);
                    delayMs = core_.faults().replyDelayMs;
                }
                out.schedule(now + milliseconds(delayMs), reply);
                lastByte = now;
            }
        }

        bool streaming;
        ConfigBytes config;
        unsigned frequency;
        {
            std::lock_guard lock(mutex_);
            if (frameTimeout.count() > 0 && core_.midFrame() && now - lastByte >= frameTimeout)
                core_.abandonFrame();
            streaming = core_.streaming();
            config = core_.memory().configBytes();
            frequency = core_.memory().frequency();
        }

        out.release(now);

        // The stream seam: one packet per period while streaming.
        if (streaming && options_.packetSource && frequency > 0) {
            const auto period = std::chrono::duration_cast<Clock::duration>(
                std::chrono::nanoseconds(1'000'000'000 / frequency));
            if (!pacing) nextPacket = now;
            pacing = true;
            while (nextPacket <= now) {
                const auto ticks =
                    std::chrono::duration_cast<std::chrono::microseconds>(nextPacket - powerUp)
                        .count() /
                    100;
                packet.clear();
                options_.packetSource->appendPacket(config, static_cast<std::uint32_t>(ticks),
                                                    packet);
                out.push(packet);
                nextPacket += period;
                // After a long stall, resume the rhythm instead of bursting.
                if (now - nextPacket > 10 * period) nextPacket = now + period;
            }
        } else {
            pacing = false;
        }

        out.flush(master);
        dropped_.store(out.droppedBytes());
    }
}

bool TrackerSim::streaming() const {
    std::lock_guard lock(mutex_);
    return core_.streaming();
}

Faults TrackerSim::faults() const {
    std::lock_guard lock(mutex_);
    return core_.faults();
}

void TrackerSim::setFaults(const Faults& faults) {
    std::lock_guard lock(mutex_);
    core_.setFaults(faults);
}

std::vector<std::uint8_t> TrackerSim::bankCopy(int bank) const {
    std::lock_guard lock(mutex_);
    return core_.memory().bank(bank);
}

void TrackerSim::writeBank(int bank, unsigned address, const std::vector<std::uint8_t>& bytes) {
    std::lock_guard lock(mutex_);
    if (core_.memory().modify(MemoryOp::Write, bank, address, bytes.data(), bytes.size()) !=
        kStatusOk)
        throw std::out_of_range("tracker_sim: write beyond parameter bank " + std::to_string(bank));
}

ConfigBytes TrackerSim::configBytes() const {
    std::lock_guard lock(mutex_);
    return core_.memory().configBytes();
}

void TrackerSim::setConfigBytes(const ConfigBytes& config) {
    std::lock_guard lock(mutex_);
    core_.memory().modify(MemoryOp::Write, 0, kConfigAddress, config.data(), config.size());
}

std::uint64_t TrackerSim::commandCount(std::uint8_t code) const {
    std::lock_guard lock(mutex_);
    return core_.stats().counts[code];
}

std::vector<std::uint8_t> TrackerSim::lastFrame() const {
    std::lock_guard lock(mutex_);
    return core_.stats().lastFrame;
}

std::uint64_t TrackerSim::ignoredBytes() const {
    std::lock_guard lock(mutex_);
    return core_.stats().ignoredBytes;
}

void TrackerSim::resetCounters() {
    std::lock_guard lock(mutex_);
    core_.resetStats();
}

}  // namespace sim
