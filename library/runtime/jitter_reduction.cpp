#include "jitter_reduction.h"

#include <algorithm>

namespace Quorvane {

void JitterReduction::reset() {
    lowPass_[0] = lowPass_[1] = lowPass_[2] = 0.0;
    gain_ = 1.0;
}

double JitterReduction::step(const float gyr[3], const JitterParams& params) {
    double energy = 0.0;
    for (int i = 0; i < 3; ++i) {
        // lowPass = (1 - alpha) lowPass + alpha gyr: alpha weights the new value.
        lowPass_[i] = (1.0 - params.alpha) * lowPass_[i] + params.alpha * gyr[i];
        energy += lowPass_[i] * lowPass_[i];
    }
    if (energy < params.threshold)
        gain_ = std::max(kMinGain, params.decay * gain_);
    else
        gain_ = std::min(params.growth * gain_, 1.0);
    return gain_;
}

}  // namespace Quorvane
