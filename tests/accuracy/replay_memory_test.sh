#!/usr/bin/env bash
# orientation_replay reads a recording of any size in bounded memory: about
# 200 MB of rows through a pipe, under an address-space limit of 150 MB that
# could not hold them, come out whole, one output row per input row.
# usage: replay_memory_test.sh ORIENTATION_REPLAY
set -euo pipefail
replay=$1
rows=220000
limit_kb=150000
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

pad=$(head -c 900 /dev/zero | tr '\0' x)
row="0.01,0.1,0,9.81,0.1,0,0,20,0,-40,$pad"
input_bytes=$(( rows * (${#row} + 1) ))
[ "$input_bytes" -gt $(( limit_kb * 1024 )) ] || { echo "input smaller than the limit" >&2; exit 1; }

status=0
{
    echo "t_s,acc_x,acc_y,acc_z,gyr_x,gyr_y,gyr_z,mag_x,mag_y,mag_z,pad"
    yes "$row" | head -n "$rows" || true
} | (ulimit -v "$limit_kb" && exec "$replay" -) >"$scratch/out" 2>"$scratch/err" || status=$?

if [ "$status" -ne 0 ]; then
    echo "orientation_replay failed with status $status:" >&2
    head -c 2000 "$scratch/err" >&2
    exit 1
fi
lines=$(wc -l <"$scratch/out")
if [ "$lines" -ne $(( rows + 1 )) ]; then
    echo "expected $(( rows + 1 )) output lines, got $lines" >&2
    exit 1
fi
echo "$rows rows ($input_bytes bytes) replayed under a $limit_kb KiB address-space limit"
