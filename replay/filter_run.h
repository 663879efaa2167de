// One fresh host filter fed a recording's samples one at a time, as the
// library feeds it a live tracker's (process-noise gain 1, jitter reduction
// off), so a recording of any length is replayed without holding it.
#pragma once

#include <memory>

#include "quorvane.h"
#include "replay_csv.h"

namespace Quorvane {
class OrientationFilter;
class RobustOrientationFilter;
}  // namespace Quorvane

namespace Replay {

class FilterRun {
  public:
    explicit FilterRun(Profile profile);
    ~FilterRun();
    FilterRun(const FilterRun&) = delete;
    FilterRun& operator=(const FilterRun&) = delete;

    // Stores the filter's Q_SW after this sample into sample.quat.
    void update(SensorSample& sample);

  private:
    std::unique_ptr<Quorvane::OrientationFilter> standard_;
    std::unique_ptr<Quorvane::RobustOrientationFilter> robust_;
};

}  // namespace Replay
