// Float quaternion arithmetic of the runtime: Hamilton product, conjugate,
// rotation matrix, and the conversion to yaw, pitch and roll. Quaternions
// are (w, x, y, z); R(q) maps world vectors into the sensor frame for Q_SW.
#pragma once

namespace Quorvane {

struct Quat {
    float w, x, y, z;
};

// (a ⊗ b), Hamilton product, in float arithmetic.
Quat multiply(const Quat& a, const Quat& b);
Quat conjugate(const Quat& q);
// R(q), row by row.
void rotationMatrix(const Quat& q, float out[9]);
// out = m v for a row-major 3 x 3 matrix.
void rotate(const float m[9], float v[3]);

// Yaw, pitch, roll in radians; yaw in [0, 2 pi). The pitch's asin argument
// is clamped to [-1, 1], so rounding near +-90 degrees gives +-pi/2, not NaN.
void eulerAngles(const Quat& q, float euler[3]);

}  // namespace Quorvane
