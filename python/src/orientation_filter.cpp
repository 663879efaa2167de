// quorvane.OrientationFilter: the tracker's host filter over recorded arrays,
// sample for sample as orientation_replay runs it.
#include <cmath>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "bindings.h"
#include "host_filter.h"
#include "records.h"

namespace QuorvanePython {
namespace {

using namespace pybind11::literals;

constexpr double kTicksPerSecond = 10000.0;   // device clock: 100 us per tick
constexpr double kClockTicks = 4294967296.0;  // the 32-bit clock wraps here

using Doubles = py::array_t<double, py::array::c_style | py::array::forcecast>;

Doubles rows(py::handle value, const char* name, py::ssize_t count, py::ssize_t width) {
    const auto a = Doubles::ensure(value);
    if (!a) throw py::value_error(std::string(name) + " must be an array of numbers");
    const bool fits = width == 0 ? a.ndim() == 1 && a.shape(0) == count
                                 : a.ndim() == 2 && a.shape(0) == count && a.shape(1) == width;
    if (!fits)
        throw py::value_error(std::string(name) + " must have shape (" + std::to_string(count) +
                              (width == 0 ? ",)" : ", " + std::to_string(width) + ")") + " like t");
    return a;
}

class OrientationFilter {
  public:
    explicit OrientationFilter(const std::string& profile) : name_(profile) {
        if (profile == "standard")
            profile_ = Quorvane::StandardProfile;
        else if (profile == "robust")
            profile_ = Quorvane::RobustProfile;
        else
            throw py::value_error("profile must be 'standard' or 'robust', not '" + profile + "'");
        reset();
    }

    const std::string& profile() const { return name_; }

    void reset() {
        std::lock_guard lock(mutex_);
        filter_ = std::make_unique<Quorvane::HostFilter>(profile_);
    }

    py::array_t<float> run(py::handle tValue, py::handle accValue, py::handle gyrValue,
                           py::handle magValue) {
        const auto t0 = Doubles::ensure(tValue);
        if (!t0 || t0.ndim() != 1) throw py::value_error("t must be a 1-D array of seconds");
        const py::ssize_t n = t0.shape(0);
        const Doubles acc = rows(accValue, "acc", n, 3);
        const Doubles gyr = rows(gyrValue, "gyr", n, 3);
        const Doubles mag = rows(magValue, "mag", n, 3);
        // Every sample is checked before the filter sees any.
        std::vector<SensorSample> samples(static_cast<std::size_t>(n));
        for (py::ssize_t i = 0; i < n; ++i) {
            const double t = t0.data()[i];
            if (!std::isfinite(t) || t < 0)
                throw py::value_error("t[" + std::to_string(i) +
                                      "]: the time must be finite and not negative, not " +
                                      std::to_string(t));
            SensorSample& s = samples[static_cast<std::size_t>(i)];
            s = SensorSample{};
            s.timestamp =
                static_cast<uint32_t>(std::fmod(std::nearbyint(t * kTicksPerSecond), kClockTicks));
            for (int k = 0; k < 3; ++k) {
                s.acc[k] = static_cast<float>(acc.data()[3 * i + k]);
                s.gyr[k] = static_cast<float>(gyr.data()[3 * i + k]);
                s.mag[k] = static_cast<float>(mag.data()[3 * i + k]);
            }
        }
        py::array_t<float> out({n, py::ssize_t{4}});
        float* q = out.mutable_data();
        {
            py::gil_scoped_release release;
            std::lock_guard lock(mutex_);
            for (SensorSample& s : samples) {
                const SensorSample in = s;
                filter_->update(&in, &s, 1.0);
                for (int k = 0; k < 4; ++k) *q++ = s.quat[k];
            }
        }
        return out;
    }

  private:
    std::string name_;
    Quorvane::FilterProfile profile_ = Quorvane::StandardProfile;
    std::unique_ptr<Quorvane::HostFilter> filter_;
    std::mutex mutex_;
};

}  // namespace

void bindOrientationFilter(py::module_& m) {
    py::class_<OrientationFilter>(
        m, "OrientationFilter",
        "The tracker's host orientation filter over recorded samples: 'standard' (the default "
        "filter) or 'robust' (gyroscope bias estimation, magnetic disturbance rejection). It "
        "keeps its state from one run() to the next.")
        .def(py::init<const std::string&>(), "profile"_a = "standard",
             "A fresh filter of the profile, 'standard' or 'robust'.")
        .def_property_readonly("profile", &OrientationFilter::profile, "'standard' or 'robust'.")
        .def("reset", &OrientationFilter::reset, "Starts over with a fresh filter.")
        .def("run", &OrientationFilter::run, "t"_a, "acc"_a, "gyr"_a, "mag"_a,
             "Runs the filter over N samples: t (N,) in seconds, acc (N, 3) in m/s^2, gyr "
             "(N, 3) in rad/s, mag (N, 3) in any unit. Returns the orientation of each sample, "
             "(N, 4) float32 w, x, y, z rotating world vectors (x north, y west, z up) into the "
             "sensor frame; the first samples are the identity while the filter warms up. "
             "Readings that are not finite are skipped by the filter.");
}

}  // namespace QuorvanePython
