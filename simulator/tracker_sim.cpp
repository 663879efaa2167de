#include "tracker_sim.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <iostream>
#include <stdexcept>
#include <utility>

#include "output_queue.h"
#include "state_file.h"
#include "stream_faults.h"

namespace sim {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::microseconds;
using std::chrono::milliseconds;

// Longest sleep of the serving thread, so a stop request is seen promptly.
constexpr milliseconds kTick{10};
constexpr std::size_t kReadChunk = 512;
// How long an unplug after the last packet waits for the line to drain.
constexpr milliseconds kUnplugGrace{100};
// Time the device takes to decode a command and prepare its reply, before
// the reply's first byte goes onto the line.
constexpr microseconds kProcessingDelay{500};
// Further behind than this, samples are not made up for.
constexpr milliseconds kLongestCatchUp{1000};

ParameterMemory initialMemory(const Options& options) {
    if (options.stateFile.empty()) return ParameterMemory::factory();
    if (auto stored = loadStateFile(options.stateFile)) return *stored;
    return ParameterMemory::factory();
}

int pollTimeoutMs(Clock::time_point now, Clock::time_point wake) {
    if (wake <= now) return 0;
    const auto ms = std::chrono::ceil<milliseconds>(wake - now).count();
    return static_cast<int>(std::min<long long>(ms, kTick.count()));
}

// The first sampling tick at or after tick: the device samples at
// floor(k * 10000 / frequency) for k = 0, 1, 2, ...
std::uint64_t gridAtOrAfter(std::uint64_t tick, unsigned frequency) {
    const std::uint64_t k = (tick * frequency + 9999) / 10000;  // ceil(tick * f / 10000)
    return k * 10000 / frequency;
}

}  // namespace

