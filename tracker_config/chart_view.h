// One sensor's scrolling chart: x red, y green, z blue, scaled to the
// largest value in view. The window and scale logic is ChartModel's; this
// widget feeds it and draws it with QPainter. The owner appends samples
// with valueChanged and redraws with updateGL(); appending never repaints.
#pragma once

#include <QImage>
#include <QMutex>
#include <QWidget>

#include "chart_model.h"

class ChartViewOpenGL : public QWidget {
    Q_OBJECT

  public:
    explicit ChartViewOpenGL(unsigned capacity, QWidget* parent = nullptr,
                             Qt::WindowFlags flags = {});

    // Clears the maximum too, so the next sample sets a new vertical scale.
    void setScale(float x, float y, float z);
    void setXAxis(int mode, int tickSpacing, bool ticks, bool gridLines);
    void setYAxis(int mode, int tickSpacing, bool dottedGrid);
    // Schedules a repaint that shows the samples appended so far.
    void updateGL();
    // The chart as the next repaint draws it.
    QImage grabFramebuffer();
    // A copy of the model, for inspection.
    ChartModel model() const;

  public slots:
    void valueChanged(double x, double y, double z);
    void reset();

  signals:
    void maxChanged(float maximum);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void draw(QPainter& painter, const QSize& size);

    mutable QMutex mutex;  // guards chart
    ChartModel chart;
};
