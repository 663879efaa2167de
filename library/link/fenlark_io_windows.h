// Windows backend of the port interface: a COM port opened exclusively through
// the Win32 communication functions, found through the registry.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "fenlark_io.h"

struct _DCB;

namespace Quorvane {

// Registry key below HKEY_LOCAL_MACHINE under which Windows records every USB
// device with the tracker's vendor and product ID (0xFFFF, 0x0005), one
// subkey per device instance.
constexpr const char* kTrackerUsbKey = "SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_FFFF&PID_0005";

// Win32 device path of a port name: "\\.\" followed by the name.
std::string comDevicePath(const std::string& portName);

// The "PortName" values of the device instances below kTrackerUsbKey (for
// example COM3), sorted byte-wise (COM10 before COM3) without duplicates.
// Instances without "Device Parameters" or without "PortName", and names or
// values that don't fit the 100-byte buffers, are skipped. Raises "Can't open
// root key for enumerating devices!" when the key does not exist.
std::vector<std::string> findTrackerComPorts();

class FenlarkIOWindows : public BufferedFenlarkIO {
  public:
    // Enumerates the tracker ports (findTrackerComPorts); the port list holds
    // their device paths in the same order.
    explicit FenlarkIOWindows(int capacity);
    // A copy never shares the device handle: it starts unopened.
    FenlarkIOWindows(const FenlarkIOWindows& other);
    FenlarkIOWindows& operator=(const FenlarkIOWindows& other);
    // Closes the port.
    ~FenlarkIOWindows() override;

    // Opens `path` without sharing and sets the line: `baud`, 8 data bits, no
    // parity, two stop bits, no flow control, DTR and RTS off; reads return
    // at once with what has arrived, writes give up after 4 ms; both driver
    // queues are purged. Raises PortOpenError ("Could not open device
    // <path>") when the port can't be opened (busy when another program holds
    // it) or configured; a port that fails configuration is closed again at
    // once.
    bool open(const std::string& path, int baud) override;
    // Flushes written bytes, drains what arrived, puts back the line
    // settings open() found and closes the handle; returns the result of
    // closing it. The receive buffer keeps its bytes.
    bool close() override;
    bool isOpen() override;

    // The Win32 handle: null before the first successful open,
    // INVALID_HANDLE_VALUE after close.
    void* nativeHandle() const { return handle_; }

  protected:
    int readDevice(unsigned char* into, int max) override;
    bool writeDevice(const unsigned char* bytes, int length) override;
    void purgeDevice() override;
    // Polls the driver's input queue (ClearCommError) every millisecond; a
    // port that refuses ClearCommError is gone, marked hung up, and the wait
    // returns false at once.
    bool waitDevice(int timeoutMs, int minBytes) override;

  private:
    void* handle_ = nullptr;
    std::unique_ptr<_DCB> savedDcb_;  // the port's line settings before open()
};

}  // namespace Quorvane
