// The device end of a pseudo-terminal: the simulator reads and writes the
// master; the host opens the slave path like a serial port.
#pragma once

#include <cstdint>
#include <string>

namespace sim {

class PtyPort {
  public:
    // Opens the pair, puts the line in raw mode and keeps one slave fd open
    // for the port's whole life: the master then never reports EIO when the
    // host closes its side, and the line settings survive between host opens.
    // Throws std::runtime_error on failure.
    PtyPort();
    ~PtyPort();
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    // Closes both ends, as when the device is unplugged: the slave path
    // disappears and the host's reads and writes fail. Idempotent.
    void close();

    int masterFd() const { return master_; }
    const std::string& slavePath() const { return slavePath_; }

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

}  // namespace sim
