// A simulated tracker served on a pseudo-terminal: the host opens
// devicePath() like the tracker's serial port and talks to it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device_core.h"
#include "packet_source.h"
#include "param_memory.h"
#include "pty_port.h"

namespace sim {

struct Options {
    std::string id = "QV00001";  // 1..7 printable characters without blanks
    std::uint16_t firmwareMajor = 1;
    std::uint16_t firmwareMinor = 4;
    // Parameter memory persisted by '9' and loaded at start; empty: factory
    // state every time and '9' keeps nothing.
    std::string stateFile;
    Faults faults;
    std::shared_ptr<PacketSource> packetSource;
    // A frame left incomplete this long is dropped, so a host that gave up
    // in the middle of a frame does not desynchronise the device. 0: never.
    unsigned frameTimeoutMs = 200;
    // Bytes the transmit FIFO holds while the host does not read.
    std::size_t transmitCapacity = 4096;
};

class TrackerSim {
  public:
    // Throws std::invalid_argument for a bad identification and
    // std::runtime_error for an unreadable state file or a pty failure.
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

    // Bytes lost because the host did not read and the transmit FIFO was full.
    std::uint64_t droppedBytes() const { return dropped_.load(); }

  private:
    void serve();
    void save(const ParameterMemory& memory);

    const Options options_;
    mutable std::mutex mutex_;
    DeviceCore core_;  // guarded by mutex_
    PtyPort pty_;
    std::atomic<bool> stop_{false};
    std::atomic<std::uint64_t> dropped_{0};
    std::thread thread_;
};

}  // namespace sim
