"""The library's failures as Python exceptions: TrackerError (a RuntimeError)
with the library's message, ValueError for invalid arguments; bad input
changes nothing."""

import math

import numpy as np
import pytest
from conftest import opened, quorvane


def test_tracker_error_is_a_runtime_error():
    assert issubclass(quorvane.TrackerError, RuntimeError)


def test_a_failing_discovery_raises_the_librarys_message(monkeypatch, tmp_path):
    monkeypatch.setenv("QUORVANE_SYSFS_ROOT", str(tmp_path / "missing"))
    with pytest.raises(quorvane.TrackerError, match="Can't read the list of serial devices in .*missing"):
        quorvane.list_trackers()


def test_opening_where_no_tracker_answers_raises(tmp_path):
    path = str(tmp_path / "ttyNothing")
    with pytest.raises(quorvane.TrackerError, match="no tracker answers on .*ttyNothing"):
        quorvane.Tracker(path).open()


CLOSED_TRACKER_CALLS = {
    "start": lambda t: t.start(),
    "stop": lambda t: t.stop(),
    "id": lambda t: t.id,
    "frequency": lambda t: t.frequency,
    "set channels": lambda t: setattr(t, "channels", 0x3FF),
    "calibration": lambda t: t.calibration,
    "ka": lambda t: t.ka,
    "jitter_reduction off": lambda t: setattr(t, "jitter_reduction", False),
    "boresight": lambda t: t.boresight("heading"),
    "save_settings": lambda t: t.save_settings(),
}


@pytest.mark.parametrize("call", CLOSED_TRACKER_CALLS.values(), ids=CLOSED_TRACKER_CALLS.keys())
def test_a_closed_tracker_raises_the_librarys_message(call):
    with pytest.raises(quorvane.TrackerError, match="^No Fenlarker open$"):
        call(quorvane.Tracker("/dev/null"))


def test_a_closed_tracker_reads_no_samples():
    t = quorvane.Tracker()
    assert len(t.read(10, timeout=5).timestamp) == 0
    assert list(t.samples()) == []


DEVICE_COMMANDS = {
    "set frequency": lambda t: setattr(t, "frequency", 50),
    "calibration": lambda t: t.calibration,
    "set kg": lambda t: setattr(t, "kg", np.eye(3)),
    "km_enabled": lambda t: t.km_enabled,
    "save_settings": lambda t: t.save_settings(),
}


def test_device_commands_on_a_started_tracker_raise_and_the_stream_goes_on(simulator):
    with opened(simulator.port) as t:
        t.start()
        before = t.read(10, timeout=30)
        for name, call in DEVICE_COMMANDS.items():
            with pytest.raises(quorvane.TrackerError, match="the tracker is started; stop it"):
                call(t)
        after = t.read(10, timeout=30)
        t.stop()
        assert t.frequency == 100
    stamps = np.concatenate([before.timestamp, after.timestamp]).astype(np.int64)
    np.testing.assert_array_equal(np.diff(stamps), 100)


BAD_SETTINGS = [
    ("frequency", 2048, "frequency must be 0..2047"),
    ("frequency", -1, "frequency must be 0..2047"),
    ("mag_divider", 8, "mag_divider must be 0..7"),
    ("channels", 0x800, "channels must be 0..2047"),
    ("filter_profile", "fast", "'standard' or 'robust', not 'fast'"),
    ("jitter_params", (math.nan, 0.01, 0.7), "alpha is not a finite number"),
    ("jitter_params", (0.9, 0.01, 0.0), "c must not be 0"),
    ("ka", np.eye(2), r"ka must have shape \(3, 3\), not \(2, 2\)"),
    ("km", "not numbers", "km must be an array of numbers"),
    ("calibration", {"Gb": [0, 0, 0], "Xb": [0, 0, 0]}, "unknown calibration field 'Xb'"),
    ("calibration", {"Gb": [0, 0, 0], "AR": np.eye(4)}, r"AR must have shape \(3, 3\)"),
]


def settings(t):
    return (
        t.frequency,
        t.mag_divider,
        t.channels,
        t.filter_profile,
        t.jitter_params,
        t.ka.tolist(),
        t.km.tolist(),
        {k: v.tolist() for k, v in t.calibration.items()},
    )


def test_invalid_settings_raise_value_error_and_change_nothing(simulator):
    with opened(simulator.port) as t:
        before = settings(t)
        for name, value, message in BAD_SETTINGS:
            with pytest.raises(ValueError, match=message):
                setattr(t, name, value)
        with pytest.raises(ValueError, match="boresight mode must be"):
            t.boresight("sideways")
        with pytest.raises(ValueError, match="n must not be negative"):
            t.read(-1)
        assert settings(t) == before


@pytest.mark.parametrize(
    "make, message",
    [
        (lambda: quorvane.Tracker(ring=1), "ring must be 2..65535"),
        (lambda: quorvane.Tracker(ring=65536), "ring must be 2..65535"),
        (lambda: quorvane.OrientationFilter("fast"), "'standard' or 'robust', not 'fast'"),
        (lambda: quorvane.euler(np.zeros((5, 3))), r"shape \(\.\.\., 4\)"),
    ],
)
def test_invalid_construction_raises_value_error(make, message):
    with pytest.raises(ValueError, match=message):
        make()
