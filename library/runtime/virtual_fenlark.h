// The tracker object behind every handle: the connection to one tracker,
// the sample ring, the acquisition thread while started, boresighting and
// jitter reduction.
//
// Threads: the caller's thread issues commands (only while stopped) and
// reads samples; the acquisition thread alone uses the port while started.
// Settings the acquisition thread or the reader use while a program may
// change them (boresight state, jitter flag and parameters) sit under
// settingsMutex_, so no reader sees half of a change.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "boresight.h"
#include "fenlark_imu.h"
#include "fenlark_io.h"
#include "host_filter.h"
#include "jitter_reduction.h"
#include "quorvane.h"
#include "sample_ring.h"

namespace Quorvane {

class VirtualFenlark {
  public:
    // A closed, stopped tracker with a ring of max(length, 2) samples.
    explicit VirtualFenlark(uint16_t length = 2);
    // Stops the tracker if it is started, then closes it.
    ~VirtualFenlark();
    VirtualFenlark(const VirtualFenlark&) = delete;
    VirtualFenlark& operator=(const VirtualFenlark&) = delete;

    // Connects: `port` null or empty takes the first enumerated port whose
    // device identifies, otherwise that path. With `config` it is written to
    // the device, else the device's configuration is read. Then loads the
    // boresight state and the jitter flag. Raises on failure; a failure after
    // identification keeps the connection. Blocks (see fenlarkOpen).
    void open(const char* port, const SensorConfig* config);
    // Stops the tracker if started, stops the device's stream, closes the port.
    void close();
    bool isOpen() const { return imu_ != nullptr; }

    // Starts the device's stream and the acquisition thread; on a started
    // tracker only re-asserts the running state. Raises when the thread
    // cannot be created, leaving the tracker stopped.
    bool start();
    // Ends the thread (waits for it), stops the stream, stores the boresight
    // state (a failure is reported on stderr only) and the jitter flag (a
    // failure raises). Returns the jitter-flag write's result.
    bool stop();
    bool isStarted() const;
    // FENLARK_STREAM_*: stopped, running, stalled (no packet for
    // kStallAfterMs) or port gone. Does not block; any thread.
    int streamState() const;
    static constexpr int kStallAfterMs = 500;

    // Next sample of the ring, boresight-corrected when enabled and not RAW.
    void getData(SensorSample* out);
    // Waits up to timeoutMs until getData has a sample it has not returned
    // yet; false at once when stopped or the port is gone.
    bool waitForData(uint32_t timeoutMs);

    // The protocol object of the open connection; raises "No Fenlarker open"
    // when closed.
    FenlarkIMU& imu();

    bool boresightEnabled() const;
    // Writes the flag to the device only while stopped; returns true then,
    // `on` while started.
    bool setBoresight(bool on);
    // Takes the newest sample as reference for `mode`, then setBoresight(true).
    bool boresight(int mode);

    bool jitterEnabled() const;
    bool setJitterStatus(bool on);
    JitterParams jitterParams() const;

    // The host filter of the next start: StandardProfile or RobustProfile.
    FilterProfile filterProfile() const { return profile_.load(); }
    void setFilterProfile(FilterProfile profile) { profile_.store(profile); }
    void setJitterParams(const JitterParams& params);
    // The process-noise gain the acquisition thread last handed to the
    // filter (1.0 when jitter reduction did not run). For tests and tools.
    double jitterGain() const { return jitterGain_.load(); }

  private:
    void connect(const char* port);
    void loadBoresight();
    void storeBoresight();
    void acquire();  // the acquisition thread's body
    // The acquisition thread's handling of one decoded packet.
    void process(const SensorSample& sample);
    // Parks the acquisition thread without CPU until stop wakes it.
    void waitForStop();

    std::unique_ptr<FenlarkIO> io_;
    std::unique_ptr<FenlarkIMU> imu_;
    SensorConfig openConfig_{};

    mutable std::mutex settingsMutex_;
    BoresightState boresight_;    // guarded by settingsMutex_
    bool jitterEnabled_ = false;  // guarded by settingsMutex_
    JitterParams jitterParams_;   // guarded by settingsMutex_

    SampleRing ring_;

    // Start and stop: running_ is read by the thread without the mutex.
    std::mutex stateMutex_;
    std::condition_variable finishedCond_;
    std::atomic<bool> running_{false};
    bool finished_ = true;  // guarded by stateMutex_
    std::thread thread_;
    std::unique_ptr<HostFilter> filter_;  // exists only while started
    std::atomic<FilterProfile> profile_{StandardProfile};
    std::atomic<bool> started_{false};      // between start and stop (filter_ exists)
    JitterReduction jitter_;                // the thread's own
    std::atomic<double> jitterGain_{1.0};   // published copy of the gain in use
    std::condition_variable wakeCond_;      // wakes a parked thread at stop
    std::atomic<bool> portGone_{false};     // set by the thread on a hang-up
    std::atomic<int64_t> lastPacketMs_{0};  // steady clock of the last packet
};

}  // namespace Quorvane
