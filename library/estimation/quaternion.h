// Quaternion and small-vector arithmetic for every part of the library that
// turns orientations: the filters, the boresight correction, the Euler angles
// and the accuracy scoring.
//
// Quaternions are (w, x, y, z) and multiply with the Hamilton product (x).
// With q = Q_SW, R(q) maps world vectors into the sensor frame. The value
// types are templates so that each caller keeps its precision: the runtime
// works in float, the filters and the scoring in double. Matrices are 3 x 3,
// row-major.
//
// The EKF's models keep their quaternion as a segment of the state vector;
// for them the rotation matrix, its derivative and the product matrices come
// as Eigen matrices of a 4-vector (w, x, y, z).
#pragma once

#include <Eigen/Core>
#include <cmath>

namespace Filtering {

template <class T>
struct Vec3 {
    T x, y, z;
};

template <class T>
struct Quaternion {
    T w, x, y, z;
};

using Vec3d = Vec3<double>;
using Quatf = Quaternion<float>;
using Quatd = Quaternion<double>;

// 3-vectors.

template <class T>
Vec3<T> operator+(const Vec3<T>& a, const Vec3<T>& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
template <class T>
Vec3<T> operator-(const Vec3<T>& a, const Vec3<T>& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
template <class T>
Vec3<T> operator*(T s, const Vec3<T>& a) {
    return {s * a.x, s * a.y, s * a.z};
}
template <class T>
T dot(const Vec3<T>& a, const Vec3<T>& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
template <class T>
T norm(const Vec3<T>& a) {
    return std::sqrt(dot(a, a));
}
template <class T>
Vec3<T> cross(const Vec3<T>& a, const Vec3<T>& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
template <class T>
bool finite(const Vec3<T>& a) {
    return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z);
}

// Quaternions.

// a (x) b, in the arithmetic of T.
template <class T>
Quaternion<T> operator*(const Quaternion<T>& a, const Quaternion<T>& b) {
    return {a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z,
            a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
            a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
            a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w};
}
template <class T>
Quaternion<T> operator-(const Quaternion<T>& q) {
    return {-q.w, -q.x, -q.y, -q.z};
}
template <class T>
Quaternion<T> conjugate(const Quaternion<T>& q) {
    return {q.w, -q.x, -q.y, -q.z};
}
template <class T>
bool finite(const Quaternion<T>& q) {
    return std::isfinite(q.w) && std::isfinite(q.x) && std::isfinite(q.y) && std::isfinite(q.z);
}

// q / |q|; the identity for a degenerate q (length below 1e-12, NaN or
// infinite), so that no NaN can enter an estimate.
template <class T>
Quaternion<T> normalised(const Quaternion<T>& q) {
    const T n = std::sqrt(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z);
    if (!(n > T(1e-12)) || !std::isfinite(n)) return {1, 0, 0, 0};
    return {q.w / n, q.x / n, q.y / n, q.z / n};
}

// q (x) [0, v] (x) conj(q) for a unit q, without forming R(q).
template <class T>
Vec3<T> rotate(const Quaternion<T>& q, const Vec3<T>& v) {
    const Vec3<T> u{q.x, q.y, q.z};
    const Vec3<T> t = T(2) * cross(u, v);
    return v + q.w * t + cross(u, t);
}

// exp of the rotation vector r (rad): the rotation by |r| about r.
template <class T>
Quaternion<T> fromRotationVector(const Vec3<T>& r) {
    const T angle = norm(r);
    if (angle < T(1e-9))
        return normalised(Quaternion<T>{1, T(0.5) * r.x, T(0.5) * r.y, T(0.5) * r.z});
    const T s = std::sin(T(0.5) * angle) / angle;
    return {std::cos(T(0.5) * angle), s * r.x, s * r.y, s * r.z};
}

// R(q) of a unit quaternion, row-major.
template <class T>
void rotationMatrix(const Quaternion<T>& q, T m[9]) {
    const T w = q.w, x = q.x, y = q.y, z = q.z;
    m[0] = 1 - 2 * (y * y + z * z);
    m[1] = 2 * (x * y - w * z);
    m[2] = 2 * (x * z + w * y);
    m[3] = 2 * (x * y + w * z);
    m[4] = 1 - 2 * (x * x + z * z);
    m[5] = 2 * (y * z - w * x);
    m[6] = 2 * (x * z - w * y);
    m[7] = 2 * (y * z + w * x);
    m[8] = 1 - 2 * (x * x + y * y);
}

// v = m v for a row-major matrix.
template <class T>
void transform(const T m[9], T v[3]) {
    const T a = v[0], b = v[1], c = v[2];
    for (int r = 0; r < 3; ++r) v[r] = m[3 * r] * a + m[3 * r + 1] * b + m[3 * r + 2] * c;
}

// The quaternion q with R(q) = m for a rotation matrix m, by the larger of the
// trace and the diagonal elements, so that no small number is divided by.
// Its sign is whatever the branch gives.
template <class T>
Quaternion<T> fromRotationMatrix(const T m[9]) {
    auto R = [m](int r, int c) { return m[3 * r + c]; };
    const T tr = R(0, 0) + R(1, 1) + R(2, 2);
    if (tr > 0) {
        const T s = std::sqrt(tr + T(1));
        return {T(0.5) * s, (R(2, 1) - R(1, 2)) * T(0.5) / s, (R(0, 2) - R(2, 0)) * T(0.5) / s,
                (R(1, 0) - R(0, 1)) * T(0.5) / s};
    }
    int i = 0;
    if (R(1, 1) > R(0, 0)) i = 1;
    if (R(2, 2) > R(i, i)) i = 2;
    const int j = (i + 1) % 3;
    const int k = (j + 1) % 3;
    const T s = std::sqrt(R(i, i) - R(j, j) - R(k, k) + T(1));
    T v[3];
    v[i] = T(0.5) * s;
    v[j] = (R(j, i) + R(i, j)) * T(0.5) / s;
    v[k] = (R(k, i) + R(i, k)) * T(0.5) / s;
    return {(R(k, j) - R(j, k)) * T(0.5) / s, v[0], v[1], v[2]};
}

// Yaw, pitch and roll in radians of the orientation the runtime reports; yaw
// in [0, 2 pi). Near pitch +-90 degrees (gimbal lock) the whole turn about the
// aligned axes is yaw and roll is 0; the pitch never becomes NaN from rounding.
void eulerAngles(const Quatf& q, float euler[3]);

// The EKF models' forms, on the state's quaternion segment (w, x, y, z).

using Matrix34 = Eigen::Matrix<double, 3, 4>;
using Matrix43 = Eigen::Matrix<double, 4, 3>;

// R(q), as rotationMatrix above.
Eigen::Matrix3d rotationMatrix(const Eigen::Vector4d& q);

// D(q, s) = d(R(q) s)/dq (3 x 4), R in homogeneous form (diagonal
// w^2 + x^2 - y^2 - z^2, ...). For unit q it is the derivative along every
// direction tangent to the unit sphere.
Matrix34 rotationDerivative(const Eigen::Vector4d& q, const Eigen::Vector3d& s);

// ML(p) q = p (x) q.
Eigen::Matrix4d leftProductMatrix(const Eigen::Vector4d& p);
// MR(p) q = q (x) p.
Eigen::Matrix4d rightProductMatrix(const Eigen::Vector4d& p);

// [a]x b = a x b.
Eigen::Matrix3d crossMatrix(const Eigen::Vector3d& a);

}  // namespace Filtering
