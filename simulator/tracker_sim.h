// A simulated tracker served on a pseudo-terminal: the host opens
// devicePath() like the tracker's serial port and talks to it.
//
// While streaming ("0" until " ") the device samples on its own clock, on
// the grid of ticks floor(k * 10000 / frequency) (100 us ticks since power-up),
// so timestamps step by 10000 / frequency. Each sample becomes one packet in
// the configured layout; with channel bit 10 the orientation values are w, x, y
// of the true Q_SW with w >= 0. Float mode sends the stored calibration record
// applied to the chips' readings; RAW mode the readings themselves (scales in
// chip_model.h). The matrices Ka, Kg, Km and their flags are stored but never
// applied to the values. ASCII output is not simulated: with the ascii flag
// set the device streams nothing.
//
// Pacing: bytes leave at the line's 10472.7 bytes/s (115200 baud, 8N2),
// replies included; a reply starts 0.5 ms after its command arrived (the
// device's processing time). Bytes reach the pseudo-terminal in chunks of
// about a millisecond, as a USB serial device delivers them. A sample whose packet does not fit
// into the transmitter FIFO (Options::transmitFifo) together with the bytes still waiting is
// skipped; the timestamps keep the measuring times, so the host sees gaps.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "device_core.h"
#include "motion.h"
#include "packet_source.h"
#include "param_memory.h"
#include "pty_port.h"
#include "sensor_model.h"
#include "sensor_stream.h"

namespace sim {

struct Options {
    Identity identity;  // what the identification reply says
    // Parameter memory persisted by '9' and loaded at start; empty: factory
    // state every time and '9' keeps nothing.
    std::string stateFile;
    Faults faults;
    // Replaces the built-in sensor stream when set (then no truth is kept).
    std::shared_ptr<PacketSource> packetSource;
    // How the tracker is moved; default: random trajectory with seed 1.
    Motion motion;
    // Magnetic environment, gyroscope bias, noise levels and seed.
    Environment environment;
    // Device timestamp at power-up, 100 us units; set near 2^32 to reach the wrap.
    std::uint32_t clockStart = 0;
    // CSV with the true Q_SW of every packet sent; empty: none.
    std::string truthFile;
    // A frame left incomplete this long is dropped, so a host that gave up
    // in the middle of a frame does not desynchronise the device. 0: never.
    unsigned frameTimeoutMs = 200;
    // Reply bytes that may wait for the line; beyond, reply bytes are dropped.
    std::size_t transmitCapacity = 4096;
    // Transmitter FIFO in bytes: a packet is sent only when it fits in it
    // together with the bytes still waiting (or the line is idle).
    std::size_t transmitFifo = 64;
};

class TrackerSim {
  public:
    // Throws std::invalid_argument for a bad identification or motion script
    // and std::runtime_error for an unreadable state file, an uncreatable
    // truth file or a pty failure.
    explicit TrackerSim(Options options = {});
    // Stops the serving thread and closes the pseudo-terminal.
    ~TrackerSim();
    TrackerSim(const TrackerSim&) = delete;
    TrackerSim& operator=(const TrackerSim&) = delete;

    // The slave side, /dev/pts/N.
    const std::string& devicePath() const { return pty_.slavePath(); }

    bool streaming() const;

    Faults faults() const;
    void setFaults(const Faults& faults);

    // Parameter memory. Throw std::out_of_range for an unknown bank or a
    // range beyond the bank.
    std::vector<std::uint8_t> bankCopy(int bank) const;
    void writeBank(int bank, unsigned address, const std::vector<std::uint8_t>& bytes);
    ConfigBytes configBytes() const;
    void setConfigBytes(const ConfigBytes& config);

    // Commands received, by letter ('I', 'R', 'W', 'S', 'C') or single-byte
    // command (' ', '0', '9').
    std::uint64_t commandCount(std::uint8_t code) const;
    // All bytes of the last complete frame, ESC included.
    std::vector<std::uint8_t> lastFrame() const;
    // Received bytes that formed no command.
    std::uint64_t ignoredBytes() const;
    void resetCounters();

    // Reply bytes lost because the host did not read.
    std::uint64_t droppedBytes() const { return dropped_.load(); }
    // Stream packets handed to the line, and samples skipped because their
    // packet did not fit into the transmitter FIFO.
    std::uint64_t packetsSent() const { return sent_.load(); }
    std::uint64_t skippedSamples() const { return skipped_.load(); }

    // The true Q_SW (w >= 0) of the packet that carried timestamp, among the
    // packets of the last 60 s; nothing for older or unknown timestamps.
    std::optional<Quat> truthAt(std::uint32_t timestamp) const;
    // New motion from the next sample on; the orientation carries on unless
    // resetOrientation, then it becomes motion.initial.
    void setMotion(const Motion& motion, bool resetOrientation = false);

    // When the last byte of the stream packet that carried timestamp was
    // written to the pseudo-terminal (steady clock, taken just before the
    // write, so never after a host could read it; only while the host's side
    // was full, the time of the write that emptied it), among the last
    // kWriteLogSize packets; nothing for unknown or older timestamps. The
    // entry appears just after the write returns, so a host that already has
    // the bytes may have to ask again. For measuring the time a host takes from the wire to its
    // caller.
    using WriteTime = std::chrono::steady_clock::time_point;
    static constexpr std::size_t kWriteLogSize = 1 << 16;
    std::optional<WriteTime> packetWrittenAt(std::uint32_t timestamp) const;
    // Timestamp and write time of the newest packet written completely.
    struct PacketWrite {
        std::uint32_t timestamp;
        WriteTime at;
    };
    std::optional<PacketWrite> lastPacketWritten() const;

    // Nothing waits to reach the host: no reply scheduled (a delayed one
    // included), no byte on the line or held back by a full host side; every
    // byte sent so far has been written to the pseudo-terminal. A command
    // received makes it false at once; the serving thread sets it again once
    // its bytes are out. While streaming it is true only between packets, so
    // wait for !streaming() first to know that the line stays quiet. Tests
    // wait for it instead of sleeping before they flush the host's input.
    bool lineIdle() const { return lineIdle_.load(); }

    // Pulls the plug: the serving thread closes both ends of the terminal, so
    // devicePath() disappears and the host's reads fail. Returns once done.
    // The object stays usable (memory, counters, truth).
    void unplug();
    bool unplugged() const { return unplugged_.load(); }

  private:
    void serve();
    void save(const ParameterMemory& memory);

    const Options options_;
    mutable std::mutex mutex_;
    DeviceCore core_;  // guarded by mutex_
    PtyPort pty_;
    SensorStream stream_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> unplugRequested_{false};
    std::atomic<bool> unplugged_{false};
    std::atomic<bool> finished_{false};  // the serving thread has ended
    std::atomic<bool> lineIdle_{true};
    std::atomic<std::uint64_t> dropped_{0};
    std::atomic<std::uint64_t> sent_{0};
    std::atomic<std::uint64_t> skipped_{0};
    mutable std::mutex writeLogMutex_;
    std::deque<PacketWrite> writeLog_;  // guarded by writeLogMutex_, oldest first
    std::thread thread_;
};

}  // namespace sim
