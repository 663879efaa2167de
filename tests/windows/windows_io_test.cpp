// The Windows port backend and the DLL, run under Wine: port discovery
// against registry entries this program writes itself, and the serial
// transport, identification and streaming against a simulated tracker on a
// COM port.
//
//   windows_io_test.exe --sim-port=COM5 [GoogleTest options]
//
// The last line of output is "N passed, M failed"; the exit code is nonzero
// when a test failed.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "fenlark_imu.h"
#include "fenlark_io_windows.h"
#include "quorvane.h"

namespace {

using Quorvane::FenlarkIMU;
using Quorvane::FenlarkIOWindows;

// Written out again rather than taken from the library, so that a wrong key
// there fails here.
const char* const kUsbKey = "SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_FFFF&PID_0005";
constexpr int kCapacity = 4096;
constexpr int kBaud = 115200;

// COM port name of the simulated tracker, from --sim-port=.
std::string simPort;

std::string errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no error)";
}

std::string devicePath(const std::string& portName) {
    return "\\\\.\\" + portName;
}

void removeTrackerKey() {
    const LONG rc = RegDeleteTreeA(HKEY_LOCAL_MACHINE, kUsbKey);
    ASSERT_TRUE(rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND) << "RegDeleteTreeA: " << rc;
}

void createKey(const std::string& path) {
    HKEY key;
    const LONG rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                    nullptr, &key, nullptr);
    ASSERT_EQ(rc, ERROR_SUCCESS) << "RegCreateKeyExA " << path;
    RegCloseKey(key);
}

enum class Entry { PortName, NoPortName, NoDeviceParameters };

// One device instance below the tracker's USB key, as Windows records it.
void addInstance(const std::string& instance, Entry entry, const std::string& portName = "") {
    const std::string instanceKey = std::string(kUsbKey) + "\\" + instance;
    if (entry == Entry::NoDeviceParameters) {
        createKey(instanceKey);
        return;
    }
    const std::string parametersKey = instanceKey + "\\Device Parameters";
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, parametersKey.c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS)
        << parametersKey;
    if (entry == Entry::PortName) {
        EXPECT_EQ(RegSetValueExA(key, "PortName", 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(portName.c_str()),
                                 static_cast<DWORD>(portName.size() + 1)),
                  ERROR_SUCCESS);
    } else {
        // Some other value, so the key is not empty.
        const DWORD one = 1;
        EXPECT_EQ(RegSetValueExA(key, "SelectiveSuspendEnabled", 0, REG_DWORD,
                                 reinterpret_cast<const BYTE*>(&one), sizeof one),
                  ERROR_SUCCESS);
    }
    RegCloseKey(key);
}

std::vector<std::string> portPaths(FenlarkIOWindows& io) {
    std::vector<std::string> paths;
    for (unsigned i = 0; i < io.portCount(); ++i) paths.push_back(io.portPath(i));
    return paths;
}

// ---------------------------------------------------------------------------
// Port discovery through the registry.

class Enumeration : public ::testing::Test {
  protected:
    void SetUp() override { removeTrackerKey(); }
    void TearDown() override { removeTrackerKey(); }
};

TEST_F(Enumeration, MissingKeyFailsConstructionAndTheDeviceList) {
    const std::string message = "Can't open root key for enumerating devices!";
    EXPECT_EQ(errorOf([] { FenlarkIOWindows io(kCapacity); }), message);
    EXPECT_EQ(errorOf([] { Quorvane::createPlatformIO(kCapacity); }), message);
    // The exception crosses the DLL boundary intact.
    DeviceInfo list[2];
    EXPECT_EQ(errorOf([&] { fenlarkGetDeviceList(list, 2); }), message);
}

TEST_F(Enumeration, KeyWithoutInstancesGivesNoPorts) {
    createKey(kUsbKey);
    FenlarkIOWindows io(kCapacity);
    EXPECT_EQ(io.portCount(), 0u);
    EXPECT_EQ(errorOf([&] { io.portPath(0); }), "Device index bigger than device count!");
    DeviceInfo list[2];
    EXPECT_EQ(fenlarkGetDeviceList(list, 2), 0);
}

