"""Fixtures: the built module and simulated trackers on pseudo-terminals.

The module comes from QUORVANE_PYTHON_DIR (default build/python), the
programs from QUORVANE_BIN (default build/bin).
"""

import contextlib
import csv
import os
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest

ROOT = Path(__file__).resolve().parents[2]
BIN = Path(os.environ.get("QUORVANE_BIN", ROOT / "build" / "bin"))
sys.path.insert(0, os.environ.get("QUORVANE_PYTHON_DIR", str(ROOT / "build" / "python")))

import quorvane  # noqa: E402  (found through the path above)


class Simulator:
    """A tracker_sim process; port is its device path."""

    def __init__(self, args, truth_path):
        self.truth_path = truth_path
        self.process = subprocess.Popen(
            [str(BIN / "tracker_sim"), "--truth", str(truth_path), *args],
            stdout=subprocess.PIPE,
            text=True,
        )
        # The first line is the device path; EOF when the simulator failed.
        self.port = self.process.stdout.readline().strip()
        if not self.port:
            self.process.wait()
            raise RuntimeError(f"tracker_sim {' '.join(args)} did not start")

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
        self.process.wait()
        self.process.stdout.close()

    def truth(self):
        """Ends the simulator; the true Q_SW of every packet sent, by timestamp."""
        self.stop()
        with open(self.truth_path, newline="") as f:
            return {
                int(row["timestamp"]): np.array(
                    [float(row[k]) for k in ("qw", "qx", "qy", "qz")]
                )
                for row in csv.DictReader(f)
            }


@pytest.fixture
def simulators(tmp_path, monkeypatch):
    """Starts simulators by their option lists; discovery sees exactly them."""
    started = []
    # Attached hardware stays out of discovery.
    (tmp_path / "sysfs" / "class" / "tty").mkdir(parents=True)
    monkeypatch.setenv("QUORVANE_SYSFS_ROOT", str(tmp_path / "sysfs"))

    def start(*option_lists):
        for args in option_lists:
            started.append(Simulator(list(args), tmp_path / f"truth{len(started)}.csv"))
        monkeypatch.setenv("QUORVANE_EXTRA_PORTS", ",".join(s.port for s in started))
        return started[-len(option_lists):]

    yield start
    for s in started:
        s.stop()


@pytest.fixture
def simulator(simulators):
    """One simulated tracker, still in a tilted pose, in a field without the
    iron distortions a magnetometer calibration would remove: the host's
    heading can be held against the truth."""
    return simulators(
        [
            "--motion", "still",
            "--orientation", "0.8,0.3,-0.4,0.33",
            "--soft-iron", "1,0,0,0,1,0,0,0,1",
            "--hard-iron", "0,0,0",
        ]
    )[0]


def angle_degrees(q, r):
    """Angle between two orientations given as quaternions (either sign)."""
    q = np.asarray(q, dtype=float) / np.linalg.norm(q)
    r = np.asarray(r, dtype=float) / np.linalg.norm(r)
    return np.degrees(2 * np.arccos(min(1.0, abs(float(np.dot(q, r))))))


@contextlib.contextmanager
def opened(port, **options):
    """An open Tracker, closed at the end. The identification reply has a
    short window that a heavily loaded machine can miss, so tests whose
    subject is not the opening allow a few tries."""
    tracker = quorvane.Tracker(port, **options)
    for attempt in range(3):
        try:
            tracker.open()
            break
        except quorvane.TrackerError:
            if attempt == 2:
                raise
    try:
        yield tracker
    finally:
        tracker.close()
