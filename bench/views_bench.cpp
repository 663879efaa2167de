// Paint time per frame of the configuration tool's views, under a display
// (Xvfb with Mesa's software renderer in CI): a full 500-sample chart drawn
// by QPainter, and the 3D view rendered offscreen with the fixed-function
// pipeline and read back. The main window redraws one 3D view and three
// charts every 33 ms.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cmath>

#include "chart_view.h"
#include "opengl_view.h"

namespace {

void BM_FullChartFrame(benchmark::State& state) {
    ChartViewOpenGL chart(500);
    chart.resize(600, 200);
    chart.setYAxis(1, 25, true);
    for (int i = 0; i < 700; ++i)
        chart.valueChanged(std::sin(i * 0.05) * 9, std::cos(i * 0.03) * 9, std::sin(i * 0.11));
    for (auto _ : state) {
        chart.valueChanged(1, 2, 3);  // scrolls, as while streaming
        benchmark::DoNotOptimize(chart.grabFramebuffer());
    }
}
BENCHMARK(BM_FullChartFrame)->Unit(benchmark::kMicrosecond);

void BM_OrientationViewFrame(benchmark::State& state) {
    OpenGLView view;
    view.resize(250, 250);
    view.setViewMode(OpenGLView::Orientation);
    if (!view.isGLAvailable()) {
        state.SkipWithError("no OpenGL context (run under a display, e.g. Xvfb)");
        return;
    }
    double angle = 0;
    for (auto _ : state) {
        angle += 0.01;
        view.quaternionChanged(std::cos(angle), std::sin(angle) * 0.6, std::sin(angle) * 0.8, 0);
        benchmark::DoNotOptimize(view.grabFramebuffer());
    }
}
BENCHMARK(BM_OrientationViewFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
namespace {
void BM_BlankViewFrame(benchmark::State& state) {
    OpenGLView view;
    view.resize(250, 250);
    view.setViewMode(OpenGLView::Blank);
    for (auto _ : state) benchmark::DoNotOptimize(view.grabFramebuffer());
}
BENCHMARK(BM_BlankViewFrame)->Unit(benchmark::kMicrosecond);
}  // namespace
