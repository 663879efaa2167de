#include "records.h"

#include <cstddef>
#include <cstring>
#include <string>

namespace QuorvanePython {
namespace {

struct CalibrationField {
    const char* name;
    std::size_t offset;
    int size;  // 9: a 3 x 3 matrix, 3: a vector
};

const CalibrationField kCalibrationFields[] = {
    {"AR", offsetof(CalibrationData, AR), 9}, {"Ab", offsetof(CalibrationData, Ab), 3},
    {"Ak", offsetof(CalibrationData, Ak), 3}, {"GR", offsetof(CalibrationData, GR), 9},
    {"Gb", offsetof(CalibrationData, Gb), 3}, {"Gk", offsetof(CalibrationData, Gk), 3},
    {"GK", offsetof(CalibrationData, GK), 9}, {"MR", offsetof(CalibrationData, MR), 9},
    {"Mb", offsetof(CalibrationData, Mb), 3}, {"Mk", offsetof(CalibrationData, Mk), 3},
};

float* fieldOf(CalibrationData& record, const CalibrationField& f) {
    return reinterpret_cast<float*>(reinterpret_cast<char*>(&record) + f.offset);
}

// The value as a float32 array of exactly the given shape.
py::array_t<float, py::array::c_style> shaped(py::handle value, const std::string& name,
                                              std::vector<py::ssize_t> shape) {
    // Null, with the Python error cleared, when value is no array of numbers.
    const auto a = py::array_t<float, py::array::c_style | py::array::forcecast>::ensure(value);
    if (!a) throw py::value_error(name + " must be an array of numbers");
    const std::vector<py::ssize_t> got(a.shape(), a.shape() + a.ndim());
    if (got != shape) {
        std::string want, have;
        for (py::ssize_t d : shape) want += (want.empty() ? "" : ", ") + std::to_string(d);
        for (py::ssize_t d : got) have += (have.empty() ? "" : ", ") + std::to_string(d);
        throw py::value_error(name + " must have shape (" + want + "), not (" + have + ")");
    }
    return a;
}

// A new float32 array of the shape, filled from the samples' field.
template <std::size_t N>
py::array_t<float> column(const std::vector<SensorSample>& samples,
                          float (SensorSample::*field)[N]) {
    py::array_t<float> a({static_cast<py::ssize_t>(samples.size()), static_cast<py::ssize_t>(N)});
    float* out = a.mutable_data();
    for (const SensorSample& s : samples) {
        std::memcpy(out, s.*field, sizeof(float) * N);
        out += N;
    }
    return a;
}

py::tuple floats(const float* values, int count) {
    py::tuple t(count);
    for (int i = 0; i < count; ++i) t[i] = values[i];
    return t;
}

}  // namespace

py::array_t<float> matrixArray(const float m[9]) {
    py::array_t<float> a({3, 3});
    std::memcpy(a.mutable_data(), m, sizeof(float) * 9);
    return a;
}

void matrixFrom(py::handle value, const char* name, float out[9]) {
    std::memcpy(out, shaped(value, name, {3, 3}).data(), sizeof(float) * 9);
}

py::dict calibrationDict(const CalibrationData& record) {
    CalibrationData copy = record;
    py::dict d;
    for (const CalibrationField& f : kCalibrationFields) {
        if (f.size == 9) {
            d[f.name] = matrixArray(fieldOf(copy, f));
        } else {
            py::array_t<float> v(3);
            std::memcpy(v.mutable_data(), fieldOf(copy, f), sizeof(float) * 3);
            d[f.name] = v;
        }
    }
    return d;
}

void CalibrationChanges::applyTo(CalibrationData& record) const {
    for (const Change& c : changes_)
        std::memcpy(reinterpret_cast<char*>(&record) + c.offset, c.values.data(),
                    sizeof(float) * c.values.size());
}

CalibrationChanges calibrationChanges(py::handle mapping) {
    if (!py::isinstance<py::dict>(mapping))
        throw py::value_error("the calibration must be a dict of arrays by field name");
    CalibrationChanges result;
    for (const auto& [key, value] : mapping.cast<py::dict>()) {
        const std::string name = py::str(key);
        const CalibrationField* field = nullptr;
        for (const CalibrationField& f : kCalibrationFields)
            if (name == f.name) field = &f;
        if (!field)
            throw py::value_error("unknown calibration field '" + name +
                                  "' (fields: AR Ab Ak GR Gb Gk GK MR Mb Mk)");
        const auto shape =
            field->size == 9 ? std::vector<py::ssize_t>{3, 3} : std::vector<py::ssize_t>{3};
        const auto a = shaped(value, "calibration field " + name, shape);
        result.changes_.push_back(
            {field->offset, std::vector<float>(a.data(), a.data() + field->size)});
    }
    return result;
}

py::object samplesTuple(const std::vector<SensorSample>& samples) {
    py::array_t<uint32_t> timestamps(static_cast<py::ssize_t>(samples.size()));
    py::array_t<float> temperature(static_cast<py::ssize_t>(samples.size()));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        timestamps.mutable_data()[i] = samples[i].timestamp;
        temperature.mutable_data()[i] = samples[i].temperature;
    }
    const py::object type = py::module_::import("quorvane").attr("Samples");
    return type(timestamps, column(samples, &SensorSample::acc),
                column(samples, &SensorSample::gyr), column(samples, &SensorSample::mag),
                column(samples, &SensorSample::quat), temperature);
}

void bindRecords(py::module_& m) {
    const py::object namedtuple = py::module_::import("collections").attr("namedtuple");
    py::object samples = namedtuple("Samples", "timestamp acc gyr mag quat temperature");
    samples.attr("__module__") = "quorvane";
    samples.attr("__doc__") =
        "Samples in arrival order, one row each: timestamp (uint32, device clock in 100 us "
        "ticks, wrapping at 2**32), acc (m/s^2), gyr (rad/s), mag (N, 3 float32), quat "
        "(N, 4 float32, w x y z, rotating world vectors into the sensor frame) and "
        "temperature (N float32, deg C).";
    m.attr("Samples") = samples;

    py::class_<SensorSample>(m, "Sample",
                             "One measurement, as samples() yields it. Fields as in Samples.")
        .def_property_readonly(
            "timestamp", [](const SensorSample& s) { return s.timestamp; },
            "Device clock in 100 us ticks; wraps at 2**32.")
        .def_property_readonly(
            "acc", [](const SensorSample& s) { return floats(s.acc, 3); },
            "Accelerometer x, y, z (specific force, m/s^2).")
        .def_property_readonly(
            "gyr", [](const SensorSample& s) { return floats(s.gyr, 3); },
            "Gyroscope x, y, z (rad/s).")
        .def_property_readonly(
            "mag", [](const SensorSample& s) { return floats(s.mag, 3); }, "Magnetometer x, y, z.")
        .def_property_readonly(
            "quat", [](const SensorSample& s) { return floats(s.quat, 4); },
            "Orientation w, x, y, z: rotates world vectors into the sensor frame.")
        .def_property_readonly(
            "temperature", [](const SensorSample& s) { return s.temperature; },
            "Temperature (deg C).")
        .def(
            "__repr__",
            [](const SensorSample& s) {
                return py::str("Sample(timestamp={}, quat={})")
                    .format(s.timestamp, floats(s.quat, 4));
            },
            "The timestamp and the orientation.");
}

}  // namespace QuorvanePython
