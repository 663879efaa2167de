// Console demo: lists the attached trackers, configures the first one that
// answers and prints every new sample, until the process is ended.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <thread>

#include "quorvane.h"

namespace {

constexpr double kRadToDeg = 57.29577951308232;

// Whether `timestamp` is later than `last` on the wrapping 32-bit device
// clock: a forward step of less than half the clock's range.
bool isNewer(uint32_t timestamp, uint32_t last) {
    const uint32_t step = timestamp - last;
    return step != 0 && step < 0x80000000u;
}

void printConfig(VirtualFenlark* handle, const SensorConfig& config) {
    char id[8];
    fenlarkGetID(handle, id);
    std::printf("Fenlark IMU\n");
    std::printf("Device ID:        %s\n", id);
    std::printf("Sensor config:    %d\n", config.channels);
    std::printf("Magnetic div:     %d\n", config.magDivider);
    std::printf("Frequency:        %d\n", config.frequency);
    std::printf("ASCII output:     %d\n", config.ascii);
    std::printf("autoStart:        %d\n", config.autoStart);
    std::printf("RAW mode:         %d\n", config.raw);
    std::printf("Jitter reduction: %d\n", fenlarkGetJitterStatus(handle));
    std::printf("\n\n");
}

// Why each candidate port was left out, after the plain "not found" line, so
// that a user can act on it: the library's messages name the udev rule when
// access was denied and say when another program holds the port.
void printPortProblems() {
    FenlarkPortProblem problems[16];
    const int n = fenlarkGetPortProblems(problems, 16);
    for (int i = 0; i < (n < 0 ? 16 : n); ++i)
        std::fprintf(stderr, "%s: %s\n", problems[i].port, problems[i].message);
    if (n < 0) std::fprintf(stderr, "(and more ports)\n");
}

void printSample(const SensorSample& s) {
    float euler[3];
    fenlarkEulerOri(&s, euler);
    std::printf("Time: %6.2f\t", static_cast<double>(s.timestamp) * 0.0001);
    std::printf("Temp: %6.2f\t", s.temperature);
    std::printf("Acc: %6.2f, %6.2f, %6.2f\t", s.acc[0], s.acc[1], s.acc[2]);
    std::printf("Gyr: %6.2f, %6.2f, %6.2f\t", s.gyr[0], s.gyr[1], s.gyr[2]);
    std::printf("Mag: %6.2f, %6.2f, %6.2f\t", s.mag[0], s.mag[1], s.mag[2]);
    std::printf("Quat: %6.2f, %6.2f, %6.2f, %6.2f\t", s.quat[0], s.quat[1], s.quat[2], s.quat[3]);
    std::printf("Euler: %10.4f, %10.4f, %10.4f\n", euler[0] * kRadToDeg, euler[1] * kRadToDeg,
                euler[2] * kRadToDeg);
}

int run() {
    DeviceInfo devices[10];
    int n;
    try {
        n = fenlarkGetDeviceList(devices, 10);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "Can't list the trackers: %s\n", e.what());
        return 2;
    }
    VirtualFenlark* handle = fenlarkCreate(100);
    std::printf("Number of Fenlarks found: %d\n", n);
    const int count = n < 0 ? 10 : n;
    for (int i = 0; i < count; ++i) {
        std::printf("%s:\t %s (FW %d.%d)\n", devices[i].port, devices[i].id,
                    devices[i].firmwareMajor, devices[i].firmwareMinor);
    }
    std::printf("\n\n");
    if (count < 1) {
        std::fprintf(stderr, "No Fenlark sensors found\n");
        printPortProblems();
        fenlarkDestroy(handle);
        return 0;
    }
    if (fenlarkOpen(handle, nullptr, nullptr) < 0) {
        std::fprintf(stderr, "Error while trying to access Fenlark\n");
        fenlarkDestroy(handle);
        return -1;
    }

    SensorConfig config;
    fenlarkGetConfig(handle, &config);
    config.channels = 0x3FF;
    config.frequency = 100;
    config.ascii = 0;
    config.raw = 0;
    fenlarkSetConfig(handle, &config);

    const float gain[9] = {0.68f, 0, 0, 0, 0.68f, 0, 0, 0, 0.68f};
    fenlarkSetKa(handle, gain);
    fenlarkSetKaStatus(handle, 1);
    fenlarkSetKg(handle, gain);
    fenlarkSetKgStatus(handle, 1);
    fenlarkSetJitterStatus(handle, 1);
    printConfig(handle, config);

    fenlarkStart(handle);
    // The ring starts with a sample of timestamp 0, which is never printed.
    bool printedAny = false;
    uint32_t last = 0;
    SensorSample sample;
    for (;;) {
        fenlarkGetData(handle, &sample);
        if (printedAny ? isNewer(sample.timestamp, last) : sample.timestamp != 0) {
            printSample(sample);
            last = sample.timestamp;
            printedAny = true;
        }
        if (fenlarkGetStreamState(handle) == FENLARK_STREAM_PORT_GONE) {
            // Unplugged: nothing more will come, and saying nothing would
            // leave the user looking at a frozen terminal.
            char id[8] = "";
            fenlarkGetID(handle, id);
            std::fprintf(stderr, "Tracker %s is gone: its port hung up (unplugged?)\n", id);
            fenlarkStop(handle);
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

}  // namespace

int main() {
    // Line-buffered even into a pipe or a file: the demo ends only when it is
    // killed, and no printed sample may be lost then.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    try {
        return run();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "Tracker error: %s\n", e.what());
        return 1;
    }
}
