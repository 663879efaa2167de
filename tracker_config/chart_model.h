// What a sensor chart shows, without any widget: the window of the last
// samples, the running maximum that scales the traces, and where the axis
// ticks, grid lines and dotted rows go. Plot coordinates: x from 0 to the
// capacity (one unit per sample), y from -110 to 110; a value v is drawn at
// v * yScale, so the maximum lands at 100.
#pragma once

#include <deque>
#include <optional>
#include <vector>

class ChartModel {
  public:
    struct Record {
        float x, y, z;
        float peak;  // max(|x|, |y|, |z|)
    };
    struct XAxis {
        int mode = 1;  // 0: no zero line, ticks or grid lines
        int tickSpacing = 50;
        bool ticks = true;
        bool gridLines = true;
    };
    struct YAxis {
        int mode = 1;  // 0 none, 1 left, 2 right, 3 or more both sides
        int tickSpacing = 25;
        bool dottedGrid = true;
    };

    static constexpr float kPlotTop = 110;
    static constexpr float kTraceTop = 100;
    // y scale while the maximum is too small to scale by.
    static constexpr float kSmallScale = 333.3333f;
    static constexpr float kSmallMaximum = 0.3f;

    explicit ChartModel(unsigned capacity);

    // Appends a sample; returns the maximum when it is to be reported
    // (maxChanged), nothing otherwise.
    std::optional<float> append(double x, double y, double z);
    void reset();
    // Stores the scale factors and clears the maximum, so the next sample
    // starts a new one.
    void setScale(float x, float y, float z);
    void setXAxis(const XAxis& axis) { xAxis_ = axis; }
    void setYAxis(const YAxis& axis) { yAxis_ = axis; }

    unsigned capacity() const { return capacity_; }
    float maximum() const { return maximum_; }
    float xScale() const { return xScale_; }
    float yScale() const { return yScale_; }
    float zScale() const { return zScale_; }
    unsigned scrollIndex() const { return scrollIndex_; }
    const XAxis& xAxis() const { return xAxis_; }
    const YAxis& yAxis() const { return yAxis_; }
    std::size_t recordCount() const { return records_.size(); }

    // The records the traces pass through: from the window's start up to,
    // but not including, the newest (which is drawn once the next arrives).
    std::size_t pointCount() const { return records_.empty() ? 0 : records_.size() - 1; }
    const Record& point(std::size_t i) const { return records_[i]; }

    // x positions of the ticks and grid lines; they move one unit to the
    // left with every sample that leaves the window.
    std::vector<float> xTickPositions() const;
    // y positions of the short ticks on the y axis (none nearer to 0 than
    // one spacing).
    std::vector<float> yTickPositions() const;
    // Rows of the dotted grid, from -100 up.
    std::vector<float> dottedRows() const;
    // Columns of the dotted grid: every 5 units.
    std::vector<float> dottedColumns() const;

  private:
    float scaleFor(float maximum) const;

    unsigned capacity_;
    std::deque<Record> records_;  // front: window start; back: newest
    float xScale_ = 1, yScale_ = 1, zScale_ = 1;
    unsigned scrollIndex_ = 0;
    float maximum_ = 0;
    XAxis xAxis_;
    YAxis yAxis_;
};
