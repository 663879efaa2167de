// Byte transport to one tracker port: the abstract interface every platform
// backend implements, plus the receive-buffer logic they all share.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace Quorvane {

// Every user of a port gives it a receive buffer of this many bytes and opens
// it at this baud rate.
constexpr int kPortBufferSize = 4096;
constexpr int kBaudRate = 115200;

// Raised by FenlarkIO::open when the port can't be opened or configured.
// what() is "Could not open device <path>" (with a hint at the udev rule when
// access was denied); cause() and detail() say why, for callers that report
// it to the user.
class PortOpenError : public std::runtime_error {
  public:
    enum class Cause {
        Failed,      // missing, not a serial port, settings refused, ...
        Permission,  // the system denied access to the device
        Busy,        // another program (or another handle) holds the port
    };
    PortOpenError(const std::string& message, Cause cause, std::string detail)
        : std::runtime_error(message), cause_(cause), detail_(std::move(detail)) {}
    Cause cause() const { return cause_; }
    // A short phrase without the path, e.g. "in use by another program".
    const std::string& detail() const { return detail_; }

  private:
    Cause cause_;
    std::string detail_;
};

// Abstract port. Not synchronised: one thread at a time uses an object (the
// caller's thread for commands, the acquisition thread while streaming).
//
// Every backend keeps one contract. A port is Unopened until the first
// successful open(), Open after it, and Closed after any close(); open() may be
// called again in any state (an open port is closed first). On an Unopened
// port read() and write() raise "No Fenlarker open"; on a Closed port read()
// returns 0 and write() returns false.
class FenlarkIO {
  public:
    FenlarkIO() = default;
    FenlarkIO(const FenlarkIO&) = default;
    FenlarkIO& operator=(const FenlarkIO&) = default;
    virtual ~FenlarkIO();

    // Device path of enumerated port `index`. Raises "Device index bigger
    // than device count!" when index >= portCount(). Does not block.
    virtual std::string portPath(unsigned index) = 0;
    // Path given to the last successful open(); empty when closed.
    virtual std::string portName() = 0;
    virtual unsigned portCount() = 0;
    // Opens and configures the port and returns true. Raises PortOpenError
    // ("Could not open device <path>") when the port can't be opened or
    // configured, and then holds no device: one it had opened is released
    // again. The port's own line settings are kept aside and put back by
    // close(), so that probing a device that turns out not to be a tracker
    // leaves it as its owner configured it.
    virtual bool open(const std::string& path, int baud) = 0;
    // Drains the port, restores the line settings open() found, and closes
    // it; returns whether closing succeeded (false when nothing was open).
    virtual bool close() = 0;
    // Moves the bytes that have arrived into the free tail of the receive
    // buffer and returns their number. Never blocks. 0 when nothing arrived,
    // the buffer is full or reading failed. Raises "No Fenlarker open" on a
    // never-opened port.
    virtual int read() = 0;
    // Writes the bytes; true only when every byte was written. A failure, a
    // short write (the device took only part in time) and a hung-up port give
    // false. Raises "No Fenlarker open" on a never-opened port; false after
    // close.
    virtual bool write(const unsigned char* bytes, int length) = 0;
    // Discards all buffered bytes and the driver's queues, then sleeps 5 ms.
    virtual void clear() = 0;
    // Whether a device is open now: false before the first open and after
    // close (a hung-up port stays open until closed).
    virtual bool isOpen() = 0;
    // Unconsumed received bytes, starting at data().
    virtual int available() = 0;
    virtual const unsigned char* data() = 0;
    // Marks `count` bytes as consumed.
    virtual void consume(int count) = 0;
    // Blocks until at least `minBytes` bytes that read() would fetch have
    // arrived (a backend may wake for fewer; callers re-check), or
    // `timeoutMs` has passed; returns whether bytes are there. Reads nothing.
    // On a hung-up port it returns false at once: nothing will come, and the
    // caller stops waiting. On a closed port it takes the whole time-out and
    // returns false, so that callers polling with it keep their pace.
    virtual bool waitForData(int timeoutMs, int minBytes = 1) = 0;
    // True once the open device has hung up or failed for good (a tracker
    // unplugged, a peer that closed its end): nothing more will arrive and
    // nothing can be sent. Stays true until the next open. Does not block.
    virtual bool hungUp() { return false; }
};

// Receive-buffer bookkeeping and port list shared by every platform backend.
// A backend supplies only the device calls (the protected hooks) and the
// port enumeration, which it runs from its own constructor.
class BufferedFenlarkIO : public FenlarkIO {
  public:
    explicit BufferedFenlarkIO(int capacity);
    BufferedFenlarkIO(const BufferedFenlarkIO& other);
    BufferedFenlarkIO& operator=(const BufferedFenlarkIO& other);
    ~BufferedFenlarkIO() override;

    std::string portPath(unsigned index) override;
    std::string portName() override;
    unsigned portCount() override;
    int read() override;
    bool write(const unsigned char* bytes, int length) override;
    void clear() override;
    int available() override;
    const unsigned char* data() override;
    void consume(int count) override;
    bool waitForData(int timeoutMs, int minBytes = 1) override;
    bool hungUp() override { return hungUp_; }

    int capacity() const { return capacity_; }

  protected:
    enum class State { Unopened, Open, Closed };

    // Reads at most `max` bytes that have already arrived into `into`;
    // returns the count, or a value <= 0 when nothing arrived or on failure.
    virtual int readDevice(unsigned char* into, int max) = 0;
    virtual bool writeDevice(const unsigned char* bytes, int length) = 0;
    // Discards the driver's transmit and receive queues.
    virtual void purgeDevice() = 0;
    // Waits up to `timeoutMs` for received bytes (see waitForData). This
    // fallback simply sleeps the time-out; backends override it with the
    // system's own wait.
    virtual bool waitDevice(int timeoutMs, int minBytes);

    State state() const { return state_; }
    void setState(State s) {
        state_ = s;
        if (s == State::Open) hungUp_ = false;
    }
    // Backends call this when the device reports a hang-up or a lasting error.
    void markHungUp() { hungUp_ = true; }

    std::vector<std::string> ports;  // device paths, in port-index order
    std::string currentPath;         // empty when closed

  private:
    State state_ = State::Unopened;
    bool hungUp_ = false;
    int capacity_;
    std::unique_ptr<unsigned char[]> buffer_;
    int readPos_ = 0;   // first unconsumed byte
    int writePos_ = 0;  // end of the received bytes
};

// Creates this platform's port object with a receive buffer of `capacity`
// bytes; enumerates the tracker ports. Raises std::runtime_error when the
// system's device list cannot be read (the message names what failed).
std::unique_ptr<FenlarkIO> createPlatformIO(int capacity);

// The name that identifies the device behind `path`, so that two paths to one
// device (a symlink, a relative path) compare equal: the resolved path where
// the system has links, `path` itself where it has not or when resolving fails.
std::string resolvedPortPath(const std::string& path);

// Sleeps the calling thread for `ms` milliseconds (sleepUs: microseconds).
// Every protocol pause goes through here.
void sleepMs(int ms);
void sleepUs(int us);

// Replaces what sleepMs and sleepUs do (the function gets whole
// milliseconds, rounded up), for harnesses that replay recorded bytes or
// fuzz the protocol without wall-clock pauses; nullptr restores real sleeping.
// Process-wide: set it before any tracker is in use.
using SleepFunction = void (*)(int ms);
void setSleepFunction(SleepFunction function);

}  // namespace Quorvane
