"""OrientationFilter against orientation_replay on a BROAD trial, and euler()."""

import os
import subprocess

import numpy as np
import pytest
from conftest import BIN, ROOT, quorvane

TRIAL = ROOT.parent / "shared" / "data" / "broad" / "07_undisturbed_fast_rotation_B.csv"


@pytest.fixture(scope="module")
def trial():
    if not TRIAL.is_file():
        if os.environ.get("CI") == "true":
            pytest.fail(f"BROAD trial {TRIAL} not found: CI must compare the filters")
        pytest.skip(f"BROAD trial {TRIAL} not found; the filter is not compared")
    data = np.loadtxt(TRIAL, delimiter=",", skiprows=1, usecols=range(10))
    return data[:, 0], data[:, 1:4], data[:, 4:7], data[:, 7:10]


def replayed(profile):
    """orientation_replay's quaternions for the trial, as float32."""
    out = subprocess.run(
        [str(BIN / "orientation_replay"), "--profile", profile, str(TRIAL)],
        check=True,
        capture_output=True,
        text=True,
    ).stdout
    return np.loadtxt(out.splitlines(), delimiter=",", skiprows=1, usecols=range(1, 5)).astype(
        np.float32
    )


@pytest.mark.parametrize("profile, replay_profile", [("standard", "default"), ("robust", "robust")])
def test_run_matches_orientation_replay_sample_for_sample(trial, profile, replay_profile):
    t, acc, gyr, mag = trial
    f = quorvane.OrientationFilter(profile)
    whole = f.run(t, acc, gyr, mag)
    expected = replayed(replay_profile)
    assert whole.shape == expected.shape == (len(t), 4)
    mismatch = np.flatnonzero(np.any(whole != expected, axis=1))
    assert mismatch.size == 0, f"first mismatch at sample {mismatch[:1]}"

    # The filter keeps its state between runs: two halves give the same.
    f.reset()
    half = len(t) // 2
    first = f.run(t[:half], acc[:half], gyr[:half], mag[:half])
    second = f.run(t[half:], acc[half:], gyr[half:], mag[half:])
    np.testing.assert_array_equal(np.vstack([first, second]), whole)


def test_run_refuses_bad_input_before_filtering(trial):
    t, acc, gyr, mag = trial
    f = quorvane.OrientationFilter()
    reference = f.run(t[:200], acc[:200], gyr[:200], mag[:200])
    f.reset()
    bad_time = t[:200].copy()
    bad_time[150] = -1
    cases = [
        ((bad_time, acc[:200], gyr[:200], mag[:200]), r"t\[150\]: the time must be finite"),
        ((t[:200], acc[:199], gyr[:200], mag[:200]), r"acc must have shape \(200, 3\)"),
        ((t[:200], acc[:200], gyr[:200, :2], mag[:200]), r"gyr must have shape \(200, 3\)"),
        ((t[:200, None], acc[:200], gyr[:200], mag[:200]), "t must be a 1-D array"),
    ]
    for args, message in cases:
        with pytest.raises(ValueError, match=message):
            f.run(*args)
    # Nothing of the refused calls reached the filter.
    np.testing.assert_array_equal(f.run(t[:200], acc[:200], gyr[:200], mag[:200]), reference)


def test_euler_puts_each_single_axis_turn_into_its_own_angle():
    def turn(degrees, axis):
        half = np.radians(degrees) / 2
        return [np.cos(half), *(np.sin(half) * np.array(axis))]

    q = np.array([[1, 0, 0, 0], turn(30, [0, 0, 1]), turn(20, [0, 1, 0]), turn(10, [1, 0, 0])])
    angles = np.degrees(quorvane.euler(q))
    assert angles.shape == (4, 3) and angles.dtype == np.float32
    # Yaw, pitch, roll; whichever sense the convention gives each turn.
    magnitude = np.minimum(np.abs(angles), 360 - np.abs(angles))
    expected = [[0, 0, 0], [30, 0, 0], [0, 20, 0], [0, 0, 10]]
    np.testing.assert_allclose(magnitude, expected, atol=1e-3)

    # Vectorised over any leading shape, row by row.
    grid = np.stack([q, q[::-1]])
    np.testing.assert_array_equal(
        quorvane.euler(grid), np.stack([quorvane.euler(q), quorvane.euler(q[::-1])])
    )
    np.testing.assert_array_equal(quorvane.euler(q[1]), quorvane.euler(q)[1])
