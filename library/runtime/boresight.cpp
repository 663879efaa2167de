#include "boresight.h"

#include <cmath>

namespace Quorvane {

void BoresightState::setReferences(const Quatf& newHeading, const Quatf& newAlignment) {
    heading = newHeading;
    alignment = newAlignment;
    Filtering::rotationMatrix(alignment, alignmentMatrix);
}

void takeBoresightReference(BoresightState& state, int mode, const Quatf& q) {
    if (mode < BoresightHeading || mode > BoresightAlignment) return;
    float euler[3];
    Filtering::eulerAngles(q, euler);
    // Half the yaw angle gives the pure yaw rotation (co, 0, 0, si).
    const float half = static_cast<float>(euler[0] * 0.5);
    const float co = static_cast<float>(std::cos(half));
    const float si = static_cast<float>(std::sin(half));

    if (mode == BoresightHeading) {
        Quatf heading = state.heading;  // x and y are kept; they never enter the correction
        heading.w = co;
        heading.z = -si;
        state.setReferences(heading, {1, 0, 0, 0});
        return;
    }
    const Quatf heading = mode == BoresightObject ? Quatf{1, 0, 0, 0} : Quatf{co, 0, 0, -si};
    // alignment = (co, 0, 0, si) ⊗ conj(q): turns the current pose into the pure yaw.
    const Quatf alignment = Quatf{co, 0, 0, si} * conjugate(q);
    state.setReferences(heading, alignment);
}

void applyBoresight(const BoresightState& state, SensorSample* sample) {
    const Quatf q{sample->quat[0], sample->quat[1], sample->quat[2], sample->quat[3]};
    const Quatf p = state.alignment * q;
    const Quatf corrected = p * Quatf{state.heading.w, 0, 0, state.heading.z};
    sample->quat[0] = corrected.w;
    sample->quat[1] = corrected.x;
    sample->quat[2] = corrected.y;
    sample->quat[3] = corrected.z;
    Filtering::transform(state.alignmentMatrix, sample->acc);
    Filtering::transform(state.alignmentMatrix, sample->gyr);
    Filtering::transform(state.alignmentMatrix, sample->mag);
}

}  // namespace Quorvane
