#!/usr/bin/env python3
"""Records a tracker for 10 seconds into a numpy file, then plots yaw, pitch
and roll when matplotlib is installed.

    PYTHONPATH=build/python python3 examples/record.py [--port PATH]
        [--seconds S] [OUTPUT.npz]

The file holds the arrays of quorvane.Samples (timestamp, acc, gyr, mag,
quat, temperature) and euler (yaw, pitch, roll in radians); the plot goes to
OUTPUT.png beside it and to the screen.
"""

import argparse
import sys

import numpy as np
import quorvane


def record(port, seconds):
    with quorvane.Tracker(port) as tracker:
        if tracker.frequency == 0:
            sys.exit("the tracker is configured for 0 Hz: it sends nothing")
        count = int(seconds * tracker.frequency)
        tracker.start()
        # Fewer samples only if the tracker stops sending.
        return tracker.read(count, timeout=seconds + 5)


def plot(times, angles, path):
    try:
        import matplotlib.pyplot as plt
    except ImportError:
        print("matplotlib is not installed: no plot")
        return
    fig, ax = plt.subplots(figsize=(9, 4))
    for column, name in enumerate(("yaw", "pitch", "roll")):
        ax.plot(times, np.degrees(angles[:, column]), label=name)
    ax.set_xlabel("time (s)")
    ax.set_ylabel("angle (degrees)")
    ax.legend()
    fig.tight_layout()
    fig.savefig(path)
    print(f"plot saved to {path}")
    plt.show()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("output", nargs="?", default="recording.npz")
    parser.add_argument("--port", help="device path (default: the first tracker found)")
    parser.add_argument("--seconds", type=float, default=10.0)
    args = parser.parse_args()

    data = record(args.port, args.seconds)
    if len(data.timestamp) == 0:
        sys.exit("no samples arrived")
    angles = quorvane.euler(data.quat)
    np.savez(args.output, euler=angles, **data._asdict())
    print(f"{len(data.timestamp)} samples saved to {args.output}")

    # The device clock counts 100 us ticks and wraps at 2**32: differences
    # in uint32 stay right across the wrap.
    times = (data.timestamp - data.timestamp[0]).astype(np.float64) * 1e-4
    plot(times, angles, args.output.rsplit(".npz", 1)[0] + ".png")


if __name__ == "__main__":
    main()
