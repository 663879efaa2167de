// The chart's logic without a widget: the window, the running maximum and
// its recomputation, the vertical scale, and where ticks and dots go.
#include "chart_model.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

std::vector<float> xs(const ChartModel& m) {
    std::vector<float> out;
    for (std::size_t i = 0; i < m.pointCount(); ++i) out.push_back(m.point(i).x);
    return out;
}

TEST(ChartModel, WindowKeepsCapacityMinusOneRecordsAndDrawsAllButTheNewest) {
    ChartModel m(5);
    for (int i = 1; i <= 4; ++i) m.append(i, 0, 0);
    // Filling: everything stays; the newest is not drawn yet.
    EXPECT_EQ(m.recordCount(), 4u);
    EXPECT_EQ(xs(m), (std::vector<float>{1, 2, 3}));
    EXPECT_EQ(m.scrollIndex(), 0u);
    for (int i = 5; i <= 7; ++i) m.append(i, 0, 0);
    EXPECT_EQ(m.recordCount(), 4u);
    EXPECT_EQ(xs(m), (std::vector<float>{4, 5, 6}));
    EXPECT_EQ(m.scrollIndex(), 3u);
    // The scroll index wraps at the capacity.
    for (int i = 8; i <= 9; ++i) m.append(i, 0, 0);
    EXPECT_EQ(m.scrollIndex(), 0u);
}

TEST(ChartModel, LeavingMaximumIsRecomputedWithoutTheNewestSample) {
    ChartModel m(4);
    std::vector<std::optional<float>> reported;
    for (double peak : {9.0, 1.0, -2.0, 3.0, 0.5, 0.1}) reported.push_back(m.append(0, peak, 0));
    // 9 is reported while filling; when it leaves, the rest without the
    // newest (3) gives 2; then 1 leaves (not the maximum): nothing; then 2
    // leaves and the window without the newest holds 3 and 0.5.
    const std::vector<std::optional<float>> expected = {9.0f, std::nullopt, std::nullopt,
                                                        2.0f, std::nullopt, 3.0f};
    EXPECT_EQ(reported, expected);
    EXPECT_FLOAT_EQ(m.yScale(), 100.0f / 3);
}

TEST(ChartModel, ConstantSignalReportsOnceWhileFillingThenOnEveryAppend) {
    ChartModel m(10);
    int reports = 0;
    for (int i = 0; i < 9; ++i) reports += m.append(2, 2, 2).has_value();
    EXPECT_EQ(reports, 1);
    for (int i = 0; i < 5; ++i) {
        const std::optional<float> r = m.append(2, 2, 2);
        ASSERT_TRUE(r.has_value());
        EXPECT_FLOAT_EQ(*r, 2);
    }
}

TEST(ChartModel, VerticalScaleFromTheMaximum) {
    struct Case {
        double peak;
        float scale;
    };
    for (const Case c : {Case{0.2, 333.3333f}, Case{0.3, 333.3333f}, Case{0.31, 100 / 0.31f},
                         Case{-4, 25}, Case{333.3333, 100 / 333.3333f}}) {
        ChartModel m(500);
        const std::optional<float> r = m.append(0, 0, c.peak);
        ASSERT_TRUE(r.has_value()) << c.peak;
        EXPECT_FLOAT_EQ(*r, static_cast<float>(std::abs(c.peak)));
        EXPECT_FLOAT_EQ(m.yScale(), c.scale) << c.peak;
    }
}

TEST(ChartModel, ResetEmptiesButKeepsTheScaleFactors) {
    ChartModel m(3);
    m.setScale(2, 7, 3);
    for (int i = 0; i < 4; ++i) m.append(i, 1, 0);
    ASSERT_EQ(m.scrollIndex(), 2u);
    const float scale = m.yScale();
    m.reset();
    EXPECT_EQ(m.recordCount(), 0u);
    EXPECT_EQ(m.pointCount(), 0u);
    EXPECT_EQ(m.maximum(), 0);
    EXPECT_EQ(m.scrollIndex(), 0u);
    // A first sample of peak 0 reports nothing and leaves the scale alone.
    EXPECT_FALSE(m.append(0, 0, 0).has_value());
    EXPECT_FLOAT_EQ(m.yScale(), scale);
    EXPECT_FLOAT_EQ(m.xScale(), 2);
    EXPECT_FLOAT_EQ(m.zScale(), 3);
    EXPECT_EQ(m.append(0, 0.5, 0), std::optional<float>(0.5f));
}

TEST(ChartModel, SetScaleClearsTheMaximumSoTheNextSampleReports) {
    ChartModel m(500);
    m.append(5, 0, 0);
    EXPECT_FALSE(m.append(1, 0, 0).has_value());
    m.setScale(1, 1, 1);
    EXPECT_EQ(m.append(1, 0, 0), std::optional<float>(1.0f));
    EXPECT_FLOAT_EQ(m.yScale(), 100);
}

TEST(ChartModel, XTicksMoveLeftAsSamplesLeave) {
    ChartModel m(500);
    m.setXAxis({1, 50, true, true});
    EXPECT_EQ(m.xTickPositions(),
              (std::vector<float>{0, 50, 100, 150, 200, 250, 300, 350, 400, 450, 0}));
    for (int i = 0; i < 501; ++i) m.append(0, 0, 0);
    ASSERT_EQ(m.scrollIndex(), 2u);
    EXPECT_EQ(m.xTickPositions(),
              (std::vector<float>{498, 48, 98, 148, 198, 248, 298, 348, 398, 448, 498}));
}

TEST(ChartModel, YTicksAndDottedRows) {
    struct Case {
        int spacing;
        std::vector<float> ticks, rows;
    };
    const Case cases[] = {
        {30, {-100, -70, -40, 100, 70, 40}, {-100, -70, -40, -10, 20, 50, 80}},
        {50, {-100, -50, 100, 50}, {-100, -50, 0, 50, 100}},
        {25, {-100, -75, -50, -25, 100, 75, 50, 25}, {-100, -75, -50, -25, 0, 25, 50, 75, 100}},
    };
    for (const Case& c : cases) {
        ChartModel m(500);
        m.setYAxis({1, c.spacing, true});
        EXPECT_EQ(m.yTickPositions(), c.ticks) << c.spacing;
        EXPECT_EQ(m.dottedRows(), c.rows) << c.spacing;
    }
    ChartModel m(500);
    const std::vector<float> columns = m.dottedColumns();
    ASSERT_EQ(columns.size(), 101u);
    EXPECT_EQ(columns.back(), 500);
}

}  // namespace