TrackerSim::TrackerSim(Options options)
    : options_(std::move(options)),
      core_(options_.identity, initialMemory(options_), options_.faults),
      stream_(options_.motion, options_.environment, options_.clockStart, options_.truthFile) {
    core_.setSaveHandler([this](const ParameterMemory& memory) { save(memory); });
    thread_ = std::thread([this] {
        serve();
        finished_.store(true);
    });
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
    // The device clock: 100 us ticks since power-up.
    auto wallOf = [&](std::uint64_t tick) {
        return powerUp + microseconds(100) * static_cast<std::int64_t>(tick);
    };
    auto tickAt = [&](Clock::time_point t) {
        return static_cast<std::uint64_t>((t - powerUp) / microseconds(100));
    };
    const milliseconds frameTimeout{options_.frameTimeoutMs};
    OutputQueue out(options_.transmitCapacity, options_.transmitFifo);
    StreamFaults spoiler(options_.environment.noiseSeed + 1);
    bool pacing = false;  // samples are being taken
    unsigned pacedFrequency = 0;
    std::uint64_t nextTick = 0;     // next sample
    std::uint64_t pausedUntil = 0;  // no packets before this tick (pause fault)
    std::optional<Clock::time_point> unplugSince;
    auto lastByte = powerUp;
    std::vector<std::uint8_t> input(kReadChunk), reply, packet;
    // Packets whose last byte has not reached the pseudo-terminal yet, with
    // the number of line bytes up to and including that last byte. Bytes
    // leave the line in order, and replies only join at its end.
    struct InFlight {
        std::uint32_t timestamp;
        std::size_t bytesAhead;
    };
    std::deque<InFlight> inFlight;
    auto advanceLine = [&](Clock::time_point t) {
        const std::size_t before = out.waiting();
        out.advance(t);
        const std::size_t moved = before - out.waiting();
        for (InFlight& p : inFlight) p.bytesAhead -= std::min(p.bytesAhead, moved);
    };
    // flushStart: taken just before the flush, so no host can have read a
    // byte before its logged time.
    auto logWrites = [&](Clock::time_point flushStart) {
        // Only when the host's side took everything is a byte that left the
        // line known to be written.
        if (out.hasBytesToWrite()) return;
        std::lock_guard lock(writeLogMutex_);
        while (!inFlight.empty() && inFlight.front().bytesAhead == 0) {
            writeLog_.push_back({inFlight.front().timestamp, flushStart});
            if (writeLog_.size() > kWriteLogSize) writeLog_.pop_front();
            inFlight.pop_front();
        }
    };

    while (!stop_.load()) {
        auto now = Clock::now();
        // An unplug waits for the last packet to leave, but not for long.
        if (unplugRequested_.load() ||
            (unplugSince && ((out.waiting() == 0 && !out.hasBytesToWrite()) ||
                             now - *unplugSince > kUnplugGrace))) {
            pty_.close();
            unplugged_.store(true);
            return;
        }

        auto wake = now + kTick;
        if (auto due = out.nextDue()) wake = std::min(wake, *due);
        if (pacing) wake = std::min(wake, wallOf(nextTick));

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
                    // Cleared with the command taking effect, so a caller who
                    // sees its effect never sees the line idle before its reply.
                    lineIdle_.store(false);
                    core_.receive(input.data(), static_cast<std::size_t>(n), reply);
                    delayMs = core_.faults().replyDelayMs;
                }
                out.schedule(now + kProcessingDelay + milliseconds(delayMs), reply);
                lastByte = now;
            }
        }

        bool streaming;
        ConfigBytes config;
        CalibrationData record;
        Faults faults;
        {
            std::lock_guard lock(mutex_);
            if (frameTimeout.count() > 0 && core_.midFrame() && now - lastByte >= frameTimeout)
                core_.abandonFrame();
            streaming = core_.streaming();
            config = core_.memory().configBytes();
            std::memcpy(&record, core_.memory().bank(0).data() + kCalibrationAddress,
                        sizeof record);
            faults = core_.faults();
        }
        const StreamConfig stream = StreamConfig::from(config);

        if (streaming && stream.frequency > 0 && !stream.ascii && !unplugSince) {
            if (!pacing || stream.frequency != pacedFrequency) {
                nextTick =
                    gridAtOrAfter(std::max(tickAt(now), pacing ? nextTick : 0), stream.frequency);
                pacing = true;
                pacedFrequency = stream.frequency;
            }
            // After a long stall of this process, resume the rhythm instead of
            // measuring the missed samples in a burst.
            if (now - wallOf(nextTick) > kLongestCatchUp)
                nextTick = gridAtOrAfter(tickAt(now), stream.frequency);
            while (wallOf(nextTick) <= now && !unplugSince) {
                const auto measured = wallOf(nextTick);
                // Everything up to the measuring time happens first.
                out.release(measured);
                advanceLine(measured);
                if (nextTick >= pausedUntil) {
                    const std::uint64_t index = sent_.load() + 1;
                    packet.clear();
                    if (options_.packetSource)
                        options_.packetSource->appendPacket(config, stream_.timestampAt(nextTick),
                                                            packet);
                    else
                        stream_.measure(nextTick, stream, record, packet);
                    spoiler.apply(faults, index, packet);
                    if (out.offerPacket(packet, measured)) {
                        lineIdle_.store(false);
                        inFlight.push_back({stream_.timestampAt(nextTick), out.waiting()});
                        if (!options_.packetSource) stream_.sent();
                        sent_.store(index);
                        if (hits(faults.pauseEvery, index))
                            pausedUntil = nextTick + 10 * std::uint64_t{faults.pauseMs};
                    } else {
                        skipped_.fetch_add(1);
                    }
                }
                if (faults.unplugAfter != 0 && sent_.load() >= faults.unplugAfter)
                    unplugSince = now;
                nextTick = gridAtOrAfter(nextTick + 1, stream.frequency);
            }
        } else {
            pacing = false;
        }
        if (faults.unplugAfter != 0 && sent_.load() >= faults.unplugAfter && !unplugSince)
            unplugSince = now;

        out.release(now);
        advanceLine(now);
        const auto flushStart = Clock::now();
        out.flush(master);
        logWrites(flushStart);
        stream_.flushTruth();
        dropped_.store(out.droppedBytes());
        lineIdle_.store(out.idle());
    }
}

std::optional<Quat> TrackerSim::truthAt(std::uint32_t timestamp) const {
    return stream_.truthAt(timestamp);
}

void TrackerSim::setMotion(const Motion& motion, bool resetOrientation) {
    makeMotionProfile(motion);  // throws here, in the caller's thread, for a bad script
    stream_.setMotion(motion, resetOrientation);
}

std::optional<TrackerSim::WriteTime> TrackerSim::packetWrittenAt(std::uint32_t timestamp) const {
    std::lock_guard lock(writeLogMutex_);
    // Callers ask about recent packets: search from the newest.
    for (auto it = writeLog_.rbegin(); it != writeLog_.rend(); ++it)
        if (it->timestamp == timestamp) return it->at;
    return std::nullopt;
}

std::optional<TrackerSim::PacketWrite> TrackerSim::lastPacketWritten() const {
    std::lock_guard lock(writeLogMutex_);
    if (writeLog_.empty()) return std::nullopt;
    return writeLog_.back();
}

void TrackerSim::unplug() {
    unplugRequested_.store(true);
    while (!unplugged_.load() && !finished_.load()) std::this_thread::sleep_for(milliseconds(1));
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
