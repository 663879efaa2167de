// The quaternion module: products and rotations agree with each other, the
// matrix conversion round-trips through each of its branches, degenerate input
// gives no NaN, the EKF's matrix forms are the same arithmetic, and the Euler
// angles the runtime reports.
#include "quaternion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

using namespace Filtering;

namespace {

constexpr float kPi = 3.14159265358979f;

Quatd axisAngle(double ax, double ay, double az, double angle) {
    const double n = std::sqrt(ax * ax + ay * ay + az * az);
    const double s = std::sin(angle / 2) / n;
    return {std::cos(angle / 2), ax * s, ay * s, az * s};
}

// Rotations that reach every branch of the matrix conversion: a positive
// trace, and half turns whose largest diagonal element is x, y or z.
const Quatd kRotations[] = {
    {1, 0, 0, 0},
    axisAngle(1, -2, 3, 0.4),
    axisAngle(1, 0.1, 0.05, 3.1),
    axisAngle(0.1, -1, 0.2, 3.0),
    axisAngle(-0.05, 0.2, 1, 3.14159),
    axisAngle(0.3, 0.3, -0.9, 2.5),
};

Vec3d apply(const double m[9], const Vec3d& v) {
    double a[3] = {v.x, v.y, v.z};
    transform(m, a);
    return {a[0], a[1], a[2]};
}

void expectNear(const Vec3d& a, const Vec3d& b, double tol) {
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
}

// q and -q are the same rotation.
void expectSameRotation(const Quatd& a, const Quatd& b, double tol) {
    const double sign = a.w * b.w + a.x * b.x + a.y * b.y + a.z * b.z < 0 ? -1 : 1;
    EXPECT_NEAR(a.w, sign * b.w, tol);
    EXPECT_NEAR(a.x, sign * b.x, tol);
    EXPECT_NEAR(a.y, sign * b.y, tol);
    EXPECT_NEAR(a.z, sign * b.z, tol);
}

TEST(Quaternion, ProductComposesRotationsAndConjugateInverts) {
    const Vec3d v{0.3, -1.2, 2.5};
    for (const Quatd& a : kRotations) {
        for (const Quatd& b : kRotations) {
            double ma[9], mab[9];
            rotationMatrix(a, ma);
            rotationMatrix(a * b, mab);
            // R(a (x) b) v = R(a) R(b) v, and rotate agrees with R.
            expectNear(apply(mab, v), apply(ma, rotate(b, v)), 1e-12);
            expectNear(rotate(a * b, v), rotate(a, rotate(b, v)), 1e-12);
        }
        expectSameRotation(a * conjugate(a), {1, 0, 0, 0}, 1e-15);
        expectNear(rotate(conjugate(a), rotate(a, v)), v, 1e-12);
    }
    // The product is Hamilton's: i j = k, and it does not commute.
    const Quatd k = Quatd{0, 1, 0, 0} * Quatd{0, 0, 1, 0};
    EXPECT_EQ(k.z, 1);
    EXPECT_EQ((Quatd{0, 0, 1, 0} * Quatd{0, 1, 0, 0}).z, -1);
}

TEST(Quaternion, RotationMatrixRoundTripsThroughEveryBranch) {
    for (const Quatd& q : kRotations) {
        SCOPED_TRACE(testing::Message() << q.w << " " << q.x << " " << q.y << " " << q.z);
        double m[9];
        rotationMatrix(q, m);
        expectSameRotation(fromRotationMatrix(m), q, 1e-12);
    }
    // The positive quarter turn about z turns x into y.
    const Vec3d turned = rotate(axisAngle(0, 0, 1, M_PI / 2), Vec3d{1, 0, 0});
    expectNear(turned, {0, 1, 0}, 1e-15);
}

TEST(Quaternion, RotationVectorAndDegenerateInput) {
    expectSameRotation(fromRotationVector(Vec3d{0, 0, M_PI / 2}), axisAngle(0, 0, 1, M_PI / 2),
                       1e-15);
    // Below the series threshold the first-order form, still of unit length.
    const Quatd tiny = fromRotationVector(Vec3d{1e-10, 0, 0});
    EXPECT_NEAR(tiny.x, 5e-11, 1e-20);
    EXPECT_NEAR(tiny.w, 1, 1e-15);

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const Quatd degenerate[] = {{0, 0, 0, 0}, {nan, 0, 0, 1}, {inf, 0, 0, 0}, {1e-13, 0, 0, 0}};
    for (const Quatd& q : degenerate) {
        const Quatd n = normalised(q);
        EXPECT_EQ(n.w, 1);
        EXPECT_EQ(n.x + n.y + n.z, 0);
    }
    const Quatd n = normalised(Quatd{0, 3, 0, 4});
    EXPECT_DOUBLE_EQ(n.x, 0.6);
    EXPECT_DOUBLE_EQ(n.z, 0.8);
    EXPECT_FALSE(finite(Quatd{1, 0, nan, 0}));
}

// The EKF models' matrix forms compute what the value type computes.
TEST(Quaternion, MatrixFormsOfTheEkfModels) {
    for (const Quatd& p : kRotations) {
        const Eigen::Vector4d pv(p.w, p.x, p.y, p.z);
        double m[9];
        rotationMatrix(p, m);
        const Eigen::Matrix3d R = rotationMatrix(pv);
        EXPECT_EQ(0,
                  std::memcmp(m, Eigen::Matrix<double, 3, 3, Eigen::RowMajor>(R).data(), sizeof m));
        for (const Quatd& q : kRotations) {
            const Eigen::Vector4d qv(q.w, q.x, q.y, q.z);
            const Quatd pq = p * q, qp = q * p;
            EXPECT_TRUE(
                (leftProductMatrix(pv) * qv).isApprox(Eigen::Vector4d(pq.w, pq.x, pq.y, pq.z)));
            EXPECT_TRUE(
                (rightProductMatrix(pv) * qv).isApprox(Eigen::Vector4d(qp.w, qp.x, qp.y, qp.z)));
        }
    }
}

TEST(Euler, KnownPosesAndSingularBranches) {
    const struct {
        Quatf q;
        float yaw, pitch, roll;
    } cases[] = {
        {{1, 0, 0, 0}, 0, 0, 0},
        {{0.7071068f, 0, 0, -0.7071068f},
         4.712389f,
         0,
         0},  // -90 degrees about z: yaw wraps to 3 pi / 2
        {{0.5f, 0.5f, 0.5f, 0.5f}, kPi / 2, kPi / 2, 0},     // t = 0.5 exactly: singular branch
        {{0.5f, -0.5f, -0.5f, 0.5f}, kPi / 2, -kPi / 2, 0},  // the other: yaw = -2 atan2(x, w)
        {{0.9238795f, 0, 0.3826834f, 0}, 0, kPi / 4, 0},     // 45 degrees about y
        {{0.9238795f, -0.3826834f, 0, 0}, 0, 0, kPi / 4},    // about x
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.q.w << " " << c.q.x << " " << c.q.y << " " << c.q.z);
        float e[3];
        eulerAngles(c.q, e);
        EXPECT_NEAR(e[0], c.yaw, 1e-5);
        EXPECT_NEAR(e[1], c.pitch, 1e-5);
        EXPECT_NEAR(e[2], c.roll, 1e-5);
    }
}

TEST(Euler, PitchNearNinetyDegreesIsClampedNotNaN) {
    // As floats, w = y = 0.70710683 give 2 t = 1.00000013.
    float e[3];
    eulerAngles({0.70710683f, 0, 0.70710683f, 0}, e);
    EXPECT_FALSE(std::isnan(e[1]));
    EXPECT_NEAR(e[1], kPi / 2, 1e-6);
}

}  // namespace
