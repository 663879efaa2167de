"""Trackers from Python against simulated ones: discovery, configuration,
streaming into numpy, the sample iterator and an unplug."""

import _thread
import signal
import threading
import time

import numpy as np
import pytest
from conftest import angle_degrees, opened, quorvane


def test_list_trackers_finds_each_simulator_with_its_identity(simulators):
    simulators(["--id", "PYA", "--firmware", "1.4"], ["--id", "PYB7", "--firmware", "2.11"])
    found = sorted(quorvane.list_trackers(), key=lambda d: d.id)
    assert [(d.id, d.firmware) for d in found] == [("PYA", (1, 4)), ("PYB7", (2, 11))]
    for d in found:
        with opened(d.port) as t:
            assert t.id == d.id


def test_as_context_manager_opens_the_tracker_discovery_finds_and_closes_it(simulators):
    simulators(["--id", "ONLY"])
    t = quorvane.Tracker()
    for attempt in range(3):  # see opened()
        try:
            with t:
                assert t.id == "ONLY"
                t.start()
            break
        except quorvane.TrackerError as e:
            if not str(e).startswith("no tracker") or attempt == 2:
                raise
    assert t.stream_state == "stopped"
    with pytest.raises(quorvane.TrackerError, match="No Fenlarker open"):
        t.id


@pytest.mark.parametrize(
    "name, value",
    [
        ("frequency", 150),
        ("mag_divider", 5),
        ("channels", 0x1FF),
        ("raw", True),
        ("auto_start", False),
        ("jitter_reduction", True),
        ("boresight_enabled", True),
        ("ka_enabled", True),
        ("km_enabled", True),
        ("filter_profile", "robust"),
    ],
)
def test_settings_read_back_as_set(simulator, name, value):
    with opened(simulator.port) as t:
        before = {k: getattr(t, k) for k in ("frequency", "mag_divider", "channels", "raw")}
        assert getattr(t, name) != value, "the case must change something"
        setattr(t, name, value)
        assert getattr(t, name) == value
        # A configuration field changes alone.
        for k, v in before.items():
            if k != name:
                assert getattr(t, k) == v, k


def test_calibration_and_matrices_read_back_as_set(simulator):
    with opened(simulator.port) as t:
        record = t.calibration
        assert set(record) == {"AR", "Ab", "Ak", "GR", "Gb", "Gk", "GK", "MR", "Mb", "Mk"}
        t.calibration = {"Gb": [0.25, -0.5, 0.125], "MR": np.eye(3) * 2}
        changed = t.calibration
        np.testing.assert_array_equal(changed["Gb"], [0.25, -0.5, 0.125])
        np.testing.assert_array_equal(changed["MR"], np.eye(3) * 2)
        for name in record.keys() - {"Gb", "MR"}:
            np.testing.assert_array_equal(changed[name], record[name], err_msg=name)

        m = np.arange(9, dtype=np.float32).reshape(3, 3) / 8
        for name in ("ka", "kg", "km"):
            setattr(t, name, m + len(name))
        # Row by row, and each matrix in its own place.
        np.testing.assert_array_equal(t.ka, m + 2)
        np.testing.assert_array_equal(t.km, m + 2)
        t.kg = m.T
        np.testing.assert_array_equal(t.kg, m.T)

        t.jitter_params = (0.9, 0.02, 0.5)
        assert t.jitter_params == pytest.approx((0.9, 0.02))


def test_read_takes_every_sample_near_the_truth(simulator):
    with opened(simulator.port, ring=16) as t:
        t.channels = 0x3FF  # sensors only: the host filter makes the orientation
        t.frequency = 100
        t.start()
        first = t.read(150, timeout=30)
        time.sleep(0.05)  # a reader that pauses still loses nothing
        rest = t.read(150, timeout=30)
        t.stop()
    assert len(first.timestamp) == 150 and len(rest.timestamp) == 150
    stamps = np.concatenate([first.timestamp, rest.timestamp])
    # 100 Hz: one sample per 100 ticks of 100 us, none lost or repeated.
    np.testing.assert_array_equal(np.diff(stamps.astype(np.int64)), 100)
    assert rest.acc.shape == (150, 3) and rest.quat.shape == (150, 4)
    np.testing.assert_allclose(np.linalg.norm(rest.quat, axis=1), 1, atol=1e-5)
    np.testing.assert_allclose(np.linalg.norm(rest.acc, axis=1), 9.81, atol=0.3)
    assert np.all(np.abs(rest.temperature - 25) < 20)
    truth = simulator.truth()
    # The filter has settled after 1.5 s.
    worst = max(angle_degrees(q, truth[int(s)]) for s, q in zip(rest.timestamp, rest.quat))
    assert worst < 5


