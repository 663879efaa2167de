#!/usr/bin/env bash
# Runs the mouse emulator until its window is closed (or Ctrl-C, SIGTERM).
#   tools/mouse.sh            against a simulated tracker that sweeps yaw and
#                             pitch, so the pointer crosses the screen
#   tools/mouse.sh --device   against the attached tracker(s)
# The programs come from build/bin, or from QUORVANE_BIN when it is set.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BIN=${QUORVANE_BIN:-$ROOT/build/bin}
# shellcheck source=tools/process_groups.sh
source "$ROOT/tools/process_groups.sh"

device=0
for arg in "$@"; do
    case "$arg" in
    --device) device=1 ;;
    *)
        echo "usage: ./run mouse [--device]" >&2
        exit 2
        ;;
    esac
done

scratch=""
trap 'stop_groups; [ -z "$scratch" ] || rm -rf "$scratch"' EXIT

if [ "$device" -eq 1 ]; then
    run_group "$BIN/mouse_emulator" || true
    exit 0
fi

scratch=$(mktemp -d)
# Hide attached hardware from discovery, so the emulator finds the simulator.
mkdir -p "$scratch/sysfs/class/tty"
export QUORVANE_SYSFS_ROOT=$scratch/sysfs

echo "Starting a simulated tracker that sweeps yaw and pitch (use --device for an attached one)." >&2
# The simulator's first line is its device path, read through a FIFO as in
# tools/demo.sh. No board distortion: the heading is the script's.
mkfifo "$scratch/sim.out"
exec 4<>"$scratch/sim.out"
start_group "$BIN/tracker_sim" --script "$ROOT/tools/mouse_sweep.motion" --orientation 0,0,0,1 \
    --hard-iron 0,0,0 --soft-iron 1,0,0,0,1,0,0,0,1 >"$scratch/sim.out"
exec 3<"$scratch/sim.out" 4>&-
port=""
read -r port <&3 || true
[ -n "$port" ] || { echo "The simulator did not start." >&2; exit 1; }
export QUORVANE_EXTRA_PORTS=$port
echo "Press Start sensor (or S) in the emulator's window; Escape or Quit ends it." >&2
run_group "$BIN/mouse_emulator" 3<&- || true
