#include "accuracy.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "replay_csv.h"

namespace Replay {
namespace {

constexpr double kDegrees = 180.0 / 3.14159265358979323846;

}  // namespace

Quat enuFromSensorWorld(const Quat& qSW) {
    // Turning the north-west-up world by +90 degrees about z gives east-north-up:
    // its x (north) becomes ENU's y, its y (west) ENU's -x.
    const double c = std::sqrt(0.5);
    return Quat{c, 0, 0, c} * conjugate(qSW);
}

OrientationError orientationError(const Quat& estimateENU, const Quat& truthENU) {
    // d = q_est (x) conj(q_true): the error rotation, in the world frame
    const Quat d = normalised(normalised(estimateENU) * conjugate(normalised(truthENU)));
    const double w = std::fabs(d.w);
    OrientationError e;
    // total = 2 acos(min(1, |d_w|))
    e.total = 2 * std::acos(std::min(1.0, w));
    // heading = 2 atan(|d_z / d_w|); atan2 keeps d_w = 0 finite (pi)
    e.heading = 2 * std::atan2(std::fabs(d.z), w);
    // inclination = 2 acos(min(1, sqrt(d_w^2 + d_z^2)))
    e.inclination = 2 * std::acos(std::min(1.0, std::sqrt(d.w * d.w + d.z * d.z)));
    return e;
}

void RmseAccumulator::add(const OrientationError& e) {
    total_ += e.total * e.total;
    heading_ += e.heading * e.heading;
    inclination_ += e.inclination * e.inclination;
    ++count_;
}

Rmse RmseAccumulator::result() const {
    Rmse r;
    r.samples = count_;
    if (count_ == 0) return r;
    const double n = static_cast<double>(count_);
    // RMSE = sqrt(mean(e^2)), in degrees
    r.total = std::sqrt(total_ / n) * kDegrees;
    r.heading = std::sqrt(heading_ / n) * kDegrees;
    r.inclination = std::sqrt(inclination_ / n) * kDegrees;
    return r;
}

Rmse scoreRecording(const std::string& text, const std::string& source,
                    Quorvane::FilterProfile profile) {
    std::vector<std::string> required = sensorColumns();
    for (const char* name : {"gt_qw", "gt_qx", "gt_qy", "gt_qz"}) required.push_back(name);
    const Columns columns = readColumns(text, source, required, {"movement"});
    Recording recording = recordingFrom(columns, source);
    replay(recording.samples, profile);

    const auto& v = columns.values;
    const std::vector<double>& movement = v[required.size()];
    RmseAccumulator rmse;
    for (std::size_t i = 0; i < columns.rows(); ++i) {
        if (!movement.empty() && movement[i] != 1) continue;
        const Quat truth{v[10][i], v[11][i], v[12][i], v[13][i]};
        if (!finite(truth)) continue;  // the cameras lost the body
        const float* q = recording.samples[i].quat;
        rmse.add(orientationError(enuFromSensorWorld(Quat{q[0], q[1], q[2], q[3]}), truth));
    }
    return rmse.result();
}

std::string describe(const Rmse& r) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "total %.2f, heading %.2f, inclination %.2f deg RMSE over %zu samples", r.total,
                  r.heading, r.inclination, r.samples);
    return text;
}

}  // namespace Replay
