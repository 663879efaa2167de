#include "virtual_fenlark.h"

#include <pthread.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <system_error>

#include "device_list.h"

namespace Quorvane {
namespace {

constexpr int32_t kOrientationChannel = 1 << 10;
constexpr int32_t kMotionChannels = 0x1FF;  // magnetometer, accelerometer, gyroscope complete

int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

VirtualFenlark::VirtualFenlark(uint16_t length) : ring_(length) {}

VirtualFenlark::~VirtualFenlark() {
    try {
        close();
    } catch (...) {
        // Nothing can be reported from here; the connection is released anyway.
    }
}

FenlarkIMU& VirtualFenlark::imu() {
    if (!imu_) throw std::runtime_error("No Fenlarker open");
    return *imu_;
}

void VirtualFenlark::connect(const char* port) {
    close();
    io_ = createPlatformIO(kPortBufferSize);
    // Opens `path` and identifies the device, with one more attempt when the
    // device did not identify: a loaded host can miss the short reply window.
    // A port that can't be opened is refused at once; waiting won't change it.
    const auto identify = [this](const std::string& path) {
        for (int attempt = 1;; ++attempt) {
            try {
                io_->open(path, kBaudRate);
                imu_ = std::make_unique<FenlarkIMU>(io_.get());
                return;
            } catch (const PortOpenError&) {
                throw;
            } catch (const std::runtime_error&) {
                io_->close();
                if (attempt >= kConnectAttempts) throw;
            }
        }
    };
    if (port && *port) {
        try {
            identify(port);
        } catch (...) {
            io_->close();
            io_.reset();
            throw;
        }
        return;
    }
    for (unsigned i = 0; i < io_->portCount() && !imu_; ++i) {
        try {
            identify(io_->portPath(i));
        } catch (const std::runtime_error&) {
            io_->close();
        }
    }
    if (!imu_) {
        io_.reset();
        throw std::runtime_error("Fenlark device could not be found");
    }
}

void VirtualFenlark::open(const char* port, const SensorConfig* config) {
    connect(port);
    imu_->stopStreaming(false);
    openConfig_ = imu_->getConfig(true);
    if (config) {
        openConfig_ = *config;
        imu_->setConfig(*config);
    }
    loadBoresight();
    const bool jitter = imu_->getJitterStatus();
    std::lock_guard lock(settingsMutex_);
    jitterEnabled_ = jitter;
}

void VirtualFenlark::close() {
    if (isStarted()) {
        try {
            stop();
        } catch (const std::exception&) {
            // The thread has ended; a device that no longer answers must not
            // keep the connection from being released.
        }
    }
    imu_.reset();  // stops the stream and closes the port
    io_.reset();
}

void VirtualFenlark::loadBoresight() {
    float heading[4], alignment[4];
    bool enabled = false;
    bool loaded = true;
    try {
        imu_->getBoresight(heading, alignment);
        enabled = imu_->getBoresightStatus();
    } catch (const std::runtime_error&) {
        loaded = false;
    }
    std::lock_guard lock(settingsMutex_);
    if (loaded) {
        boresight_.setReferences({heading[0], heading[1], heading[2], heading[3]},
                                 {alignment[0], alignment[1], alignment[2], alignment[3]});
        boresight_.enabled = enabled;
    } else {
        boresight_.setReferences({1, 0, 0, 0}, {1, 0, 0, 0});
        boresight_.enabled = false;
    }
}

void VirtualFenlark::storeBoresight() {
    BoresightState state;
    {
        std::lock_guard lock(settingsMutex_);
        state = boresight_;
    }
    const float heading[4] = {state.heading.w, state.heading.x, state.heading.y, state.heading.z};
    const float alignment[4] = {state.alignment.w, state.alignment.x, state.alignment.y,
                                state.alignment.z};
    try {
        imu().setBoresightStatus(state.enabled);
        imu().setBoresight(heading, alignment);
    } catch (const std::runtime_error&) {
        std::fputs("Sending boresight data to sensor failed.  Please update your firmware.\n",
                   stderr);
    }
}

bool VirtualFenlark::isStarted() const {
    return started_.load();
}

bool VirtualFenlark::start() {
    FenlarkIMU& device = imu();  // raises before any state changes on a closed tracker
    std::lock_guard lock(stateMutex_);
    finished_ = false;
    running_ = true;
    if (started_) return true;  // already started: the flags are asserted again

    filter_ = std::make_unique<HostFilter>(profile_.load());
    portGone_ = false;
    lastPacketMs_ = steadyMs();
    started_ = true;
    try {
        device.startStreaming();
    } catch (...) {
        // Stopped again: with no thread, a later stop would wait for it forever.
        running_ = false;
        finished_ = true;
        filter_.reset();
        started_ = false;
        throw;
    }
    ring_.reset();
    try {
        thread_ = std::thread([this] { acquire(); });
    } catch (const std::system_error&) {
        running_ = false;
        finished_ = true;
        filter_.reset();
        started_ = false;
        device.stopStreaming(false);
        throw std::runtime_error("Could not start the acquisition thread");
    }
    return true;
}

bool VirtualFenlark::stop() {
    FenlarkIMU& device = imu();
    bool gone;
    {
        std::unique_lock lock(stateMutex_);
        while (!finished_) {
            running_ = false;
            wakeCond_.notify_all();
            finishedCond_.wait(lock);
        }
        if (thread_.joinable()) thread_.join();
        // Stopped from here on, even if the device does not take the stop.
        filter_.reset();
        started_ = false;
        gone = io_->hungUp();
        if (!gone) device.stopStreaming(true);
    }
    if (gone) {
        // The tracker is gone (unplugged): nothing can be stored on it, and
        // that is no failure of the host. Release the port at once, so that
        // a tracker plugged in again can be opened.
        imu_.reset();
        io_.reset();
        return true;
    }
    storeBoresight();
    return device.setJitterStatus(jitterEnabled());
}

int VirtualFenlark::streamState() const {
    if (!started_.load()) return FENLARK_STREAM_STOPPED;
    if (portGone_.load()) return FENLARK_STREAM_PORT_GONE;
    if (steadyMs() - lastPacketMs_.load() > kStallAfterMs) return FENLARK_STREAM_STALLED;
    return FENLARK_STREAM_RUNNING;
}

void VirtualFenlark::waitForStop() {
    std::unique_lock lock(stateMutex_);
    wakeCond_.wait(lock, [this] { return !running_.load(); });
}

void VirtualFenlark::acquire() {
    // Named, so that it can be told apart in a debugger or profiler.
    pthread_setname_np(pthread_self(), "fenlark-acq");
    jitter_.reset();
    jitterGain_.store(1.0);
    while (running_.load()) {
        if (io_->hungUp()) {
            // Nothing will arrive any more: keep the last sample and wait,
            // without using the processor, until the program stops us.
            portGone_ = true;
            waitForStop();
            break;
        }
        SensorSample local = SampleRing::initialSample();
        const char* failure;
        try {
            // Not raising for the common "no packet yet": a poll of a quiet
            // stream would otherwise cost an exception per round.
            failure = imu_->tryReadPacket(&local);
        } catch (const std::exception&) {
            failure = "port error";
        }
        if (failure) {
            std::this_thread::yield();  // no sample this time
            continue;
        }
        lastPacketMs_ = steadyMs();
        process(local);
        std::this_thread::yield();
    }
    std::lock_guard lock(stateMutex_);
    finished_ = true;
    finishedCond_.notify_all();
}

void VirtualFenlark::process(const SensorSample& sample) {
    SensorSample out = sample;
    const SensorConfig config = imu_->getConfig(false);
    if (!(config.channels & kOrientationChannel) &&
        (config.channels & kMotionChannels) == kMotionChannels) {
        bool jitterOn;
        JitterParams params;
        {
            std::lock_guard lock(settingsMutex_);
            jitterOn = jitterEnabled_;
            params = jitterParams_;
        }
        try {
            const double gain =
                jitterOn && filter_->initialised() ? jitter_.step(sample.gyr, params) : 1.0;
            jitterGain_.store(gain);
            filter_->update(&sample, &out, gain);
        } catch (...) {
            // A filter that failed on this sample may be left in any state:
            // drop the sample (the ring keeps the last good one) and start
            // the estimate afresh from the next.
            filter_ = std::make_unique<HostFilter>(profile_.load());
            jitter_.reset();
            return;
        }
    }
    *ring_.reserve() = out;
    ring_.publish();
}

void VirtualFenlark::getData(SensorSample* out) {
    ring_.read(out);
    BoresightState state;
    {
        std::lock_guard lock(settingsMutex_);
        if (!boresight_.enabled) return;
        state = boresight_;
    }
    // RAW readings are not in the frame the references were taken in.
    if (imu_ && imu_->getConfig(false).raw) return;
    applyBoresight(state, out);
}

bool VirtualFenlark::waitForData(uint32_t timeoutMs) {
    if (!started_.load() || portGone_.load()) return false;
    return ring_.waitUnread(std::chrono::milliseconds(timeoutMs));
}

bool VirtualFenlark::boresightEnabled() const {
    std::lock_guard lock(settingsMutex_);
    return boresight_.enabled;
}

bool VirtualFenlark::setBoresight(bool on) {
    {
        std::lock_guard lock(settingsMutex_);
        boresight_.enabled = on;
    }
    if (isStarted()) return on;  // stored on the device at stop
    return imu().setBoresightStatus(on);
}

bool VirtualFenlark::boresight(int mode) {
    SensorSample newest;
    ring_.newest(&newest);
    {
        std::lock_guard lock(settingsMutex_);
        takeBoresightReference(boresight_, mode,
                               {newest.quat[0], newest.quat[1], newest.quat[2], newest.quat[3]});
    }
    return setBoresight(true);
}

bool VirtualFenlark::jitterEnabled() const {
    std::lock_guard lock(settingsMutex_);
    return jitterEnabled_;
}

bool VirtualFenlark::setJitterStatus(bool on) {
    {
        std::lock_guard lock(settingsMutex_);
        jitterEnabled_ = on;
    }
    if (isStarted()) return on;  // stored on the device at stop
    return imu().setJitterStatus(on);
}

JitterParams VirtualFenlark::jitterParams() const {
    std::lock_guard lock(settingsMutex_);
    return jitterParams_;
}

void VirtualFenlark::setJitterParams(const JitterParams& params) {
    std::lock_guard lock(settingsMutex_);
    jitterParams_ = params;
}

}  // namespace Quorvane
