#!/usr/bin/env bash
# Runs the Windows build under Wine against a simulated tracker: the port and
# DLL tests (windows_io_test.exe), then tracker_demo.exe end to end.
#
#   tests/windows/run_wine_tests.sh [WINDOWS_BIN [TRACKER_SIM]]
#
# WINDOWS_BIN: folder of the cross-built programs and Quorvane.dll (default
# build-windows/bin); TRACKER_SIM: the Linux simulator (default
# build/bin/tracker_sim). Everything runs in a fresh Wine prefix in a
# temporary folder, which is removed at the end, as are the simulator and the
# prefix's wineserver. Exits nonzero when a check fails.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BIN=${1:-$ROOT/build-windows/bin}
SIM=${2:-$ROOT/build/bin/tracker_sim}
# The simulated tracker's COM port inside the prefix.
COM=COM7
DEMO_SECONDS=${QUORVANE_WINE_DEMO_SECONDS:-7}

for f in "$BIN/windows_io_test.exe" "$BIN/tracker_demo.exe" "$BIN/Quorvane.dll" "$SIM"; do
    [ -e "$f" ] || { echo "missing: $f" >&2; exit 2; }
done
for tool in wine wineboot wineserver timeout; do
    command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done

start=$SECONDS
scratch=$(mktemp -d)
sim=""
export WINEPREFIX=$scratch/prefix
export WINEARCH=win64
# No debug output; no prompts to install Mono or Gecko.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

