#include "quaternion.h"

#include <algorithm>

namespace Filtering {

void eulerAngles(const Quatf& q, float euler[3]) {
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
    // The asin argument is clamped: rounding near +-90 degrees gives +-pi/2, not NaN.
    const double pitch = std::asin(std::clamp(2.0 * t, -1.0, 1.0));
    if (yaw < 0) yaw += 6.2831854820251465;  // 2 pi rounded to float
    euler[0] = static_cast<float>(yaw);
    euler[1] = static_cast<float>(pitch);
    euler[2] = static_cast<float>(roll);
}

Eigen::Matrix3d rotationMatrix(const Eigen::Vector4d& q) {
    double m[9];
    rotationMatrix(Quatd{q(0), q(1), q(2), q(3)}, m);
    Eigen::Matrix3d R;
    R << m[0], m[1], m[2], m[3], m[4], m[5], m[6], m[7], m[8];
    return R;
}

Matrix34 rotationDerivative(const Eigen::Vector4d& q, const Eigen::Vector3d& s) {
    const double w = q(0), x = q(1), y = q(2), z = q(3);
    const double s1 = s(0), s2 = s(1), s3 = s(2);
    Matrix34 D;
    // columns: d/dw, d/dx, d/dy, d/dz of R(q) s
    D.col(0) << w * s1 - z * s2 + y * s3, z * s1 + w * s2 - x * s3, -y * s1 + x * s2 + w * s3;
    D.col(1) << x * s1 + y * s2 + z * s3, y * s1 - x * s2 - w * s3, z * s1 + w * s2 - x * s3;
    D.col(2) << -y * s1 + x * s2 + w * s3, x * s1 + y * s2 + z * s3, -w * s1 + z * s2 - y * s3;
    D.col(3) << -z * s1 - w * s2 + x * s3, w * s1 - z * s2 + y * s3, x * s1 + y * s2 + z * s3;
    return 2 * D;
}

Eigen::Matrix4d leftProductMatrix(const Eigen::Vector4d& p) {
    const double w = p(0), x = p(1), y = p(2), z = p(3);
    Eigen::Matrix4d M;
    M << w, -x, -y, -z,  //
        x, w, -z, y,     //
        y, z, w, -x,     //
        z, -y, x, w;
    return M;
}

Eigen::Matrix4d rightProductMatrix(const Eigen::Vector4d& p) {
    const double w = p(0), x = p(1), y = p(2), z = p(3);
    Eigen::Matrix4d M;
    M << w, -x, -y, -z,  //
        x, w, z, -y,     //
        y, -z, w, x,     //
        z, y, -x, w;
    return M;
}

Eigen::Matrix3d crossMatrix(const Eigen::Vector3d& a) {
    Eigen::Matrix3d M;
    M << 0, -a(2), a(1),  //
        a(2), 0, -a(0),   //
        -a(1), a(0), 0;
    return M;
}

}  // namespace Filtering
