// Boresight references and the correction, jitter gain steps.
#include "boresight.h"

#include <gtest/gtest.h>

#include <cmath>

#include "jitter_reduction.h"

using namespace Quorvane;

namespace {

constexpr float kPi = 3.14159265358979f;

Quatf yawQuat(float yaw) {
    return {std::cos(yaw / 2), 0, 0, std::sin(yaw / 2)};
}

// Rotation about a unit axis by angle; Q_SW convention is irrelevant here.
Quatf axisAngle(float ax, float ay, float az, float angle) {
    const float s = std::sin(angle / 2);
    return {std::cos(angle / 2), ax * s, ay * s, az * s};
}

void expectQuatNear(const Quatf& a, const Quatf& b, float tol) {
    // q and -q are the same rotation.
    const float sign = (a.w * b.w + a.x * b.x + a.y * b.y + a.z * b.z) < 0 ? -1.f : 1.f;
    EXPECT_NEAR(a.w, sign * b.w, tol);
    EXPECT_NEAR(a.x, sign * b.x, tol);
    EXPECT_NEAR(a.y, sign * b.y, tol);
    EXPECT_NEAR(a.z, sign * b.z, tol);
}

TEST(Boresight, ModesReadBackAsDefined) {
    // A pose with yaw 50 degrees and some tilt.
    const Quatf pose = axisAngle(0.6f, 0.8f, 0, 0.4f) * yawQuat(50 * kPi / 180);
    float e[3];
    Filtering::eulerAngles(pose, e);

    const struct {
        int mode;
        Quatf expected;  // the reference pose read back through the correction
    } cases[] = {
        {BoresightAlignment, {1, 0, 0, 0}},
        {BoresightObject, yawQuat(e[0])},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        BoresightState state;
        takeBoresightReference(state, c.mode, pose);
        SensorSample s{};
        s.quat[0] = pose.w, s.quat[1] = pose.x, s.quat[2] = pose.y, s.quat[3] = pose.z;
        s.acc[2] = 9.81f;
        applyBoresight(state, &s);
        expectQuatNear({s.quat[0], s.quat[1], s.quat[2], s.quat[3]}, c.expected, 2e-6f);
        // The vectors turn with the alignment: the norm stays.
        EXPECT_NEAR(std::sqrt(s.acc[0] * s.acc[0] + s.acc[1] * s.acc[1] + s.acc[2] * s.acc[2]),
                    9.81f, 1e-5);
    }
}

TEST(Boresight, HeadingModeRemovesTheYawOfALevelPose) {
    const Quatf level = yawQuat(2.0f);
    BoresightState state;
    takeBoresightReference(state, BoresightHeading, level);
    SensorSample s{};
    s.quat[0] = level.w, s.quat[3] = level.z;
    s.gyr[0] = 1.0f;
    applyBoresight(state, &s);
    expectQuatNear({s.quat[0], s.quat[1], s.quat[2], s.quat[3]}, {1, 0, 0, 0}, 2e-6f);
    EXPECT_EQ(s.gyr[0], 1.0f);  // vectors stay unrotated in heading mode
}

TEST(Boresight, OtherModesKeepTheReferences) {
    BoresightState state;
    takeBoresightReference(state, BoresightAlignment, yawQuat(1.0f));
    const BoresightState before = state;
    for (int mode : {0, 4, -1}) {
        takeBoresightReference(state, mode, yawQuat(-2.0f));
        expectQuatNear(state.alignment, before.alignment, 0);
        expectQuatNear(state.heading, before.heading, 0);
    }
}

TEST(Jitter, GainShrinksWhenStillAndRecoversWhenMoving) {
    JitterReduction j;
    const JitterParams defaults;
    const float still[3] = {0.001f, 0, 0}, moving[3] = {1.0f, 0.5f, 0};
    double g = 1.0;
    for (int i = 0; i < 3; ++i) EXPECT_DOUBLE_EQ(g = j.step(still, defaults), std::pow(0.7, i + 1));
    for (int i = 0; i < 100; ++i) g = j.step(still, defaults);
    EXPECT_DOUBLE_EQ(g, JitterReduction::kMinGain);
    g = j.step(moving, defaults);
    EXPECT_DOUBLE_EQ(g, 1e-7);
    for (int i = 0; i < 10; ++i) g = j.step(moving, defaults);
    EXPECT_DOUBLE_EQ(g, 1.0);
    j.reset();
    EXPECT_DOUBLE_EQ(j.gain(), 1.0);
}

}  // namespace
