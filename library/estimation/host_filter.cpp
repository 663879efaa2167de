#include "host_filter.h"

#include "orientation_filter.h"
#include "robust_orientation_filter.h"

namespace Quorvane {

HostFilter::HostFilter(FilterProfile profile) {
    if (profile == RobustProfile)
        robust_ = std::make_unique<RobustOrientationFilter>();
    else
        standard_ = std::make_unique<OrientationFilter>();
}

HostFilter::~HostFilter() = default;

void HostFilter::update(const SensorSample* in, SensorSample* out, double gain) {
    if (robust_)
        robust_->update(in, out, gain);
    else
        standard_->update(in, out, gain);
}

bool HostFilter::initialised() const {
    return robust_ ? robust_->initialised() : standard_->initialised();
}

}  // namespace Quorvane