cleanup() {
    if [ -n "$sim" ]; then
        kill -TERM "$sim" 2>/dev/null || true
        wait "$sim" 2>/dev/null || true
    fi
    wineserver -k 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

step() {
    echo "== $* ($((SECONDS - start)) s) =="
}

step "Wine prefix"
# One persistent wineserver serves every program of this run (cleanup ends
# it), so no program pays for starting one.
mkdir -p "$WINEPREFIX"
wineserver -p >"$scratch/wineserver.log" 2>&1
wineboot --init >"$scratch/wineboot.log" 2>&1 || {
    cat "$scratch/wineboot.log" >&2
    exit 1
}
prefix_done=$SECONDS

step "simulated tracker on $COM"
# Still, without magnetic distortion: the demo's orientation can be checked
# against the pose.
pose=0.8,0.2,-0.3,0.45
"$SIM" --motion still --orientation "$pose" --hard-iron 0,0,0 \
    --soft-iron 1,0,0,0,1,0,0,0,1 >"$scratch/sim.out" 2>"$scratch/sim.err" &
sim=$!
for _ in $(seq 100); do
    [ -s "$scratch/sim.out" ] && break
    sleep 0.05
done
pty=$(head -n 1 "$scratch/sim.out")
[ -n "$pty" ] || { echo "the simulator did not start: $(cat "$scratch/sim.err")" >&2; exit 1; }
# Wine maps COMn to the Unix device this link points at.
ln -s "$pty" "$WINEPREFIX/dosdevices/${COM,,}"
echo "$COM -> $pty"

step "windows_io_test.exe"
# The tests write and remove their own registry entries.
set +e
timeout -k 5 180 wine "$BIN/windows_io_test.exe" "--sim-port=$COM" >"$scratch/test.out" 2>&1
test_status=$?
set -e
cat "$scratch/test.out"
summary=$(tail -n 1 "$scratch/test.out" | tr -d '\r')
if [[ $summary =~ ^([0-9]+)\ passed,\ ([0-9]+)\ failed$ ]]; then
    [ "${BASH_REMATCH[1]}" -gt 0 ] || fail "windows_io_test.exe ran no test"
    [ "${BASH_REMATCH[2]}" -eq 0 ] || fail "windows_io_test.exe: ${BASH_REMATCH[2]} failed"
else
    fail "windows_io_test.exe ended without its summary line (status $test_status)"
fi
[ "$test_status" -eq 0 ] || fail "windows_io_test.exe exited with $test_status"
tests_done=$SECONDS

# Runs tracker_demo.exe for at most SECONDS, then ends it as a user would.
# Sets demo_status (124 when it had to be ended) and fills demo.out/demo.err.
run_demo() {
    set +e
    timeout -k 3 -s TERM "$1" wine "$BIN/tracker_demo.exe" >"$scratch/demo.out" 2>"$scratch/demo.err"
    demo_status=$?
    set -e
    tr -d '\r' <"$scratch/demo.out" >"$scratch/demo.txt"
    tr -d '\r' <"$scratch/demo.err" >"$scratch/demo.errtxt"
}

step "tracker_demo.exe without the tracker registry key"
run_demo 30
[ "$demo_status" -eq 2 ] || fail "demo without the key: exit status $demo_status, expected 2"
[ ! -s "$scratch/demo.txt" ] || fail "demo without the key printed: $(cat "$scratch/demo.txt")"
grep -q "Can't open root key for enumerating devices!" "$scratch/demo.errtxt" ||
    fail "demo without the key: stderr was '$(cat "$scratch/demo.errtxt")'"

key='HKLM\SYSTEM\CurrentControlSet\Enum\USB\VID_FFFF&PID_0005'
wine reg add "$key" /f >/dev/null 2>&1

step "tracker_demo.exe with no tracker recorded"
run_demo 30
[ "$demo_status" -eq 0 ] || fail "demo without trackers: exit status $demo_status, expected 0"
[ "$(cat "$scratch/demo.txt")" = "Number of Fenlarks found: 0" ] &&
    [ "$(wc -l <"$scratch/demo.txt")" -eq 3 ] ||
    fail "demo without trackers printed: $(cat -A "$scratch/demo.txt")"
[ "$(cat "$scratch/demo.errtxt")" = "No Fenlark sensors found" ] ||
    fail "demo without trackers: stderr was '$(cat "$scratch/demo.errtxt")'"

wine reg add "$key\\QV00001\\Device Parameters" /v PortName /t REG_SZ /d "$COM" /f >/dev/null 2>&1

step "tracker_demo.exe with the simulated tracker, ${DEMO_SECONDS} s"
run_demo "$DEMO_SECONDS"
[ "$demo_status" -eq 124 ] || fail "demo ended by itself with status $demo_status"
[ ! -s "$scratch/demo.errtxt" ] || fail "demo stderr: $(cat "$scratch/demo.errtxt")"
expected=$(printf '%s\n' \
    "Number of Fenlarks found: 1" \
    "\\\\.\\$COM:	 QV00001 (FW 1.4)" \
    "" \
    "" \
    "Fenlark IMU" \
    "Device ID:        QV00001" \
    "Sensor config:    1023" \
    "Magnetic div:     3" \
    "Frequency:        100" \
    "ASCII output:     0" \
    "autoStart:        1" \
    "RAW mode:         0" \
    "Jitter reduction: 1" \
    "" \
    "")
head=$(head -n 15 "$scratch/demo.txt")
if [ "$head" != "$expected" ]; then
    fail "demo listing and configuration differ"
    diff <(echo "$expected") <(echo "$head") >&2 || true
fi

# Every line after the configuration block is one sample in the demo's
# format; the last one may have been cut by the end of the program.
n='-?[0-9]+\.[0-9]{2}'
f=" *$n"
e=" *-?[0-9]+\.[0-9]{4}"
tab=$'\t'
sample_re="^Time: $f${tab}Temp: $f${tab}Acc: $f, $f, $f${tab}Gyr: $f, $f, $f${tab}Mag: $f, $f, $f${tab}Quat: $f, $f, $f, $f${tab}Euler: $e, $e, $e$"
tail -n +16 "$scratch/demo.txt" | sed '$d' >"$scratch/samples.txt"
bad=0
while IFS= read -r line; do
    [[ $line =~ $sample_re ]] || {
        bad=$((bad + 1))
        [ "$bad" -gt 3 ] || echo "not a sample line: $(printf '%q' "$line")" >&2
    }
done <"$scratch/samples.txt"
[ "$bad" -eq 0 ] || fail "$bad lines of the demo's sample output have the wrong format"

# Times strictly increase at about 100 samples per second of device time,
# quaternions are unit length, and the last one is the simulator's pose
# (up to the sign).
if ! awk -F'\t' -v pose="$pose" '
    function num(field) { sub(/^[A-Za-z]+: */, "", field); return field + 0 }
    BEGIN {
        split(pose, p, ",")
        pn = sqrt(p[1] ^ 2 + p[2] ^ 2 + p[3] ^ 2 + p[4] ^ 2)
        for (i = 1; i <= 4; i++) p[i] /= pn
    }
    {
        t = num($1)
        if (NR > 1 && t <= last) { printf "time %s after %s\n", t, last; bad = 1 }
        if (NR == 1) first = t
        last = t
        split($6, q, /[:,] */)
        norm = sqrt(q[2] ^ 2 + q[3] ^ 2 + q[4] ^ 2 + q[5] ^ 2)
        if (norm < 0.98 || norm > 1.02) { printf "quaternion norm %s at %s\n", norm, t; bad = 1 }
        dot = q[2] * p[1] + q[3] * p[2] + q[4] * p[3] + q[5] * p[4]
    }
    END {
        if (NR < 150) { printf "only %d samples\n", NR; exit 1 }
        rate = (NR - 1) / (last - first)
        printf "%d samples, %.1f per second of device time, last quaternion against the pose: %.4f\n", NR, rate, dot
        if (rate < 90 || rate > 110) { print "rate is not about 100 per second"; bad = 1 }
        if (dot < 0 ? -dot < 0.99 : dot < 0.99) { print "orientation differs from the pose"; bad = 1 }
        exit bad
    }' "$scratch/samples.txt"; then
    fail "demo samples"
fi
demo_done=$SECONDS

echo "Windows tests under Wine: prefix $((prefix_done - start)) s, tests $((tests_done - prefix_done)) s," \
    "demo $((demo_done - tests_done)) s, total $((SECONDS - start)) s"
if [ "$failures" -ne 0 ]; then
    echo "Windows tests under Wine: $failures check(s) failed" >&2
    exit 1
fi
echo "Windows tests under Wine: all passed"
