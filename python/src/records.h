// The library's records as Python and numpy values, and back. Values that do
// not fit a record raise ValueError before anything reaches the tracker.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstddef>
#include <vector>

#include "quorvane.h"

namespace QuorvanePython {

namespace py = pybind11;

// A 3 x 3 float matrix, row by row, as a (3, 3) float32 array.
py::array_t<float> matrixArray(const float m[9]);
// Any array-like of 3 x 3 numbers; name tells the caller's argument in errors.
void matrixFrom(py::handle value, const char* name, float out[9]);

// The calibration record as a dict of float32 arrays: AR, GR, GK, MR (3, 3),
// Ab, Ak, Gb, Gk, Mb, Mk (3,).
py::dict calibrationDict(const CalibrationData& record);
// New values for some fields of a calibration record.
class CalibrationChanges {
  public:
    void applyTo(CalibrationData& record) const;

  private:
    friend CalibrationChanges calibrationChanges(py::handle mapping);
    struct Change {
        std::size_t offset;
        std::vector<float> values;
    };
    std::vector<Change> changes_;
};
// The fields a dict names, by field name; unknown names and wrong shapes
// raise ValueError.
CalibrationChanges calibrationChanges(py::handle mapping);

// The samples as the named tuple Samples(timestamp, acc, gyr, mag, quat,
// temperature) of numpy arrays with one row per sample.
py::object samplesTuple(const std::vector<SensorSample>& samples);

// Declares the Samples named tuple and the Sample class in the module.
void bindRecords(py::module_& m);

}  // namespace QuorvanePython