TEST_F(Enumeration, SortsByteWiseAndDropsDuplicates) {
    addInstance("5&2c3e4f&0&1", Entry::PortName, "COM3");
    addInstance("5&2c3e4f&0&2", Entry::PortName, "COM10");
    addInstance("QV00017", Entry::PortName, "COM3");

    FenlarkIOWindows io(kCapacity);
    EXPECT_EQ(Quorvane::findTrackerComPorts(), (std::vector<std::string>{"COM10", "COM3"}));
    ASSERT_EQ(io.portCount(), 2u);
    EXPECT_EQ(io.portPath(0), "\\\\.\\COM10");
    EXPECT_EQ(io.portPath(1), "\\\\.\\COM3");
    EXPECT_EQ(errorOf([&] { io.portPath(2); }), "Device index bigger than device count!");
    // Enumeration alone opens nothing.
    EXPECT_FALSE(io.isOpen());
    EXPECT_EQ(io.portName(), "");
}

TEST_F(Enumeration, SkipsIncompleteEntriesAndNamesThatDoNotFit) {
    // The subkey name and the port name are read into 100-byte buffers.
    const std::string longestInstance(99, 'i');
    const std::string tooLongInstance(100, 'i');
    const std::string longestPort = "COM" + std::string(96, '9');  // 100 bytes with terminator
    const std::string tooLongPort = "COM" + std::string(97, '9');
    struct Case {
        std::string instance;
        Entry entry;
        std::string port;
        bool listed;
    } cases[] = {
        {"A1", Entry::PortName, "COM4", true},
        {"NoParameters", Entry::NoDeviceParameters, "", false},
        {"NoPortName", Entry::NoPortName, "", false},
        {longestInstance, Entry::PortName, "COM5", true},
        {tooLongInstance, Entry::PortName, "COM6", false},
        {"LongestPort", Entry::PortName, longestPort, true},
        {"TooLongPort", Entry::PortName, tooLongPort, false},
    };
    std::vector<std::string> expected;
    for (const Case& c : cases) {
        addInstance(c.instance, c.entry, c.port);
        if (c.listed) expected.push_back(c.port);
    }
    std::sort(expected.begin(), expected.end());

    FenlarkIOWindows io(kCapacity);
    EXPECT_EQ(Quorvane::findTrackerComPorts(), expected);
    std::vector<std::string> paths;
    for (const std::string& name : expected) paths.push_back(devicePath(name));
    EXPECT_EQ(portPaths(io), paths);
}

// ---------------------------------------------------------------------------
// A port object without a tracker.

