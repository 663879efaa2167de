#include "boresight.h"

#include <cmath>

namespace Quorvane {

void BoresightState::setReferences(const Quat& newHeading, const Quat& newAlignment) {
    heading = newHeading;
    alignment = newAlignment;
    rotationMatrix(alignment, alignmentMatrix);
}

void takeBoresightReference(BoresightState& state, int mode, const Quat& q) {
    if (mode < BoresightHeading || mode > BoresightAlignment) return;
    float euler[3];
    eulerAngles(q, euler);
    // Half the yaw angle gives the pure yaw rotation (co, 0, 0, si).
    const float half = static_cast<float>(euler[0] * 0.5);
    const float co = static_cast<float>(std::cos(half));
    const float si = static_cast<float>(std::sin(half));

    if (mode == BoresightHeading) {
        Quat heading = state.heading;  // x and y are kept; they never enter the correction
        heading.w = co;
        heading.z = -si;
        state.setReferences(heading, {1, 0, 0, 0});
        return;
    }
    const Quat heading = mode == BoresightObject ? Quat{1, 0, 0, 0} : Quat{co, 0, 0, -si};
    // alignment = (co, 0, 0, si) ⊗ conj(q): turns the current pose into the pure yaw.
    const Quat alignment = multiply({co, 0, 0, si}, conjugate(q));
    state.setReferences(heading, alignment);
}

void applyBoresight(const BoresightState& state, SensorSample* sample) {
    const Quat q{sample->quat[0], sample->quat[1], sample->quat[2], sample->quat[3]};
    const Quat p = multiply(state.alignment, q);
    const Quat corrected = multiply(p, {state.heading.w, 0, 0, state.heading.z});
    sample->quat[0] = corrected.w;
    sample->quat[1] = corrected.x;
    sample->quat[2] = corrected.y;
    sample->quat[3] = corrected.z;
    rotate(state.alignmentMatrix, sample->acc);
    rotate(state.alignmentMatrix, sample->gyr);
    rotate(state.alignmentMatrix, sample->mag);
}

}  // namespace Quorvane
