// Quaternion and rotation helpers shared by the models. Quaternions are
// (w, x, y, z); (x) is the Hamilton product.
#pragma once

#include <Eigen/Core>

namespace Filtering {

using Quat = Eigen::Vector4d;
using Matrix34 = Eigen::Matrix<double, 3, 4>;
using Matrix43 = Eigen::Matrix<double, 4, 3>;

// R(q) of a unit quaternion; with q = Q_SW it maps world vectors into the
// sensor frame.
Eigen::Matrix3d rotationMatrix(const Quat& q);

// D(q, s) = d(R(q) s)/dq (3 x 4), R in homogeneous form (diagonal
// w^2 + x^2 - y^2 - z^2, ...). For unit q it is the derivative along every
// direction tangent to the unit sphere.
Matrix34 rotationDerivative(const Quat& q, const Eigen::Vector3d& s);

// ML(p) q = p (x) q.
Eigen::Matrix4d leftProductMatrix(const Quat& p);
// MR(p) q = q (x) p.
Eigen::Matrix4d rightProductMatrix(const Quat& p);

// [a]x b = a x b.
Eigen::Matrix3d crossMatrix(const Eigen::Vector3d& a);

}  // namespace Filtering
