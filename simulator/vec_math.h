// The little 3-D algebra the simulated physics needs: vectors, 3 x 3
// matrices (row-major) and unit quaternions (w, x, y, z, Hamilton product).
// Kept here, independent of the host's estimation code, so the simulator
// checks that code instead of sharing its mistakes.
#pragma once

#include <array>
#include <cmath>

namespace sim {

using Vec3 = std::array<double, 3>;
using Mat3 = std::array<Vec3, 3>;  // rows

inline Vec3 operator+(const Vec3& a, const Vec3& b) {
    return {a[0] + b[0], a[1] + b[1], a[2] + b[2]};
}
inline Vec3 operator-(const Vec3& a, const Vec3& b) {
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}
inline Vec3 operator*(double s, const Vec3& a) {
    return {s * a[0], s * a[1], s * a[2]};
}
inline double dot(const Vec3& a, const Vec3& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
inline double norm(const Vec3& a) {
    return std::sqrt(dot(a, a));
}
inline Vec3 cross(const Vec3& a, const Vec3& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

inline Mat3 identity3() {
    return {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
}
inline Vec3 operator*(const Mat3& m, const Vec3& v) {
    return {dot(m[0], v), dot(m[1], v), dot(m[2], v)};
}
inline Mat3 operator*(const Mat3& a, const Mat3& b) {
    Mat3 r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) r[i][j] += a[i][k] * b[k][j];
    return r;
}
inline Mat3 diag(const Vec3& d) {
    return {{{d[0], 0, 0}, {0, d[1], 0}, {0, 0, d[2]}}};
}
inline Mat3 transpose(const Mat3& m) {
    Mat3 t{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) t[i][j] = m[j][i];
    return t;
}
// Inverse by the adjugate; the simulator only inverts well-conditioned
// near-identity sensor matrices.
inline Mat3 inverse(const Mat3& m) {
    const Vec3 c0 = cross(m[1], m[2]), c1 = cross(m[2], m[0]), c2 = cross(m[0], m[1]);
    const double det = dot(m[0], c0);
    return transpose(Mat3{(1 / det) * c0, (1 / det) * c1, (1 / det) * c2});
}

struct Quat {
    double w = 1, x = 0, y = 0, z = 0;
};

inline Quat operator*(const Quat& a, const Quat& b) {
    return {a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z,
            a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
            a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
            a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w};
}
inline Quat conjugate(const Quat& q) {
    return {q.w, -q.x, -q.y, -q.z};
}
inline Quat normalized(const Quat& q) {
    const double n = std::sqrt(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z);
    return {q.w / n, q.x / n, q.y / n, q.z / n};
}
// The same rotation with w >= 0, the form the device reports.
inline Quat canonical(const Quat& q) {
    return q.w < 0 ? Quat{-q.w, -q.x, -q.y, -q.z} : q;
}

// exp of the pure quaternion v / 2: the rotation by |v| rad about v.
inline Quat rotationQuat(const Vec3& v) {
    const double angle = norm(v);
    if (angle < 1e-300) return {};
    const double s = std::sin(angle / 2) / angle;
    return {std::cos(angle / 2), s * v[0], s * v[1], s * v[2]};
}

// R(q): v' = q (x) v (x) q*, as a matrix.
inline Mat3 rotationMatrix(const Quat& q) {
    const double w = q.w, x = q.x, y = q.y, z = q.z;
    return {{{1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y)},
             {2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x)},
             {2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)}}};
}
inline Vec3 rotate(const Quat& q, const Vec3& v) {
    return rotationMatrix(q) * v;
}

}  // namespace sim
