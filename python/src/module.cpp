// The Python module "quorvane": discovery, trackers, the host orientation
// filter and Euler angles, with the library's failures as Python exceptions.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "bindings.h"
#include "quorvane.h"
#include "records.h"

namespace QuorvanePython {
namespace {

// The library reports failures as C++ exceptions: invalid arguments become
// ValueError, everything else TrackerError, with the library's message.
void translateLibraryErrors(py::module_& m) {
    static py::handle trackerError =
        py::exception<std::runtime_error>(m, "TrackerError", PyExc_RuntimeError).release();
    trackerError.attr("__doc__") = "A failure reported by the tracker library.";
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const py::builtin_exception&) {
            throw;  // pybind11's own ValueError, StopIteration, ...
        } catch (const py::error_already_set&) {
            throw;
        } catch (const std::bad_alloc&) {
            throw;
        } catch (const std::invalid_argument& e) {
            PyErr_SetString(PyExc_ValueError, e.what());
        } catch (const std::exception& e) {
            PyErr_SetString(trackerError.ptr(), e.what());
        }
    });
}

py::list listTrackers() {
    std::vector<DeviceInfo> found(16);
    int count;
    {
        py::gil_scoped_release release;
        while ((count = fenlarkGetDeviceList(found.data(), static_cast<uint32_t>(found.size()))) <
               0)
            found.resize(found.size() * 4);
    }
    const py::object type = py::module_::import("quorvane").attr("DeviceInfo");
    py::list result;
    for (int i = 0; i < count; ++i) {
        const DeviceInfo& d = found[static_cast<std::size_t>(i)];
        result.append(type(std::string(d.port, strnlen(d.port, sizeof d.port)),
                           std::string(d.id, strnlen(d.id, sizeof d.id)),
                           py::make_tuple(d.firmwareMajor, d.firmwareMinor)));
    }
    return result;
}

py::array_t<float> euler(py::handle value) {
    const auto q = py::array_t<float, py::array::c_style | py::array::forcecast>::ensure(value);
    if (!q || q.ndim() == 0 || q.shape(q.ndim() - 1) != 4)
        throw py::value_error("quat must be an array of quaternions, shape (..., 4)");
    std::vector<py::ssize_t> shape(q.shape(), q.shape() + q.ndim());
    shape.back() = 3;
    py::array_t<float> out(shape);
    const py::ssize_t n = q.size() / 4;
    const float* in = q.data();
    float* e = out.mutable_data();
    SensorSample s{};
    for (py::ssize_t i = 0; i < n; ++i) {
        std::memcpy(s.quat, in + 4 * i, sizeof s.quat);
        fenlarkEulerOri(&s, e + 3 * i);
    }
    return out;
}

}  // namespace
}  // namespace QuorvanePython

PYBIND11_MODULE(quorvane, m) {
    using namespace QuorvanePython;
    m.doc() =
        "Trackers and the host orientation filter from Python: list_trackers(), Tracker, "
        "OrientationFilter, euler().";
    translateLibraryErrors(m);

    const py::object namedtuple = py::module_::import("collections").attr("namedtuple");
    py::object deviceInfo = namedtuple("DeviceInfo", "port id firmware");
    deviceInfo.attr("__module__") = "quorvane";
    deviceInfo.attr("__doc__") =
        "An attached tracker: port (device path), id (identification string), firmware "
        "(major, minor).";
    m.attr("DeviceInfo") = deviceInfo;
    bindRecords(m);

    m.def("list_trackers", &listTrackers,
          "Finds and identifies every attached tracker; a list of DeviceInfo. Blocks about "
          "0.15 s per tracker.");
    m.def("euler", &euler, py::arg("quat"),
          "Yaw, pitch and roll in radians (yaw in [0, 2 pi)) of quaternions w, x, y, z: an "
          "array (..., 4) gives (..., 3) float32.");
    bindTracker(m);
    bindOrientationFilter(m);
}
