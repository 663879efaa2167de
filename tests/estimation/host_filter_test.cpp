// The filter profile of a streaming period.
#include "host_filter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "orientation_filter.h"

namespace {

SensorSample turning(int k) {
    SensorSample s{};
    s.timestamp = static_cast<uint32_t>(100 * k);
    s.acc[0] = static_cast<float>(2.0 * std::sin(0.03 * k));
    s.acc[2] = 9.81f;
    s.gyr[0] = static_cast<float>(0.8 * std::sin(0.01 * k));
    s.gyr[2] = static_cast<float>(1.5 * std::cos(0.02 * k));
    s.mag[0] = static_cast<float>(30.0 * std::cos(0.015 * k));
    s.mag[1] = static_cast<float>(30.0 * std::sin(0.015 * k));
    s.mag[2] = -40.0f;
    return s;
}

// Profile 0 is the standard filter itself: the same quaternions to the bit.
TEST(HostFilter, StandardProfileIsTheStandardFilterBitForBit) {
    Quorvane::HostFilter host(Quorvane::StandardProfile);
    Quorvane::OrientationFilter plain;
    for (int k = 0; k < 600; ++k) {
        const SensorSample in = turning(k);
        SensorSample a = in, b = in;
        const double gain = k % 50 < 25 ? 1.0 : 1e-3;
        host.update(&in, &a, gain);
        plain.update(&in, &b, gain);
        ASSERT_EQ(0, std::memcmp(a.quat, b.quat, sizeof a.quat)) << "sample " << k;
    }
    EXPECT_TRUE(host.initialised());
}

TEST(HostFilter, RobustProfileStartsAndGivesUnitQuaternions) {
    Quorvane::HostFilter host(Quorvane::RobustProfile);
    SensorSample out{};
    for (int k = 0; k < 300; ++k) {
        const SensorSample in = turning(k);
        host.update(&in, &out, 1.0);
    }
    EXPECT_TRUE(host.initialised());
    const double n = std::sqrt(out.quat[0] * out.quat[0] + out.quat[1] * out.quat[1] +
                               out.quat[2] * out.quat[2] + out.quat[3] * out.quat[3]);
    EXPECT_NEAR(n, 1.0, 1e-6);
}

}  // namespace
