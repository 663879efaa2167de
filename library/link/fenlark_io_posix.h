// Linux backend of the port interface: a tty opened raw, non-blocking and
// exclusively.
#pragma once

#include <memory>
#include <string>

#include "fenlark_io.h"

struct termios;

namespace Quorvane {

// "Could not open device <path>", with a hint at the udev rule when the
// system refused access (errno EACCES or EPERM).
std::string openFailureMessage(const std::string& path, int error);
// The PortOpenError for an open that failed with `error`: permission (EACCES,
// EPERM), busy (EBUSY, EWOULDBLOCK from the lock) or a plain failure.
PortOpenError openFailure(const std::string& path, int error);

class FenlarkIOPosix : public BufferedFenlarkIO {
  public:
    // Enumerates the tracker ports (see tty_discovery.h); raises "Can't read
    // the list of serial devices in ..." when the tty list can't be read.
    explicit FenlarkIOPosix(int capacity);
    FenlarkIOPosix(int capacity, const std::string& sysfsRoot);
    FenlarkIOPosix(const FenlarkIOPosix& other);
    FenlarkIOPosix& operator=(const FenlarkIOPosix& other);
    // Closes the port.
    ~FenlarkIOPosix() override;

    // Opens `path` raw at `baud`: 8 data bits, no parity, two stop bits, no
    // flow control, DTR and RTS dropped, pending I/O discarded. Takes the tty
    // exclusively (TIOCEXCL plus a non-blocking flock, which also stops root).
    // Raises PortOpenError ("Could not open device <path>"); a port held by
    // another handle is refused as busy. Keeps the tty's termios as found.
    // Does not block.
    bool open(const std::string& path, int baud) override;
    // Waits until written bytes are sent, drains what arrived, puts back the
    // termios open() found (modem lines are not restored), releases the lock
    // and closes. Blocks only for the transmit drain.
    bool close() override;
    bool isOpen() override;

  protected:
    int readDevice(unsigned char* into, int max) override;
    bool writeDevice(const unsigned char* bytes, int length) override;
    void purgeDevice() override;
    // poll() for input; a hang-up (POLLHUP, POLLERR, POLLNVAL) marks the
    // port hung up and returns false at once. The line's VMIN is set to
    // minBytes (up to 255), so that poll wakes only once that many bytes are
    // in: one wake-up per packet, not per chunk.
    bool waitDevice(int timeoutMs, int minBytes) override;

  private:
    int fd_ = -1;
    int vmin_ = 0;                            // the line's VMIN as last set
    std::unique_ptr<termios> savedSettings_;  // the tty's termios before open()
};

}  // namespace Quorvane
