#include "filter_run.h"

#include "orientation_filter.h"
#include "robust_orientation_filter.h"

namespace Replay {

FilterRun::FilterRun(Profile profile) {
    if (profile == Profile::Robust)
        robust_ = std::make_unique<Quorvane::RobustOrientationFilter>();
    else
        standard_ = std::make_unique<Quorvane::OrientationFilter>();
}

FilterRun::~FilterRun() = default;

void FilterRun::update(SensorSample& sample) {
    const SensorSample in = sample;
    if (robust_)
        robust_->update(&in, &sample, 1.0);
    else
        standard_->update(&in, &sample, 1.0);
}

}  // namespace Replay
