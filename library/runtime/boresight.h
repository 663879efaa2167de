// Boresighting: re-references the reported orientation to a pose the user
// chose. Pure arithmetic on a state the tracker object keeps and shares.
#pragma once

#include "quaternion.h"
#include "quorvane.h"

namespace Quorvane {

using Filtering::Quatf;

enum BoresightMode { BoresightHeading = 1, BoresightObject = 2, BoresightAlignment = 3 };

struct BoresightState {
    Quatf heading{1, 0, 0, 0};  // only w and z enter the correction
    Quatf alignment{1, 0, 0, 0};
    float alignmentMatrix[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};  // R(alignment)
    bool enabled = false;

    // Sets both references and recomputes the matrix.
    void setReferences(const Quatf& newHeading, const Quatf& newAlignment);
};

// Takes the reference for `mode` from the current orientation q:
//  1 heading:   later poses lose the current yaw; vectors stay unrotated.
//  2 object:    the current pose reads as the pure yaw rotation (tilt removed).
//  3 alignment: the current pose reads as the identity.
// Other modes change nothing. Does not touch `enabled`.
void takeBoresightReference(BoresightState& state, int mode, const Quatf& q);

// q' = alignment ⊗ q ⊗ (heading.w, 0, 0, heading.z); acc, gyr and mag are
// rotated by the alignment matrix.
void applyBoresight(const BoresightState& state, SensorSample* sample);

}  // namespace Quorvane
