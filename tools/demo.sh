#!/usr/bin/env bash
# Runs the console demo. Without an attached tracker it starts a simulated
# one on a pseudo-terminal and points the library at it.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BIN=$ROOT/build/bin

has_tracker() {
    local tty
    for tty in /sys/class/tty/*; do
        local dir
        dir=$(readlink -f "$tty") || continue
        while [ "$dir" != / ] && [ "$dir" != /sys ]; do
            if [ -f "$dir/idVendor" ]; then
                [ "$(cat "$dir/idVendor")" = ffff ] && [ "$(cat "$dir/idProduct")" = 0005 ] && return 0
                break
            fi
            dir=$(dirname "$dir")
        done
    done
    return 1
}

if has_tracker; then
    exec "$BIN/tracker_demo"
fi

echo "No tracker attached: starting a simulated one." >&2
coproc SIM { exec "$BIN/tracker_sim" "$@"; }
sim=$SIM_PID
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null || true' EXIT
# The simulator prints its device path as its first line.
read -r port <&"${SIM[0]}"
export QUORVANE_EXTRA_PORTS=$port${QUORVANE_EXTRA_PORTS:+,$QUORVANE_EXTRA_PORTS}
"$BIN/tracker_demo"
