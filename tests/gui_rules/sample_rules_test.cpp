// The polling loops' rules for new samples, missing values and the
// temperature text.
#include "sample_rules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

using GuiCommon::NewSampleGate;

TEST(NewSampleGate, AcceptsLaterTimestampsAcrossTheClockWrap) {
    const struct {
        const char* name;
        std::vector<uint32_t> timestamps;
        std::vector<bool> accepted;
    } cases[] = {
        {"initial sample never", {0, 0, 50}, {false, false, true}},
        {"repeats and older ones not", {100, 100, 99, 150}, {true, false, false, true}},
        {"first sample near the wrap", {0xFFFFFF00u}, {true}},
        {"across the wrap",
         {0xFFFFFFCEu, 0xFFFFFFFFu, 0x00000031u, 0x00000063u},
         {true, true, true, true}},
        {"zero after the wrap is later", {0xFFFFFFF6u, 0}, {true, true}},
        {"half the clock ahead counts as older", {10, 10 + 0x80000000u}, {true, false}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        NewSampleGate gate;
        for (std::size_t i = 0; i < c.timestamps.size(); ++i)
            EXPECT_EQ(gate.accept(c.timestamps[i]), c.accepted[i]) << "at " << i;
    }
}

TEST(SampleValues, OnlyMarksOfMissingValuesBecomeZero) {
    EXPECT_EQ(GuiCommon::withoutMissing(-1e9f), 0.0f);
    EXPECT_EQ(GuiCommon::withoutMissing(-1.5e8f), 0.0f);
    EXPECT_EQ(GuiCommon::withoutMissing(-1e8f), -1e8f);  // the bound itself is a value
    EXPECT_EQ(GuiCommon::withoutMissing(-9.81f), -9.81f);
    EXPECT_EQ(GuiCommon::withoutMissing(0.5f), 0.5f);
}

TEST(TemperatureText, RawTruncatesTowardZeroFloatShowsTwoDecimals) {
    const struct {
        float temperature;
        bool raw;
        const char* text;
    } cases[] = {
        {23.9f, true, "23 (RAW)"},
        {-0.5f, true, "0 (RAW)"},
        {-3.7f, true, "-3 (RAW)"},
        {2517.0f, true, "2517 (RAW)"},
        {23.456f, false, "23.46"},
        {-1e9f, false, "-1000000000.00"},  // a missing temperature is shown as it is
        {-1e9f, true, "-1000000000 (RAW)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GuiCommon::temperatureText(c.temperature, c.raw), c.text)
            << c.temperature << (c.raw ? " raw" : "");
    // Not a number: a text, no undefined conversion.
    EXPECT_EQ(GuiCommon::temperatureText(std::numeric_limits<float>::quiet_NaN(), true),
              "nan (RAW)");
}

}  // namespace
