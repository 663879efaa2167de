#include "chart_model.h"

#include <algorithm>
#include <cmath>

ChartModel::ChartModel(unsigned capacity) : capacity_(capacity) {}

float ChartModel::scaleFor(float maximum) const {
    return maximum > kSmallMaximum ? kTraceTop / maximum : kSmallScale;
}

std::optional<float> ChartModel::append(double x, double y, double z) {
    Record r{static_cast<float>(x), static_cast<float>(y), static_cast<float>(z), 0};
    r.peak = std::max({std::fabs(r.x), std::fabs(r.y), std::fabs(r.z)});
    records_.push_back(r);

    std::optional<float> reported;
    if (records_.size() < capacity_) {
        if (r.peak > maximum_) {
            maximum_ = r.peak;
            reported = maximum_;
            yScale_ = scaleFor(maximum_);
        }
        return reported;
    }

    if (r.peak > maximum_) {
        maximum_ = r.peak;
        reported = maximum_;
    } else if (records_.front().peak == maximum_) {
        // The sample holding the maximum leaves the window: the largest
        // peak of the rest, the newest excluded, takes its place.
        float m = records_.size() > 1 ? records_[1].peak : 0;
        for (std::size_t i = 2; i + 1 < records_.size(); ++i) m = std::max(m, records_[i].peak);
        maximum_ = m;
        reported = maximum_;
    }
    yScale_ = scaleFor(maximum_);
    records_.pop_front();
    scrollIndex_ = capacity_ ? (scrollIndex_ + 1) % capacity_ : 0;
    return reported;
}

void ChartModel::reset() {
    records_.clear();
    maximum_ = 0;
    scrollIndex_ = 0;
}

void ChartModel::setScale(float x, float y, float z) {
    xScale_ = x;
    yScale_ = y;
    zScale_ = z;
    maximum_ = 0;
}

std::vector<float> ChartModel::xTickPositions() const {
    std::vector<float> out;
    if (xAxis_.tickSpacing <= 0 || capacity_ == 0) return out;
    for (unsigned o = 0; o <= capacity_; o += static_cast<unsigned>(xAxis_.tickSpacing))
        out.push_back(static_cast<float>((capacity_ + o - scrollIndex_) % capacity_));
    return out;
}

std::vector<float> ChartModel::yTickPositions() const {
    std::vector<float> out;
    const int t = yAxis_.tickSpacing;
    if (t <= 0) return out;
    for (int g = -100; g < 0; g += t)
        if (-g >= t) out.push_back(static_cast<float>(g));
    for (int g = 100; g > 0; g -= t)
        if (g >= t) out.push_back(static_cast<float>(g));
    return out;
}

std::vector<float> ChartModel::dottedRows() const {
    std::vector<float> out;
    if (yAxis_.tickSpacing <= 0) return out;
    for (int g = -100; g <= 100; g += yAxis_.tickSpacing) out.push_back(static_cast<float>(g));
    return out;
}

std::vector<float> ChartModel::dottedColumns() const {
    std::vector<float> out;
    for (unsigned x = 0; x <= capacity_; x += 5) out.push_back(static_cast<float>(x));
    return out;
}
