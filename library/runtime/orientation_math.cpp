#include "orientation_math.h"

#include <algorithm>
#include <cmath>

namespace Quorvane {

Quat multiply(const Quat& a, const Quat& b) {
    return {a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z,
            a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
            a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
            a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w};
}

Quat conjugate(const Quat& q) {
    return {q.w, -q.x, -q.y, -q.z};
}

void rotationMatrix(const Quat& q, float m[9]) {
    const float w = q.w, x = q.x, y = q.y, z = q.z;
    m[0] = 1 - 2 * (y * y + z * z);
    m[1] = 2 * (x * y - z * w);
    m[2] = 2 * (x * z + y * w);
    m[3] = 2 * (x * y + z * w);
    m[4] = 1 - 2 * (x * x + z * z);
    m[5] = 2 * (y * z - x * w);
    m[6] = 2 * (x * z - y * w);
    m[7] = 2 * (y * z + x * w);
    m[8] = 1 - 2 * (x * x + y * y);
}

void rotate(const float m[9], float v[3]) {
    const float a = v[0], b = v[1], c = v[2];
    for (int r = 0; r < 3; ++r) v[r] = m[3 * r] * a + m[3 * r + 1] * b + m[3 * r + 2] * c;
}

void eulerAngles(const Quat& q, float euler[3]) {
    const double w = q.w, x = q.x, y = q.y, z = q.z;
    // t = sin(pitch) / 2; within 1e-8 of +-0.5 the yaw and roll axes align
    // (gimbal lock) and the whole turn about them is reported as yaw.
    const double t = x * z + w * y;
    double yaw, roll;
    if (t + 1e-8 > 0.5) {
        yaw = 2.0 * static_cast<float>(std::atan2(x, w));
        roll = 0.0;
    } else if (t - 1e-8 < -0.5) {
        yaw = -2.0 * static_cast<float>(std::atan2(x, w));
        roll = 0.0;
    } else {
        yaw = std::atan2(static_cast<float>(2.0 * (z * w - x * y)),
                         static_cast<float>(1.0 - 2.0 * (y * y + z * z)));
        roll = std::atan2(static_cast<float>(2.0 * (y * z - x * w)),
                          static_cast<float>(1.0 - 2.0 * (x * x + y * y)));
    }
    const double pitch = std::asin(std::clamp(2.0 * t, -1.0, 1.0));
    if (yaw < 0) yaw += 6.2831854820251465;  // 2 pi rounded to float
    euler[0] = static_cast<float>(yaw);
    euler[1] = static_cast<float>(pitch);
    euler[2] = static_cast<float>(roll);
}

}  // namespace Quorvane
