// The built-in source of the data stream: the true motion, the sensors that
// feel it, the chips that digitise it, and the packet the device makes of it.
// Used by the serving thread only, except the truth lookup and setMotion,
// which any thread may call.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "motion.h"
#include "packet_writer.h"
#include "quorvane.h"
#include "sensor_model.h"
#include "truth_log.h"

namespace sim {

class SensorStream {
  public:
    // clockStart: device timestamp at power-up (100 us units, wraps at 2^32).
    // Throws std::runtime_error when the truth file cannot be created.
    SensorStream(const Motion& motion, const Environment& environment, std::uint32_t clockStart,
                 const std::string& truthFile);

    std::uint32_t timestampAt(std::uint64_t tick) const {
        return static_cast<std::uint32_t>(clockStart_ + tick);
    }

    // Measures the sample at tick (100 us since power-up, never decreasing)
    // and appends its packet for the configuration and calibration record.
    void measure(std::uint64_t tick, const StreamConfig& config, const CalibrationData& record,
                 std::vector<std::uint8_t>& out);
    // The last measured packet went out: remember its truth.
    void sent();
    // Writes buffered truth rows to the file.
    void flushTruth() { truth_.flush(); }

    // Takes effect at the next sample; thread-safe.
    void setMotion(const Motion& motion, bool resetOrientation);
    std::optional<Quat> truthAt(std::uint32_t timestamp) const { return truth_.at(timestamp); }

  private:
    const std::uint32_t clockStart_;
    TruthIntegrator integrator_;
    SensorModel sensors_;
    TruthLog truth_;
    std::uint64_t lastTick_ = 0;

    std::mutex motionMutex_;
    std::optional<std::pair<Motion, bool>> pendingMotion_;  // guarded by motionMutex_
};

}  // namespace sim
