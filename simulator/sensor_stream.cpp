#include "sensor_stream.h"

#include <utility>

namespace sim {

SensorStream::SensorStream(const Motion& motion, const Environment& environment,
                           std::uint32_t clockStart, const std::string& truthFile)
    : clockStart_(clockStart), integrator_(motion), sensors_(environment), truth_(truthFile) {}

void SensorStream::setMotion(const Motion& motion, bool resetOrientation) {
    std::lock_guard lock(motionMutex_);
    pendingMotion_.emplace(motion, resetOrientation);
}

void SensorStream::measure(std::uint64_t tick, const StreamConfig& config,
                           const CalibrationData& record, std::vector<std::uint8_t>& out) {
    {
        std::lock_guard lock(motionMutex_);
        if (pendingMotion_) {
            integrator_.advanceTo(tick);
            integrator_.setMotion(pendingMotion_->first, pendingMotion_->second);
            pendingMotion_.reset();
        }
    }
    const MotionState state = integrator_.advanceTo(tick);
    const PhysicalReading physical = sensors_.measure(tick, integrator_.orientation(), state);
    const RawReading raw = toRaw(ChipModel::unit(), physical, config.magDivider);
    // Float mode: the device applies whatever record it holds to its readings.
    const CalibratedReading calibrated = applyCalibration(record, raw, config.magDivider);
    appendPacket(config, timestampAt(tick), raw, calibrated, integrator_.orientation(), out);
    lastTick_ = tick;
}

void SensorStream::sent() {
    truth_.record(timestampAt(lastTick_), lastTick_, integrator_.orientation());
}

}  // namespace sim
