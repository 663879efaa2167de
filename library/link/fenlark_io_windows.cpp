#include "fenlark_io_windows.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

namespace Quorvane {
namespace {

// Size of the buffers the registry walk reads subkey names and port names into.
constexpr DWORD kRegistryBufferSize = 100;
constexpr const char* kDeviceParametersSuffix = "\\Device Parameters";
constexpr DWORD kDrainChunk = 1024;

// The port name of one device instance, or false when the instance has no
// "Device Parameters" key, no "PortName" value, or a value that does not fit.
bool readPortName(HKEY root, const char* instance, std::string* portName) {
    // Built outside the name buffer, so a long instance name can't overrun it.
    const std::string parametersKey = std::string(instance) + kDeviceParametersSuffix;
    HKEY parameters;
    if (RegOpenKeyExA(root, parametersKey.c_str(), 0, KEY_READ, &parameters) != ERROR_SUCCESS)
        return false;
    char value[kRegistryBufferSize];
    DWORD length = sizeof value;
    const LONG status = RegQueryValueExA(parameters, "PortName", nullptr, nullptr,
                                         reinterpret_cast<LPBYTE>(value), &length);
    RegCloseKey(parameters);
    if (status != ERROR_SUCCESS) return false;
    if (length < sizeof value) {
        value[length] = '\0';
    } else if (value[sizeof value - 1] != '\0') {
        return false;  // a full buffer with no room left for the terminator
    }
    *portName = value;
    return true;
}

// Why CreateFileA or the line setup failed, from the system's error code. A
// COM port that another program holds is refused with "access denied" on
// Windows; permissions on COM ports are not otherwise restricted.
PortOpenError openFailure(const std::string& path, DWORD error) {
    using Cause = PortOpenError::Cause;
    const std::string message = "Could not open device " + path;
    switch (error) {
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_BUSY:
            return PortOpenError(message, Cause::Busy, "in use by another program");
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return PortOpenError(message, Cause::Failed, "no such port");
        default:
            return PortOpenError(
                message, Cause::Failed,
                "system error " + std::to_string(static_cast<unsigned long>(error)));
    }
}

bool usable(HANDLE h) {
    return h != nullptr && h != INVALID_HANDLE_VALUE;
}

// The port's time-outs with reads set to return at once with what has
// arrived; the write time-outs as they were.
COMMTIMEOUTS immediateReads(HANDLE h) {
    COMMTIMEOUTS timeouts;
    std::memset(&timeouts, 0, sizeof timeouts);
    GetCommTimeouts(h, &timeouts);
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    return timeouts;
}

// Line settings: only the flow control and the frame change, everything else
// stays as the driver reports it, and `found` keeps what the driver reported.
// Reads return at once with what has arrived; a write gives up after 4 ms.
// Both driver queues are purged. Returns null, or what went wrong.
const char* configure(HANDLE h, int baud, DCB* found) {
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(h, &dcb)) return "not a serial port";
    *found = dcb;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.BaudRate = static_cast<DWORD>(baud);
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = TWOSTOPBITS;
    if (!SetCommState(h, &dcb)) return "line settings refused";

    COMMTIMEOUTS timeouts = immediateReads(h);
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = 4;
    (void)SetCommTimeouts(h, &timeouts);

    PurgeComm(h, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    return nullptr;
}

// Whether a failed call on the port means that the device is gone (a USB
// tracker unplugged). A driver that aborts I/O after a line error (framing,
// overrun) also reports ERROR_OPERATION_ABORTED; that port recovers once
// ClearCommError has run, so only a port that refuses even that is gone.
bool deviceGone(HANDLE h, DWORD error) {
    switch (error) {
        case ERROR_ACCESS_DENIED:
        case ERROR_BAD_COMMAND:
        case ERROR_GEN_FAILURE:
        case ERROR_DEVICE_REMOVED:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_FILE_NOT_FOUND:
            return true;
        case ERROR_OPERATION_ABORTED: {
            DWORD errors = 0;
            return !ClearCommError(h, &errors, nullptr);
        }
        default:
            return false;
    }
}

}  // namespace

// COM port names are unique in the registry list, and Win32 device paths
// have no links to resolve.
std::string resolvedPortPath(const std::string& path) {
    return path;
}

std::string comDevicePath(const std::string& portName) {
    return "\\\\.\\" + portName;
}

std::vector<std::string> findTrackerComPorts() {
    HKEY root;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTrackerUsbKey, 0, KEY_READ, &root) != ERROR_SUCCESS)
        throw std::runtime_error("Can't open root key for enumerating devices!");

    std::vector<std::string> ports;
    for (DWORD index = 0;; ++index) {
        char instance[kRegistryBufferSize];
        DWORD length = sizeof instance;
        const LONG status =
            RegEnumKeyExA(root, index, instance, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) continue;  // for example a name longer than the buffer
        std::string portName;
        if (readPortName(root, instance, &portName)) ports.push_back(portName);
    }
    RegCloseKey(root);

    std::sort(ports.begin(), ports.end());  // byte-wise: COM10 before COM3
    ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
    return ports;
}

