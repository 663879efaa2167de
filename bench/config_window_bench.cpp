// The configuration tool's main window while one simulated tracker streams at
// 100 Hz with every display on (three charts and the 3D view), under an X
// display (Xvfb with Mesa's software renderer in CI): the frames each view
// paints per second, and the CPU the whole process uses, all threads
// together, in percent of one core. The simulator is a process of its own,
// so its CPU is not counted. The machine's load average is reported beside
// the figures, since other work on the cores slows the window down.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <map>
#include <memory>

#include "chart_view.h"
#include "main_window.h"
#include "opengl_view.h"
#include "tty_discovery.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWarmUpMs = 2000;
constexpr int kMeasureMs = 10000;

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double loadAverage() {
    double load = 0;
    return getloadavg(&load, 1) == 1 ? load : -1;
}

// Counts the paint events each watched widget receives; lets them through.
class PaintCounter : public QObject {
  public:
    void watch(QWidget* widget) {
        widget->installEventFilter(this);
        counts_[widget] = 0;
    }
    void reset() {
        for (auto& entry : counts_) entry.second = 0;
    }
    long count(QObject* widget) const { return counts_.at(widget); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++counts_[watched];
        return false;
    }

  private:
    std::map<QObject*, long> counts_;
};

void runEventLoop(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// A tracker_sim process (from the directory of this program) moving at
// random; its device path is the first line it prints.
class SimulatorProcess {
  public:
    bool start() {
        process_.start(QCoreApplication::applicationDirPath() + QStringLiteral("/tracker_sim"),
                       {QStringLiteral("--id"), QStringLiteral("BENCH01"), QStringLiteral("--seed"),
                        QStringLiteral("1")});
        if (!process_.waitForStarted(10000)) return false;
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (!process_.canReadLine() && Clock::now() < deadline) process_.waitForReadyRead(100);
        path_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
        return !path_.isEmpty();
    }
    ~SimulatorProcess() {
        process_.terminate();
        if (!process_.waitForFinished(5000)) process_.kill();
        process_.waitForFinished(5000);
    }
    const QString& path() const { return path_; }

  private:
    QProcess process_;
    QString path_;
};

void BM_ConfigWindowStreaming(benchmark::State& state) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        state.SkipWithError("needs an X display (./run bench starts Xvfb)");
        return;
    }
    // An empty device tree keeps attached hardware out: the window finds the
    // simulator alone.
    QTemporaryDir scratch;
    QDir(scratch.path()).mkpath(QStringLiteral("sysfs/class/tty"));
    qputenv(Quorvane::kSysfsRootVariable,
            (scratch.path() + QStringLiteral("/sysfs")).toLocal8Bit());
    SimulatorProcess simulator;
    if (!simulator.start()) {
        state.SkipWithError("tracker_sim did not start (build it beside this program)");
        return;
    }
    qputenv(Quorvane::kExtraPortsVariable, simulator.path().toLocal8Bit());

    auto window = std::make_unique<MainWindow>();
    window->show();
    auto* tree = window->findChild<QTreeWidget*>(QStringLiteral("DeviceTreeWidget"));
    auto* start = window->findChild<QPushButton*>(QStringLiteral("StartPushButton"));
    // A loaded machine now and then misses the identification window.
    for (int attempt = 0; attempt < 3 && tree->topLevelItemCount() != 1; ++attempt)
        window->findChild<QPushButton*>(QStringLiteral("RescanPushButton"))->pressed();
    auto* view = window->findChild<OpenGLView*>();
    const QList<ChartViewOpenGL*> charts = window->findChildren<ChartViewOpenGL*>();
    if (tree->topLevelItemCount() != 1 || !view || charts.size() != 3) {
        state.SkipWithError("the window did not list the simulated tracker");
        return;
    }
    if (!view->isGLAvailable()) {
        state.SkipWithError("no OpenGL context on this display");
        return;
    }
    PaintCounter counter;
    counter.watch(view);
    for (ChartViewOpenGL* chart : charts) counter.watch(chart);

    start->pressed();
    if (start->text() != QStringLiteral("Stop")) {
        state.SkipWithError("the tracker did not start");
        return;
    }
    runEventLoop(kWarmUpMs);

    double seconds = 0;
    double cpu = 0;
    const double loadBefore = loadAverage();
    for (auto _ : state) {
        counter.reset();
        const double cpuStart = cpuSeconds();
        const auto wallStart = Clock::now();
        runEventLoop(kMeasureMs);
        seconds = std::chrono::duration<double>(Clock::now() - wallStart).count();
        cpu = cpuSeconds() - cpuStart;
    }
    const bool stillRunning = start->text() == QStringLiteral("Stop");
    start->pressed();
    window.reset();
    if (!stillRunning) {
        state.SkipWithError("the stream ended during the measurement");
        return;
    }

    double slowestChart = 1e9;
    for (ChartViewOpenGL* chart : charts)
        slowestChart = std::min(slowestChart, counter.count(chart) / seconds);
    const double orientation = counter.count(view) / seconds;
    state.counters["fps_3d_view"] = orientation;
    state.counters["fps_slowest_chart"] = slowestChart;
    state.counters["fps_held"] = std::min(orientation, slowestChart);
    state.counters["cpu_pct_of_core"] = 100 * cpu / seconds;
    state.counters["load_before"] = loadBefore;
    state.counters["load_after"] = loadAverage();
}
BENCHMARK(BM_ConfigWindowStreaming)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    // Without a display the benchmark reports why it was skipped.
    if (qEnvironmentVariableIsEmpty("DISPLAY")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
