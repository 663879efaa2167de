// Jitter reduction: while the tracker rests, the host filter's process noise
// is scaled down step by step, so the orientation stops wandering; motion
// brings the scale back quickly.
#pragma once

namespace Quorvane {

struct JitterParams {
    double alpha = 0.98;       // weight of the newest gyroscope reading in the low-pass
    double threshold = 0.008;  // (rad/s)^2: below it the low-passed rate counts as still
    double decay = 0.7;        // gain factor per still sample
    double growth = 10.0;      // gain factor per moving sample
};

class JitterReduction {
  public:
    static constexpr double kMinGain = 1e-8;

    // Back to no smoothing history and full gain, as at every stream start.
    void reset();

    // One step for a gyroscope reading (rad/s); returns the process-noise
    // scale for the filter's next time update, in [kMinGain, 1].
    double step(const float gyr[3], const JitterParams& params);

    double gain() const { return gain_; }

  private:
    double lowPass_[3] = {0, 0, 0};
    double gain_ = 1.0;
};

}  // namespace Quorvane
