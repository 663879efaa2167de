#include "chart_view.h"

#include <QMutexLocker>
#include <QPainter>
#include <QPolygonF>
#include <algorithm>
#include <optional>
#include <vector>

ChartViewOpenGL::ChartViewOpenGL(unsigned capacity, QWidget* parent, Qt::WindowFlags flags)
    : QWidget(parent, flags), chart(capacity) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ChartViewOpenGL::setScale(float x, float y, float z) {
    QMutexLocker lock(&mutex);
    chart.setScale(x, y, z);
}

void ChartViewOpenGL::setXAxis(int mode, int tickSpacing, bool ticks, bool gridLines) {
    QMutexLocker lock(&mutex);
    chart.setXAxis({mode, tickSpacing, ticks, gridLines});
}

void ChartViewOpenGL::setYAxis(int mode, int tickSpacing, bool dottedGrid) {
    QMutexLocker lock(&mutex);
    chart.setYAxis({mode, tickSpacing, dottedGrid});
}

ChartModel ChartViewOpenGL::model() const {
    QMutexLocker lock(&mutex);
    return chart;
}

void ChartViewOpenGL::valueChanged(double x, double y, double z) {
    if (!updatesEnabled()) return;
    std::optional<float> reported;
    {
        QMutexLocker lock(&mutex);
        reported = chart.append(x, y, z);
    }
    if (reported) emit maxChanged(*reported);
}

void ChartViewOpenGL::reset() {
    {
        QMutexLocker lock(&mutex);
        chart.reset();
    }
    update();
}

void ChartViewOpenGL::updateGL() {
    update();
}

QImage ChartViewOpenGL::grabFramebuffer() {
    QImage image(size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    QPainter painter(&image);
    draw(painter, image.size());
    return image;
}

void ChartViewOpenGL::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    draw(painter, size());
}

void ChartViewOpenGL::draw(QPainter& painter, const QSize& size) {
    painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    if (!isEnabled()) return;

    QMutexLocker lock(&mutex);
    const ChartModel& m = chart;
    const double cap = m.capacity() ? m.capacity() : 1;
    const double sx = size.width() / cap;
    const double sy = size.height() / (2 * ChartModel::kPlotTop);
    // The right edge (x = capacity) stays inside the image.
    auto px = [&](double x) { return std::min(x * sx, size.width() - 1.0); };
    auto py = [&](double y) { return (ChartModel::kPlotTop - y) * sy; };
    // Lines of one pen go to the painter in one call: pixel for pixel the
    // same as one call per line, without the painter's set-up for each.
    std::vector<QLineF> lines;
    auto line = [&](double x0, double y0, double x1, double y1) {
        lines.emplace_back(QPointF(px(x0), py(y0)), QPointF(px(x1), py(y1)));
    };
    auto drawLines = [&] {
        painter.drawLines(lines.data(), static_cast<int>(lines.size()));
        lines.clear();
    };

    // Everything lies in one plane: what the chart draws first stays in
    // front (axes over grid over traces, x over y over z), so with the
    // painter's later-on-top the order is reversed.
    const QColor traceColours[3] = {Qt::blue, Qt::green, Qt::red};
    for (int axis = 2; axis >= 0; --axis) {
        QPolygonF trace;
        trace.reserve(static_cast<int>(m.pointCount()));
        for (std::size_t i = 0; i < m.pointCount(); ++i) {
            const ChartModel::Record& r = m.point(i);
            const float v = axis == 0 ? r.x : axis == 1 ? r.y : r.z;
            trace << QPointF(px(i * m.xScale()), py(v * m.yScale()));
        }
        painter.setPen(QPen(traceColours[2 - axis], 1));
        painter.drawPolyline(trace);
    }

    const ChartModel::XAxis& xa = m.xAxis();
    const ChartModel::YAxis& ya = m.yAxis();
    const std::vector<float> xTicks = m.xTickPositions();
    if (ya.mode != 0 && ya.dottedGrid) {
        // One call for the whole grid: point by point, the painter's set-up
        // for each call costs more than the point.
        const std::vector<float> columns = m.dottedColumns();
        QPolygonF dots;
        for (float row : m.dottedRows())
            for (float column : columns) dots << QPointF(px(column), py(row));
        painter.setPen(QPen(QColor::fromRgbF(0.6f, 0.6f, 0.6f), 1));
        painter.drawPoints(dots);
    }
    if (xa.mode != 0 && xa.gridLines) {
        painter.setPen(QPen(QColor::fromRgbF(0.9f, 0.9f, 0.9f), 1));
        for (float p : xTicks) line(p, -100, p, 100);
        drawLines();
    }
    painter.setPen(QPen(Qt::black, 1));
    const bool left = ya.mode == 1 || ya.mode >= 3;
    const bool right = ya.mode == 2 || ya.mode >= 3;
    for (float g : m.yTickPositions()) {
        if (left) line(0, g, 5, g);
        if (right) line(cap - 5, g, cap, g);
    }
    if (xa.mode != 0 && xa.ticks)
        for (float p : xTicks) line(p, -5, p, 5);
    if (left) line(0, 100, 0, -100);
    if (right) line(cap, 100, cap, -100);
    if (xa.mode != 0) line(0, 0, cap, 0);
    drawLines();
}
