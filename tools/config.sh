#!/usr/bin/env bash
# Runs the configuration tool until its window is closed (or Ctrl-C, SIGTERM).
#   tools/config.sh            against two simulated trackers moving randomly
#   tools/config.sh --device   against the attached tracker(s)
#   tools/config.sh --screenshot FILE
#                              saves a picture of the window streaming from
#                              the first simulated tracker (tools/screenshot.sh)
# The programs come from build/bin, or from QUORVANE_BIN when it is set.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BIN=${QUORVANE_BIN:-$ROOT/build/bin}
# shellcheck source=tools/process_groups.sh
source "$ROOT/tools/process_groups.sh"

device=0
program=(tracker_config)
while [ $# -gt 0 ]; do
    case "$1" in
    --device) device=1 ;;
    --screenshot)
        [ $# -ge 2 ] || { echo "usage: tools/config.sh --screenshot FILE" >&2; exit 2; }
        program=(tracker_config_screenshot "$(realpath -m "$2")")
        shift
        ;;
    *)
        echo "usage: ./run config [--device]" >&2
        exit 2
        ;;
    esac
    shift
done

scratch=""
trap 'stop_groups; [ -z "$scratch" ] || rm -rf "$scratch"' EXIT

# FAQ.txt lies beside the programs; the tool looks for it from its working directory.
cd "$BIN"
if [ "$device" -eq 1 ]; then
    run_group "$BIN/${program[0]}" "${program[@]:1}" || true
    exit 0
fi

scratch=$(mktemp -d)
# Hide attached hardware from discovery, so the tool finds the simulators.
mkdir -p "$scratch/sysfs/class/tty"
export QUORVANE_SYSFS_ROOT=$scratch/sysfs

# Starts a simulator with the given id whose saved settings live in the
# scratch directory; sets port to its device path (its first line of
# output, read through a FIFO as in tools/demo.sh).
port=""
start_sim() {
    local id=$1 seed=$2 fifo="$scratch/$1.out" reader
    port=""
    mkfifo "$fifo"
    exec 4<>"$fifo"
    start_group "$BIN/tracker_sim" --id "$id" --seed "$seed" --state "$scratch/$id.state" >"$fifo"
    # The read end stays open while the simulator runs: it may write more.
    exec {reader}<"$fifo" 4>&-
    read -r port <&"$reader" || true
    [ -n "$port" ] || { echo "The simulator $id did not start." >&2; exit 1; }
}

echo "Starting two simulated trackers (use --device for attached ones)." >&2
start_sim QV00001 1
first=$port
start_sim QV00002 2
export QUORVANE_EXTRA_PORTS=$first,$port
echo "Select a tracker and press Start; Device > Quit ends it." >&2
status=0
run_group "$BIN/${program[0]}" "${program[@]:1}" || status=$?
# The window's own end is no failure; the screenshot's result is.
[ "${program[0]}" = tracker_config ] || exit "$status"