TEST_F(Enumeration, PortCallsWithoutAnOpenPort) {
    createKey(kUsbKey);
    FenlarkIOWindows io(kCapacity);
    const unsigned char byte = '?';
    EXPECT_EQ(errorOf([&] { io.read(); }), "No Fenlarker open");
    EXPECT_EQ(errorOf([&] { io.write(&byte, 1); }), "No Fenlarker open");
    EXPECT_EQ(io.nativeHandle(), nullptr);

    EXPECT_EQ(errorOf([&] { io.open("\\\\.\\COM42", kBaud); }),
              "Could not open device \\\\.\\COM42");
    EXPECT_EQ(io.portName(), "");

    // Closing a port that isn't open fails; afterwards read and write fail
    // quietly instead of raising.
    EXPECT_FALSE(io.close());
    EXPECT_FALSE(io.isOpen());
    EXPECT_EQ(io.nativeHandle(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(io.read(), 0);
    EXPECT_FALSE(io.write(&byte, 1));
}

TEST_F(Enumeration, OpenThatFailsToConfigureReleasesTheDevice) {
    // A plain file opens like a device but has no line settings.
    char folder[MAX_PATH];
    char file[MAX_PATH];
    ASSERT_NE(GetTempPathA(MAX_PATH, folder), 0u);
    ASSERT_NE(GetTempFileNameA(folder, "qv", 0, file), 0u);
    createKey(kUsbKey);
    {
        FenlarkIOWindows io(kCapacity);
        EXPECT_EQ(errorOf([&] { io.open(file, kBaud); }),
                  std::string("Could not open device ") + file);
        EXPECT_FALSE(io.isOpen());
        EXPECT_EQ(io.portName(), "");
        EXPECT_EQ(errorOf([&] { io.read(); }), "No Fenlarker open");

        // The file was opened without sharing: only a released handle lets
        // it be opened again while the port object lives.
        HANDLE again =
            CreateFileA(file, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(again, INVALID_HANDLE_VALUE) << "the failed open kept the handle";
        if (again != INVALID_HANDLE_VALUE) CloseHandle(again);
    }
    DeleteFileA(file);
}

// ---------------------------------------------------------------------------
// Against the simulated tracker on simPort.

class SimulatedTracker : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(simPort.empty()) << "give the simulator's port with --sim-port=COMn";
        removeTrackerKey();
        addInstance("QV00001", Entry::PortName, simPort);
        path = devicePath(simPort);
    }
    void TearDown() override { removeTrackerKey(); }

    std::string path;
};

TEST_F(SimulatedTracker, OpensWithTheTrackersLineSettings) {
    FenlarkIOWindows io(kCapacity);
    ASSERT_EQ(portPaths(io), std::vector<std::string>{path});
    ASSERT_TRUE(io.open(io.portPath(0), kBaud));
    EXPECT_TRUE(io.isOpen());
    EXPECT_EQ(io.portName(), path);

    // Read back from the driver what open() set.
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(GetCommState(io.nativeHandle(), &dcb));
    EXPECT_EQ(dcb.BaudRate, 115200u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
    EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
    EXPECT_EQ(dcb.fOutxDsrFlow, 0u);
    // Not checked: fDtrControl and fRtsControl. Wine reports them from the
    // tty's modem lines, which a pseudo-terminal lacks, so they read as on.
    EXPECT_EQ(dcb.fOutX, 0u);
    EXPECT_EQ(dcb.fInX, 0u);
    COMMTIMEOUTS timeouts;
    ASSERT_TRUE(GetCommTimeouts(io.nativeHandle(), &timeouts));
    EXPECT_EQ(timeouts.ReadIntervalTimeout, MAXDWORD);
    EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 0u);
    EXPECT_EQ(timeouts.WriteTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 4u);

    EXPECT_TRUE(io.close());
    EXPECT_EQ(io.portName(), "");
    EXPECT_EQ(io.nativeHandle(), INVALID_HANDLE_VALUE);
    const unsigned char byte = '?';
    EXPECT_EQ(io.read(), 0);
    EXPECT_FALSE(io.write(&byte, 1));
    // The port can be opened again.
    EXPECT_TRUE(io.open(path, kBaud));
    EXPECT_EQ(io.portName(), path);
}

TEST_F(SimulatedTracker, IdentifiesWritesAndStreamsThroughThePort) {
    FenlarkIOWindows io(kCapacity);
    ASSERT_TRUE(io.open(path, kBaud));
    FenlarkIMU imu(&io);
    DeviceInfo info;
    imu.getDeviceInfo(&info);
    EXPECT_STREQ(info.port, path.c_str());
    EXPECT_STREQ(info.id, "QV00001");
    EXPECT_EQ(info.firmwareMajor, 1);
    EXPECT_EQ(info.firmwareMinor, 4);

    // The longest command payload goes out in one write within the 4 ms
    // write time-out and comes back unchanged.
    CalibrationData original, changed, readBack;
    ASSERT_TRUE(imu.getCalibration(&original));
    changed = original;
    changed.Mb[0] += 1.5f;
    changed.GK[4] = -0.25f;
    ASSERT_TRUE(imu.setCalibration(&changed));
    ASSERT_TRUE(imu.getCalibration(&readBack));
    EXPECT_EQ(std::memcmp(&readBack, &changed, sizeof changed), 0);
    ASSERT_TRUE(imu.setCalibration(&original));

    // Packets arrive, are decoded and consumed with increasing timestamps.
    const SensorConfig config = imu.getConfig(true);  // the packet layout follows it
    ASSERT_EQ(config.frequency, 100);
    imu.startStreaming();
    std::vector<uint32_t> stamps;
    int failures = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (stamps.size() < 50 && std::chrono::steady_clock::now() < deadline) {
        SensorSample s{};
        try {
            imu.readPacket(&s);
            stamps.push_back(s.timestamp);
        } catch (const std::runtime_error&) {
            ++failures;  // nothing complete yet
        }
    }
    imu.stopStreaming(false);
    ASSERT_EQ(stamps.size(), 50u) << failures << " reads found no complete packet";
    for (size_t i = 1; i < stamps.size(); ++i) EXPECT_GT(stamps[i], stamps[i - 1]) << i;
    // 100 Hz: one packet per 100 units of the device clock, none lost.
    EXPECT_EQ(stamps.back() - stamps.front(), 49u * 100u);

    // With the stream stopped and the queues purged, a read finds nothing and
    // returns at once.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    io.clear();
    EXPECT_EQ(io.available(), 0);
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(io.read(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(50));
}

TEST_F(SimulatedTracker, DeviceListFindsTheTrackerOnly) {
    // Two more instances: a duplicate of the tracker's port and a port that
    // doesn't exist.
    addInstance("QV00001-again", Entry::PortName, simPort);
    addInstance("Gone", Entry::PortName, "COM42");

    DeviceInfo list[4];
    std::memset(list, 0xAB, sizeof list);
    ASSERT_EQ(fenlarkGetDeviceList(list, 4), 1);
    EXPECT_STREQ(list[0].port, path.c_str());
    EXPECT_STREQ(list[0].id, "QV00001");
    EXPECT_EQ(list[0].reserved, 0u);
    EXPECT_EQ(list[0].firmwareMajor, 1);
    EXPECT_EQ(list[0].firmwareMinor, 4);
    // The port that does not exist is the one left out, and the reason says so.
    FenlarkPortProblem problems[4];
    ASSERT_EQ(fenlarkGetPortProblems(problems, 4), 1);
    EXPECT_EQ(std::string(problems[0].port), devicePath("COM42"));
    EXPECT_EQ(problems[0].reason, FENLARK_PORT_OPEN_FAILED);
    EXPECT_STREQ(problems[0].message, "could not be opened: no such port");

    std::memset(list, 0xAB, sizeof list);
    EXPECT_EQ(fenlarkGetDeviceList(list, 0), -1);
    EXPECT_EQ(static_cast<unsigned char>(list[0].port[0]), 0xAB) << "nothing copied";
}

TEST_F(SimulatedTracker, StreamsThroughTheLibrary) {
    VirtualFenlark* handle = fenlarkCreate(100);
    ASSERT_EQ(fenlarkOpen(handle, nullptr, nullptr), 0);
    char id[8];
    fenlarkGetID(handle, id);
    EXPECT_STREQ(id, "QV00001");
    EXPECT_EQ(fenlarkStart(handle), 1);

    // The acquisition thread fills the ring; poll it as the programs do.
    std::vector<uint32_t> stamps;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (stamps.size() < 100 && std::chrono::steady_clock::now() < deadline) {
        SensorSample s;
        fenlarkGetData(handle, &s);
        if (s.timestamp != 0 && (stamps.empty() || s.timestamp > stamps.back()))
            stamps.push_back(s.timestamp);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_TRUE(fenlarkStop(handle));
    fenlarkClose(handle);
    fenlarkDestroy(handle);

    ASSERT_EQ(stamps.size(), 100u);
    // About 100 new samples per second of device time.
    const double seconds = (stamps.back() - stamps.front()) * 1e-4;
    EXPECT_NEAR(99 / seconds, 100.0, 10.0);

    // The port is free again afterwards.
    FenlarkIOWindows io(kCapacity);
    EXPECT_TRUE(io.open(path, kBaud));
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const std::string option = "--sim-port=";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind(option, 0) == 0) simPort = arg.substr(option.size());
    }
    const int result = RUN_ALL_TESTS();
    const ::testing::UnitTest& unit = *::testing::UnitTest::GetInstance();
    std::printf("%d passed, %d failed\n", unit.successful_test_count(), unit.failed_test_count());
    std::fflush(stdout);
    return result;
}
