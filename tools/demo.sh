#!/usr/bin/env bash
# Runs the console demo for SECONDS (default 10; 0 runs until Ctrl-C or SIGTERM).
#   tools/demo.sh [SECONDS]            against a simulated tracker
#   tools/demo.sh --device [SECONDS]   against the attached tracker(s)
# Options and SECONDS may come in any order. The programs come from
# build/bin, or from QUORVANE_BIN when it is set. SIGINT and SIGTERM end the
# demo and the simulator, and nothing is left running.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BIN=${QUORVANE_BIN:-$ROOT/build/bin}
# shellcheck source=tools/demo_args.sh
source "$ROOT/tools/demo_args.sh"
# shellcheck source=tools/process_groups.sh
source "$ROOT/tools/process_groups.sh"
parse_demo_args "$@"

scratch=""
trap 'stop_groups; [ -z "$scratch" ] || rm -rf "$scratch"' EXIT

# Runs the demo for the chosen time; Ctrl-C or SIGTERM ends it early either way.
run_demo() {
    if [ "$seconds" -eq 0 ]; then
        run_group "$BIN/tracker_demo" 3<&- || true
    else
        run_group timeout -s INT "$seconds" "$BIN/tracker_demo" 3<&- || true
    fi
}

if [ "$device" -eq 1 ]; then
    run_demo
    exit 0
fi

scratch=$(mktemp -d)
# Hide attached hardware from discovery, so the demo shows the simulator.
mkdir -p "$scratch/sysfs/class/tty"
export QUORVANE_SYSFS_ROOT=$scratch/sysfs

echo "Starting a simulated tracker (use --device for an attached one)." >&2
# The simulator's first line is its device path; reading it through a FIFO
# waits exactly until it is printed, or until the simulator ends without it.
# Opened for reading and writing first, the FIFO blocks neither side's open;
# the read end proper comes after, so the simulator's end is seen as EOF.
mkfifo "$scratch/sim.out"
exec 4<>"$scratch/sim.out"
start_group "$BIN/tracker_sim" --truth "$scratch/truth.csv" >"$scratch/sim.out"
exec 3<"$scratch/sim.out" 4>&-
port=""
read -r port <&3 || true
[ -n "$port" ] || { echo "The simulator did not start." >&2; exit 1; }
export QUORVANE_EXTRA_PORTS=$port
run_demo
