#!/usr/bin/env python3
"""Measures the samples per second that Tracker.read sustains against a
simulated tracker, and what read costs per sample.

    python3 python/bench/read_rate.py [SECONDS]

Uses build/bin/tracker_sim and build/python (or QUORVANE_BIN and
QUORVANE_PYTHON_DIR). For each stream it prints the samples received per
second of wall time, the samples lost (gaps in the timestamps) and the
process's CPU time per sample; then the rate at which read hands over
samples that are already waiting, which bounds what any line could feed it.
"""

import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
BIN = Path(os.environ.get("QUORVANE_BIN", ROOT / "build" / "bin"))
sys.path.insert(0, os.environ.get("QUORVANE_PYTHON_DIR", str(ROOT / "build" / "python")))

import numpy as np  # noqa: E402
import quorvane  # noqa: E402


def simulator(scratch):
    sysfs = Path(scratch) / "sysfs" / "class" / "tty"
    sysfs.mkdir(parents=True, exist_ok=True)
    os.environ["QUORVANE_SYSFS_ROOT"] = str(sysfs.parents[1])
    process = subprocess.Popen([str(BIN / "tracker_sim")], stdout=subprocess.PIPE, text=True)
    port = process.stdout.readline().strip()
    if not port:
        sys.exit("tracker_sim did not start")
    return process, port


def opened(port, ring):
    tracker = quorvane.Tracker(port, ring=ring)
    for attempt in range(3):
        try:
            tracker.open()
            return tracker
        except quorvane.TrackerError:
            if attempt == 2:
                raise
    return tracker


def lost(stamps, frequency):
    # Samples lie on the grid floor(k * 10000 / frequency) of 100 us ticks.
    steps = np.diff(stamps.astype(np.int64))
    return int(np.sum(np.rint(steps * frequency / 10000.0) - 1))


def streaming(port, frequency, raw, seconds):
    tracker = opened(port, ring=256)
    tracker.raw = raw
    tracker.frequency = frequency
    tracker.start()
    tracker.read(frequency // 2, timeout=10)  # the stream is under way
    cpu0, wall0 = time.process_time(), time.monotonic()
    chunks = []
    while time.monotonic() - wall0 < seconds:
        chunks.append(tracker.read(frequency // 10, timeout=10).timestamp)
    cpu, wall = time.process_time() - cpu0, time.monotonic() - wall0
    tracker.stop()
    tracker.close()
    stamps = np.concatenate(chunks)
    mode = "RAW" if raw else "float"
    print(
        f"{frequency:4d} Hz {mode:5s}: {len(stamps) / wall:7.1f} samples/s received, "
        f"{lost(stamps, frequency)} lost, {1e6 * cpu / len(stamps):6.1f} us CPU per sample "
        "(the whole process: acquisition thread and host filter included)"
    )


def waiting(port, frequency, seconds):
    tracker = opened(port, ring=65535)
    tracker.raw = True
    tracker.frequency = frequency
    tracker.start()
    tracker.read(1, timeout=10)
    time.sleep(seconds)  # samples pile up in the ring
    t0 = time.perf_counter()
    got = tracker.read(int(frequency * seconds * 0.9), timeout=10)
    elapsed = time.perf_counter() - t0
    tracker.stop()
    tracker.close()
    print(
        f"waiting samples: {len(got.timestamp)} in {1e3 * elapsed:.1f} ms, "
        f"{len(got.timestamp) / elapsed:,.0f} samples/s"
    )


def main():
    seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 10
    with tempfile.TemporaryDirectory() as scratch:
        process, port = simulator(scratch)
        try:
            # 100 Hz is the default; 200 Hz float and 400 Hz RAW packets are
            # close to what 115200 baud carries.
            for frequency, raw in ((100, False), (200, False), (400, True)):
                streaming(port, frequency, raw, seconds)
            waiting(port, 400, seconds)
        finally:
            process.terminate()
            process.wait()


if __name__ == "__main__":
    main()
