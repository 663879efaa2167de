// Rendered frames of the 3D view and the charts, read back pixel by pixel.
//
// The 3D view's camera looks along +x with z up, so at the identity the
// box's x = 0 face (the connector's) faces the viewer; screen right is -y.
// The pixel (87, 144) of a 250 x 250 view is on that face at y = 3,
// z = -1.5 (box centre at the origin), away from the connector.
#include <gtest/gtest.h>

#include <cmath>

#include "chart_view.h"
#include "opengl_view.h"
#include "views_fixture.h"

namespace {

using namespace Quorvane::testing;

const QPoint kOnNearFace(87, 144);

struct View : ::testing::Test {
    View() { view.resize(250, 250); }
    OpenGLView view;
};

TEST_F(View, BlankModesAreWhite) {
    REQUIRE_GL(view);
    for (int mode : {0, 4, 7}) {
        view.setViewMode(mode);
        EXPECT_TRUE(allWhite(view.grabFramebuffer())) << "mode " << mode;
    }
}

TEST_F(View, RestingPoseShowsTheTexturedBoxOrPlainColours) {
    REQUIRE_GL(view);
    view.setViewMode(OpenGLView::RestingPose);
    const QImage textured = view.grabFramebuffer();
    ASSERT_TRUE(view.texturesLoaded());
    ASSERT_FALSE(allWhite(textured));
    // The housing's dark grey, and none of the plain face colours.
    const QRect all = textured.rect();
    EXPECT_GT(countNear(textured, all, 78, 86, 98, 12), 2000);
    const int plain[6][3] = {{128, 0, 0},     {255, 128, 128}, {0, 128, 0},
                             {128, 255, 128}, {0, 0, 128},     {128, 128, 255}};
    for (const auto& c : plain) EXPECT_LT(countNear(textured, all, c[0], c[1], c[2], 2), 50);

    view.setTexturesEnabled(false);
    const QImage flat = view.grabFramebuffer();
    int facesSeen = 0;
    for (const auto& c : plain) facesSeen += countNear(flat, all, c[0], c[1], c[2], 2) > 500;
    EXPECT_EQ(facesSeen, 3);  // the resting pose shows three faces
    EXPECT_EQ(countNear(flat, all, 78, 86, 98, 12), 0);
}

TEST_F(View, QuaternionTurnsTheBox) {
    REQUIRE_GL(view);
    view.setViewMode(OpenGLView::Orientation);
    view.setTexturesEnabled(false);
    struct Case {
        double w, x, y, z;
        int r, g, b;  // plain colour of the face at kOnNearFace
    };
    const double h = std::sqrt(0.5);
    const Case cases[] = {
        {1, 0, 0, 0, 128, 0, 0},       // identity: the x = 0 face
        {1, 1e-14, 0, 0, 128, 0, 0},   // too short an axis: no rotation
        {h, 0, 0, h, 0, 128, 0},       // a quarter turn about z: the y = 0 face
        {h, 0, 0, -h, 128, 255, 128},  // the other way: the y = Y face
        {h, 0, h, 0, 128, 128, 255},   // a quarter turn about y: the z = Z face
    };
    for (const Case& c : cases) {
        view.quaternionChanged(c.w, c.x, c.y, c.z);
        const QImage frame = view.grabFramebuffer();
        const QColor p = frame.pixelColor(kOnNearFace);
        EXPECT_TRUE(near(p, c.r, c.g, c.b, 2))
            << "q = (" << c.w << ", " << c.x << ", " << c.y << ", " << c.z << "): " << p.red()
            << " " << p.green() << " " << p.blue();
    }
}

TEST_F(View, DisabledOrientationViewSpinsUnderDemoMode) {
    REQUIRE_GL(view);
    view.setViewMode(OpenGLView::Orientation);
    // "DEMO MODE" goes above the box, from three quarters of the width on.
    const QRect textArea(180, 5, 70, 25);
    const QImage enabled = view.grabFramebuffer();
    EXPECT_EQ(countNear(enabled, textArea, 0, 0, 0, 80), 0);

    view.setEnabled(false);
    const QImage first = view.grabFramebuffer();
    EXPECT_GT(countNear(first, textArea, 0, 0, 0, 80), 20);
    // The box turns by half a degree per frame.
    QImage later;
    for (int i = 0; i < 20; ++i) later = view.grabFramebuffer();
    EXPECT_NE(first, later);
}

TEST(Chart, DisabledChartIsWhiteAndStillTakesSamples) {
    ChartViewOpenGL chart(500);
    chart.resize(600, 200);
    chart.setEnabled(false);
    int maxima = 0;
    QObject::connect(&chart, &ChartViewOpenGL::maxChanged, [&](float) { ++maxima; });
    chart.valueChanged(1, 2, 3);
    chart.valueChanged(1, 2, 3);
    EXPECT_EQ(maxima, 1);
    EXPECT_EQ(chart.model().recordCount(), 2u);
    EXPECT_TRUE(allWhite(chart.grabFramebuffer()));
}

TEST(Chart, SamplesAreIgnoredWhileUpdatesAreOff) {
    ChartViewOpenGL chart(500);
    chart.setUpdatesEnabled(false);
    chart.valueChanged(1, 2, 3);
    EXPECT_EQ(chart.model().recordCount(), 0u);
}

TEST(Chart, TracesInTheirColoursAndXOverY) {
    ChartViewOpenGL chart(500);
    chart.resize(600, 200);
    chart.setYAxis(1, 25, false);
    // Maximum 80: x at 100 (row 9), y at 50 (row 54/55), z at -50 (row 145/146).
    for (int i = 0; i < 100; ++i) chart.valueChanged(80, 40, -40);
    QImage image = chart.grabFramebuffer();
    const QRect columns(60, 0, 40, 200);
    auto band = [&](int row) { return columns.intersected(QRect(0, row - 2, 600, 5)); };
    EXPECT_GT(countNear(image, band(9), 255, 0, 0, 0), 30);
    EXPECT_GT(countNear(image, band(54), 0, 255, 0, 0), 30);
    EXPECT_GT(countNear(image, band(145), 0, 0, 255, 0), 30);
    EXPECT_EQ(countNear(image, band(54), 255, 0, 0, 0), 0);

    // Where x and y coincide, x is drawn.
    chart.reset();
    for (int i = 0; i < 100; ++i) chart.valueChanged(40, 40, 0);
    image = chart.grabFramebuffer();
    EXPECT_GT(countNear(image, band(9), 255, 0, 0, 0), 30);
    EXPECT_EQ(countNear(image, band(9), 0, 255, 0, 0), 0);
}

}  // namespace
