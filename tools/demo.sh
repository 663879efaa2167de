#!/usr/bin/env bash
# Runs the console demo for SECONDS (default 10; 0 runs until Ctrl-C).
#   tools/demo.sh [SECONDS]            against a simulated tracker
#   tools/demo.sh --device [SECONDS]   against the attached tracker(s)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BIN=$ROOT/build/bin

device=0
if [ "${1:-}" = --device ]; then
    device=1
    shift
fi
seconds=${1:-10}
case "$seconds" in
'' | *[!0-9]*)
    echo "usage: ./run demo [--device] [SECONDS]" >&2
    exit 2
    ;;
esac

# Runs the demo for the chosen time; Ctrl-C ends it early either way.
run_demo() {
    if [ "$seconds" -eq 0 ]; then
        "$BIN/tracker_demo" || true
    else
        timeout --foreground -s INT "$seconds" "$BIN/tracker_demo" || true
    fi
}

if [ "$device" -eq 1 ]; then
    run_demo
    exit 0
fi

scratch=$(mktemp -d)
sim=""
cleanup() {
    if [ -n "$sim" ]; then
        kill -TERM "$sim" 2>/dev/null || true
        wait "$sim" 2>/dev/null || true
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Hide attached hardware from discovery, so the demo shows the simulator.
mkdir -p "$scratch/sysfs/class/tty"
export QUORVANE_SYSFS_ROOT=$scratch/sysfs

echo "Starting a simulated tracker (use --device for an attached one)." >&2
"$BIN/tracker_sim" --truth "$scratch/truth.csv" >"$scratch/sim.out" &
sim=$!
for _ in $(seq 100); do
    [ -s "$scratch/sim.out" ] && break
    sleep 0.05
done
port=$(head -n 1 "$scratch/sim.out")
[ -n "$port" ] || { echo "The simulator did not start." >&2; exit 1; }
export QUORVANE_EXTRA_PORTS=$port
run_demo