std::unique_ptr<FenlarkIO> createPlatformIO(int capacity) {
    return std::make_unique<FenlarkIOWindows>(capacity);
}

FenlarkIOWindows::FenlarkIOWindows(int capacity) : BufferedFenlarkIO(capacity) {
    for (const std::string& name : findTrackerComPorts()) ports.push_back(comDevicePath(name));
}

FenlarkIOWindows::FenlarkIOWindows(const FenlarkIOWindows& other) : BufferedFenlarkIO(other) {}

FenlarkIOWindows& FenlarkIOWindows::operator=(const FenlarkIOWindows& other) {
    BufferedFenlarkIO::operator=(other);
    return *this;
}

FenlarkIOWindows::~FenlarkIOWindows() {
    close();
}

bool FenlarkIOWindows::open(const std::string& path, int baud) {
    if (usable(handle_)) close();
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) throw openFailure(path, GetLastError());
    DCB found;
    if (const char* problem = configure(h, baud, &found)) {
        // Release the port, or nobody could open it until this object dies.
        CloseHandle(h);
        throw PortOpenError("Could not open device " + path, PortOpenError::Cause::Failed, problem);
    }
    savedDcb_ = std::make_unique<DCB>(found);
    handle_ = h;
    currentPath = path;
    setState(State::Open);
    return true;
}

bool FenlarkIOWindows::close() {
    currentPath.clear();
    setState(State::Closed);
    HANDLE h = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    // On a port that was never opened or is closed already every call would
    // fail without effect.
    std::unique_ptr<DCB> saved = std::move(savedDcb_);
    if (!usable(h)) return false;

    FlushFileBuffers(h);
    // Reads must return at once for the drain below; the write time-outs stay.
    COMMTIMEOUTS timeouts = immediateReads(h);
    (void)SetCommTimeouts(h, &timeouts);
    unsigned char scratch[kDrainChunk];
    DWORD got = 0;
    while (ReadFile(h, scratch, kDrainChunk, &got, nullptr) && got > 0) {
    }
    // The port gets back the line settings it had, whatever the device
    // turned out to be.
    if (saved) (void)SetCommState(h, saved.get());
    return CloseHandle(h) != 0;
}

bool FenlarkIOWindows::isOpen() {
    return usable(handle_);
}

int FenlarkIOWindows::readDevice(unsigned char* into, int max) {
    DWORD got = 0;
    if (!ReadFile(handle_, into, static_cast<DWORD>(max), &got, nullptr)) {
        if (deviceGone(handle_, GetLastError())) markHungUp();
        return 0;
    }
    return static_cast<int>(got);
}

bool FenlarkIOWindows::writeDevice(const unsigned char* bytes, int length) {
    DWORD written = 0;
    if (!WriteFile(handle_, bytes, static_cast<DWORD>(length), &written, nullptr)) {
        if (deviceGone(handle_, GetLastError())) markHungUp();
        return false;
    }
    // A write that ran into the 4 ms time-out reports success with fewer
    // bytes written: the command did not go out whole.
    return written == static_cast<DWORD>(length);
}

void FenlarkIOWindows::purgeDevice() {
    PurgeComm(handle_, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
}

}  // namespace Quorvane

namespace Quorvane {

bool FenlarkIOWindows::waitDevice(int timeoutMs, int minBytes) {
    // The port is opened without overlapped I/O, so its read time-outs are
    // what make reads return at once; the wait looks at the input queue.
    const DWORD start = GetTickCount();
    for (;;) {
        COMSTAT status{};
        DWORD errors = 0;
        if (!ClearCommError(handle_, &errors, &status)) {
            // The device is gone: nothing will come.
            markHungUp();
            return false;
        }
        if (status.cbInQue >= static_cast<DWORD>(minBytes)) return true;
        if (timeoutMs <= 0 || GetTickCount() - start >= static_cast<DWORD>(timeoutMs)) return false;
        Sleep(1);
    }
}

}  // namespace Quorvane
