#include "accuracy.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "host_filter.h"
#include "replay_csv.h"

namespace Replay {
namespace {

constexpr double kDegrees = 180.0 / 3.14159265358979323846;
// How far the length of a ground-truth quaternion may be from 1.
constexpr double kUnitTolerance = 0.01;

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

Rmse scoreRecording(std::streambuf& in, const std::string& source,
                    Quorvane::FilterProfile profile) {
    std::vector<std::string> required = sensorColumns();
    const std::size_t truthColumn = required.size();
    for (const char* name : {"gt_qw", "gt_qx", "gt_qy", "gt_qz"}) required.push_back(name);
    const std::size_t movementColumn = required.size();
    CsvReader row(in, source, required, {"movement"});
    Quorvane::HostFilter filter(profile);

    RmseAccumulator rmse;
    while (row.next()) {
        SensorSample sample = sensorSample(row);
        const SensorSample reading = sample;
        filter.update(&reading, &sample, 1.0);
        if (row.has(movementColumn) && row[movementColumn] != 1) continue;
        const Quat truth{row[truthColumn], row[truthColumn + 1], row[truthColumn + 2],
                         row[truthColumn + 3]};
        if (std::isnan(truth.w) && std::isnan(truth.x) && std::isnan(truth.y) &&
            std::isnan(truth.z))
            continue;  // the cameras lost the body
        // A truth that is partly unknown, or far from unit length, is no
        // rotation; scaled to one it would score against a made-up orientation.
        const double norm =
            std::sqrt(truth.w * truth.w + truth.x * truth.x + truth.y * truth.y + truth.z * truth.z);
        if (!std::isfinite(norm) || std::fabs(norm - 1) > kUnitTolerance) {
            char text[64];
            std::snprintf(text, sizeof text, "%.6g", norm);
            throw Error(row.where() +
                        "columns gt_qw..gt_qz: the truth must be a unit quaternion, or nan in all "
                        "four where unknown; its norm is " +
                        text);
        }
        const float* q = sample.quat;
        rmse.add(orientationError(enuFromSensorWorld(Quat{q[0], q[1], q[2], q[3]}), truth));
    }
    const Rmse result = rmse.result();
    if (result.samples == 0)
        throw Error(source + ": nothing to score: no moving sample with a known truth");
    return result;
}

Rmse scoreRecording(const std::string& text, const std::string& source,
                    Quorvane::FilterProfile profile) {
    std::stringbuf in(text, std::ios::in);
    return scoreRecording(in, source, profile);
}

std::string describe(const Rmse& r) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "total %.2f, heading %.2f, inclination %.2f deg RMSE over %zu samples", r.total,
                  r.heading, r.inclination, r.samples);
    return text;
}

}  // namespace Replay
