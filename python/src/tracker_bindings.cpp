// quorvane.Tracker and its sample iterator.
#include <pybind11/stl.h>

#include <functional>
#include <string>
#include <utility>

#include "bindings.h"
#include "records.h"
#include "tracker.h"

namespace QuorvanePython {
namespace {

using namespace pybind11::literals;

// Holds the tracker, so it lives as long as an iteration over it.
struct SampleIterator {
    py::object tracker;
};

constexpr const char* kStateNames[] = {"stopped", "running", "stalled", "port_gone"};

constexpr const char* kProfileNames[] = {"standard", "robust"};

int profileNumber(const std::string& name) {
    for (int i = 0; i < 2; ++i)
        if (name == kProfileNames[i]) return i;
    throw py::value_error("filter profile must be 'standard' or 'robust', not '" + name + "'");
}

int boresightMode(const py::object& mode) {
    if (py::isinstance<py::str>(mode)) {
        const std::string name = mode.cast<std::string>();
        if (name == "heading") return 1;
        if (name == "object") return 2;
        if (name == "alignment") return 3;
    } else if (py::isinstance<py::int_>(mode)) {
        const long number = mode.cast<long>();
        if (number >= 1 && number <= 3) return static_cast<int>(number);
    }
    throw py::value_error("boresight mode must be 'heading', 'object', 'alignment' or 1..3, not " +
                          std::string(py::repr(mode)));
}

long inRange(const char* name, long value, long low, long high) {
    if (value < low || value > high)
        throw py::value_error(std::string(name) + " must be " + std::to_string(low) + ".." +
                              std::to_string(high) + ", not " + std::to_string(value));
    return value;
}

SensorConfig configOf(Tracker& t) {
    return t.call([](VirtualFenlark* h) {
        SensorConfig c;
        fenlarkGetConfig(h, &c);
        return c;
    });
}

// Reads the configuration, changes one field and writes it, in one go.
void changeConfig(Tracker& t, const std::function<void(SensorConfig&)>& change) {
    t.call([&](VirtualFenlark* h) {
        SensorConfig c;
        fenlarkGetConfig(h, &c);
        change(c);
        fenlarkSetConfig(h, &c);
    });
}

using Class = py::class_<Tracker>;

void bindConfig(Class& c) {
    c.def_property(
        "channels", [](Tracker& t) { return configOf(t).channels; },
        [](Tracker& t, long v) {
            const auto mask = static_cast<int32_t>(inRange("channels", v, 0, 0x7FF));
            changeConfig(t, [&](SensorConfig& s) { s.channels = mask; });
        },
        "Channel mask: bits 0-2 magnetometer, 3-5 accelerometer, 6-8 gyroscope, 9 temperature, "
        "10 the orientation computed on the device. Setting it is a device command.");
    c.def_property(
        "frequency", [](Tracker& t) { return configOf(t).frequency; },
        [](Tracker& t, long v) {
            const auto hz = static_cast<uint16_t>(inRange("frequency", v, 0, 2047));
            changeConfig(t, [&](SensorConfig& s) { s.frequency = hz; });
        },
        "Output frequency in Hz, 0..2047 (device command when set).");
    c.def_property(
        "mag_divider", [](Tracker& t) { return configOf(t).magDivider; },
        [](Tracker& t, long v) {
            const auto divider = static_cast<uint8_t>(inRange("mag_divider", v, 0, 7));
            changeConfig(t, [&](SensorConfig& s) { s.magDivider = divider; });
        },
        "Magnetometer divider setting, 0..7 (device command when set).");
    c.def_property(
        "raw", [](Tracker& t) { return configOf(t).raw != 0; },
        [](Tracker& t, bool v) { changeConfig(t, [&](SensorConfig& s) { s.raw = v; }); },
        "RAW mode: 16-bit integer readings instead of calibrated values (device command when "
        "set).");
    c.def_property(
        "auto_start", [](Tracker& t) { return configOf(t).autoStart != 0; },
        [](Tracker& t, bool v) { changeConfig(t, [&](SensorConfig& s) { s.autoStart = v; }); },
        "Stream after power-up (device command when set).");
    c.def_property(
        "ascii", [](Tracker& t) { return configOf(t).ascii != 0; },
        [](Tracker& t, bool v) { changeConfig(t, [&](SensorConfig& s) { s.ascii = v; }); },
        "ASCII output instead of binary packets (device command when set).");
    c.def(
        "save_settings",
        [](Tracker& t) { t.call([](VirtualFenlark* h) { fenlarkSaveSettings(h); }); },
        "Makes the tracker store its current settings (device command).");
}

void bindCalibration(Class& c) {
    c.def_property(
        "calibration",
        [](Tracker& t) {
            const CalibrationData record = t.call([](VirtualFenlark* h) {
                CalibrationData r;
                fenlarkGetCalib(h, &r);
                return r;
            });
            return calibrationDict(record);
        },
        [](Tracker& t, const py::object& fields) {
            // Checked before the device is asked anything.
            const CalibrationChanges changes = calibrationChanges(fields);
            t.call([&](VirtualFenlark* h) {
                CalibrationData record;
                fenlarkGetCalib(h, &record);
                changes.applyTo(record);
                return fenlarkSetCalib(h, &record);
            });
        },
        "The calibration record: a dict of float32 arrays AR, GR, GK, MR (3, 3) and Ab, Ak, "
        "Gb, Gk, Mb, Mk (3,). Assigning a dict replaces the fields it names and keeps the "
        "others. Device commands.");

    using GetMatrix = bool (*)(VirtualFenlark*, float*);
    using SetMatrix = bool (*)(VirtualFenlark*, const float*);
    using GetFlag = int (*)(VirtualFenlark*);
    using SetFlag = bool (*)(VirtualFenlark*, int);
    const struct {
        const char* name;
        const char* flag;
        GetMatrix get;
        SetMatrix set;
        GetFlag getFlag;
        SetFlag setFlag;
    } matrices[] = {
        {"ka", "ka_enabled", fenlarkGetKa, fenlarkSetKa, fenlarkGetKaStatus, fenlarkSetKaStatus},
        {"kg", "kg_enabled", fenlarkGetKg, fenlarkSetKg, fenlarkGetKgStatus, fenlarkSetKgStatus},
        {"km", "km_enabled", fenlarkGetKm, fenlarkSetKm, fenlarkGetKmStatus, fenlarkSetKmStatus},
    };
    for (const auto& m : matrices) {
        const std::string name = m.name;
        c.def_property(
            m.name,
            [get = m.get](Tracker& t) {
                float values[9];
                t.call([&](VirtualFenlark* h) { return get(h, values); });
                return matrixArray(values);
            },
            [set = m.set, name](Tracker& t, const py::object& value) {
                float values[9];
                matrixFrom(value, name.c_str(), values);
                t.call([&](VirtualFenlark* h) { return set(h, values); });
            },
            ("Device matrix " + name + " (3, 3 float32; device commands).").c_str());
        c.def_property(
            m.flag,
            [get = m.getFlag](Tracker& t) {
                return t.call([&](VirtualFenlark* h) { return get(h) != 0; });
            },
            [set = m.setFlag](Tracker& t, bool on) {
                t.call([&](VirtualFenlark* h) { return set(h, on ? 1 : 0); });
            },
            ("Whether the device applies " + name + " (device commands).").c_str());
    }
}

void bindOrientation(Class& c) {
    c.def_property(
        "boresight_enabled",
        [](Tracker& t) {
            return t.call([](VirtualFenlark* h) { return fenlarkGetBoresight(h); }) != 0;
        },
        [](Tracker& t, bool on) {
            t.call([&](VirtualFenlark* h) { return fenlarkSetBoresight(h, on ? 1 : 0); });
        },
        "Whether reported orientations are re-referenced by boresight(). Written to a stopped "
        "tracker at once, to a started one at stop().");
    c.def(
        "boresight",
        [](Tracker& t, const py::object& mode) {
            const int m = boresightMode(mode);
            t.call([&](VirtualFenlark* h) { return fenlarkBoresight(h, m); });
        },
        "mode"_a,
        "Takes the newest orientation as reference and enables the boresight: 'heading' (1) "
        "removes its yaw, 'object' (2) makes it read as its pure yaw, 'alignment' (3) makes it "
        "read as the identity.");
    c.def_property(
        "jitter_reduction",
        [](Tracker& t) {
            return t.call([](VirtualFenlark* h) { return fenlarkGetJitterStatus(h); }) != 0;
        },
        [](Tracker& t, bool on) {
            t.call([&](VirtualFenlark* h) { return fenlarkSetJitterStatus(h, on ? 1 : 0); });
        },
        "Whether the host filter's process noise shrinks while the tracker rests.");
    c.def_property(
        "jitter_params",
        [](Tracker& t) {
            double alpha = 0, threshold = 0, unused = 0;
            t.call(
                [&](VirtualFenlark* h) { fenlarkGetJitterParam(h, &alpha, &threshold, &unused); });
            return py::make_tuple(alpha, threshold);
        },
        [](Tracker& t, const std::tuple<double, double, double>& p) {
            t.call([&](VirtualFenlark* h) {
                fenlarkSetJitterParam(h, std::get<0>(p), std::get<1>(p), std::get<2>(p));
            });
        },
        "Jitter reduction parameters. Reads as (alpha, threshold); set as (alpha, threshold, "
        "c): alpha the weight of the newest gyroscope reading in the low-pass, threshold in "
        "(rad/s)^2 below which the tracker counts as still, c the gain's rate of change. "
        "Values that are not finite, and c = 0, raise ValueError.");
    c.def_property(
        "filter_profile",
        [](Tracker& t) {
            const int p = t.call([](VirtualFenlark* h) { return fenlarkGetFilterProfile(h); });
            return std::string(kProfileNames[p == 1 ? 1 : 0]);
        },
        [](Tracker& t, const std::string& name) {
            const int p = profileNumber(name);
            t.call([&](VirtualFenlark* h) { return fenlarkSetFilterProfile(h, p); });
        },
        "Host filter used when the tracker sends no orientation: 'standard' or 'robust'. Takes "
        "effect at the next start().");
}

void bindStream(Class& c) {
    c.def(
        "start", [](Tracker& t) { t.call([](VirtualFenlark* h) { return fenlarkStart(h); }); },
        "Starts the stream and the acquisition thread.");
    c.def(
        "stop", [](Tracker& t) { t.call([](VirtualFenlark* h) { return fenlarkStop(h); }); },
        "Ends the stream and stores the boresight and jitter settings on the device. On a "
        "tracker that was unplugged it only releases the port.");
    c.def_property_readonly(
        "stream_state",
        [](Tracker& t) {
            const int s = t.call([](VirtualFenlark* h) { return fenlarkGetStreamState(h); });
            return std::string(kStateNames[s >= 0 && s <= 3 ? s : 0]);
        },
        "'stopped', 'running', 'stalled' (no packet for 0.5 s) or 'port_gone' (unplugged).");
    c.def(
        "read",
        [](Tracker& t, long n, std::optional<double> timeout) {
            if (n < 0) throw py::value_error("n must not be negative");
            return samplesTuple(t.read(static_cast<std::size_t>(n), timeout));
        },
        "n"_a, "timeout"_a = py::none(),
        "The next n samples not yet read, as Samples of numpy arrays. Returns fewer when "
        "timeout seconds pass (None: no limit) or the stream ends (stop, close, unplug).");
    c.def(
        "samples", [](py::object self) { return SampleIterator{std::move(self)}; },
        "An iterator of the samples not yet read, as they arrive. It ends once the tracker "
        "is stopped, closed or unplugged and every sample it delivered was taken.");
}

}  // namespace

void bindTracker(py::module_& m) {
    py::class_<SampleIterator>(m, "SampleIterator", "Yields Sample objects; see Tracker.samples.")
        .def(
            "__iter__", [](py::object self) { return self; }, "The iterator itself.")
        .def(
            "__next__",
            [](SampleIterator& it) {
                const auto one = it.tracker.cast<Tracker&>().read(1, std::nullopt);
                if (one.empty()) throw py::stop_iteration();
                return one.front();
            },
            "The next sample; waits for it without the GIL. StopIteration once the stream "
            "has ended.");

    Class c(m, "Tracker",
            "A tracker on a serial port. port None: the first that identifies as a tracker. "
            "ring: samples buffered between the acquisition thread and the reader. As a "
            "context manager it opens on entry, and stops and closes on exit.");
    c.def(py::init<std::optional<std::string>, long>(), "port"_a = py::none(), "ring"_a = 100,
          "A closed tracker for the device path port (None: the first tracker found) with a "
          "ring of 2..65535 samples.");
    c.def("open", &Tracker::open,
          "Connects and reads the device's configuration; TrackerError when no tracker answers.");
    c.def("close", &Tracker::close, "Stops a started tracker and releases the port.");
    c.def(
        "__enter__",
        [](py::object self) {
            self.cast<Tracker&>().open();
            return self;
        },
        "Opens the tracker.");
    c.def(
        "__exit__", [](Tracker& t, const py::args&) { t.close(); }, "Stops and closes.");
    c.def_property_readonly(
        "port", [](const Tracker& t) { return t.port(); }, "The port asked for, or None.");
    c.def_property_readonly(
        "id",
        [](Tracker& t) {
            char id[8] = {};
            t.call([&](VirtualFenlark* h) { fenlarkGetID(h, id); });
            return std::string(id, strnlen(id, sizeof id));
        },
        "The tracker's identification string.");
    bindConfig(c);
    bindCalibration(c);
    bindOrientation(c);
    bindStream(c);
}

}  // namespace QuorvanePython
