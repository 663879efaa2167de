// The host orientation filter chosen by profile: 0 the standard filter (the
// default), 1 the robust filter. The tracker runs one per streaming period,
// orientation_replay one per recording.
#pragma once

#include <memory>

#include "quorvane.h"

namespace Quorvane {

class OrientationFilter;
class RobustOrientationFilter;

enum FilterProfile { StandardProfile = 0, RobustProfile = 1 };

class HostFilter {
  public:
    explicit HostFilter(FilterProfile profile);
    ~HostFilter();
    HostFilter(const HostFilter&) = delete;
    HostFilter& operator=(const HostFilter&) = delete;

    // Writes out->quat from the sample; gain scales the standard filter's
    // process noise (the robust filter keeps its own time constants).
    void update(const SensorSample* in, SensorSample* out, double gain);
    bool initialised() const;

  private:
    std::unique_ptr<OrientationFilter> standard_;
    std::unique_ptr<RobustOrientationFilter> robust_;
};

}  // namespace Quorvane
