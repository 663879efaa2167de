#include "quaternion_math.h"

namespace Filtering {

Eigen::Matrix3d rotationMatrix(const Quat& q) {
    const double w = q(0), x = q(1), y = q(2), z = q(3);
    Eigen::Matrix3d R;
    R << 1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y),  //
        2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x),   //
        2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y);
    return R;
}

Matrix34 rotationDerivative(const Quat& q, const Eigen::Vector3d& s) {
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

Eigen::Matrix4d leftProductMatrix(const Quat& p) {
    const double w = p(0), x = p(1), y = p(2), z = p(3);
    Eigen::Matrix4d M;
    M << w, -x, -y, -z,  //
        x, w, -z, y,     //
        y, z, w, -x,     //
        z, -y, x, w;
    return M;
}

Eigen::Matrix4d rightProductMatrix(const Quat& p) {
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