@pytest.mark.parametrize("mode", ["alignment", "heading", 3])
def test_boresight_rereferences_the_orientation(simulator, mode):
    with opened(simulator.port) as t:
        t.channels = 0x3FF
        t.start()
        settled = t.read(200, timeout=30).quat[-1]
        t.boresight(mode)
        after = t.read(50, timeout=30).quat[-10:]
        t.stop()
        assert t.boresight_enabled
    yaw, pitch, roll = np.degrees(quorvane.euler(after)).T
    yaw = np.minimum(yaw, 360 - yaw)
    assert np.all(yaw < 2)
    if mode == "heading":
        # Only the yaw is gone: the tilt stays.
        tilt = np.degrees(quorvane.euler(settled))[1:]
        np.testing.assert_allclose(np.c_[pitch, roll], np.tile(tilt, (10, 1)), atol=2)
    else:
        assert np.all(np.abs(pitch) < 2) and np.all(np.abs(roll) < 2)


def test_read_returns_what_arrived_when_the_timeout_passes(simulator):
    with opened(simulator.port) as t:
        t.frequency = 10
        t.start()
        first = t.read(1, timeout=30)
        got = t.read(10**6, timeout=0.5)
        t.stop()
        leftover = t.read(10**6, timeout=30)  # the rest of the period, at once
    # About 5 samples in 0.5 s at 10 Hz, and none lost on the way.
    assert len(got.timestamp) < 100
    parts = (first.timestamp, got.timestamp, leftover.timestamp)
    np.testing.assert_array_equal(np.diff(np.concatenate(parts).astype(np.int64)), 1000)


def test_other_threads_run_while_read_waits(simulator):
    with opened(simulator.port) as t:
        t.frequency = 50
        t.start()
        window = {}

        def reader():
            window["start"] = time.monotonic()
            window["samples"] = t.read(100, timeout=30)
            window["end"] = time.monotonic()

        thread = threading.Thread(target=reader)
        thread.start()
        ticks = []
        while thread.is_alive():
            ticks.append(time.monotonic())
            time.sleep(0.001)
        thread.join()
    assert len(window["samples"].timestamp) == 100
    # The read took about 2 s; a read holding the GIL would allow no tick.
    inside = [x for x in ticks if window["start"] < x < window["end"]]
    assert len(inside) >= 10


def test_ctrl_c_ends_a_waiting_read_and_keeps_what_it_gathered(simulator):
    with opened(simulator.port) as t:
        t.start()
        before = t.read(5, timeout=30)
        # Ctrl-C once the read has gathered some samples and waits for more.
        # A test runner started in the background inherits SIGINT ignored,
        # and an ignored signal is never raised in Python: handle it here.
        previous = signal.signal(signal.SIGINT, signal.default_int_handler)
        try:
            timer = threading.Timer(0.5, _thread.interrupt_main)
            timer.start()
            with pytest.raises(KeyboardInterrupt):
                t.read(10**6, timeout=120)  # bounded, so a missed Ctrl-C fails instead of hanging
            timer.join()
        finally:
            signal.signal(signal.SIGINT, previous)
        after = t.read(100, timeout=30)
        t.stop()
    stamps = np.concatenate([before.timestamp, after.timestamp]).astype(np.int64)
    np.testing.assert_array_equal(np.diff(stamps), 100)


def test_samples_iterator_ends_when_another_thread_stops_the_tracker(simulator):
    with opened(simulator.port) as t:
        t.frequency = 100
        t.start()
        stamps = []
        for s in t.samples():
            assert len(s.quat) == 4 and len(s.acc) == 3
            stamps.append(s.timestamp)
            if len(stamps) == 20:
                threading.Thread(target=t.stop).start()
        assert t.stream_state == "stopped"
    assert len(stamps) >= 20
    np.testing.assert_array_equal(np.diff(np.array(stamps, dtype=np.int64)), 100)


def test_unplug_ends_the_samples_iterator(simulators):
    (sim,) = simulators(["--fault-unplug-after", "60"])
    with opened(sim.port) as t:
        t.start()
        count = sum(1 for _ in t.samples())
        assert t.stream_state == "port_gone"
        assert 0 < count <= 60
        assert len(t.read(5, timeout=1).timestamp) == 0
        t.stop()  # releases the port without a device command
        assert t.stream_state == "stopped"
