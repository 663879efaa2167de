#!/usr/bin/env bash
# tools/demo.sh (what `./run demo` runs) ends on SIGTERM and on SIGINT while
# the demo streams from the simulator, with the status of the signal, and
# leaves no process behind: every process it started carries a marker in
# its environment, and none of them may be left once the script has ended.
# usage: demo_script_test.sh REPOSITORY BIN_DIR
set -euo pipefail
root=$1
bin=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mark="QV_DEMO_SCRIPT_TEST_$$_$RANDOM"

marked() {
    grep -l "$mark" /proc/[0-9]*/environ 2>/dev/null || true
}

# Background jobs of a script without job control ignore SIGINT, and a
# signal ignored at the start cannot be trapped; with it they do not.
set -m
for sig in TERM INT; do
    out=$scratch/$sig.out
    env "$mark=1" QUORVANE_BIN="$bin" "$root/tools/demo.sh" 0 >"$out" 2>&1 &
    pid=$!
    # Waits for the first sample, however long a loaded machine takes.
    until grep -q '^Time:' "$out"; do
        if ! kill -0 "$pid" 2>/dev/null; then
            echo "FAIL: the demo ended before its first sample:" >&2
            cat "$out" >&2
            exit 1
        fi
        sleep 0.1
    done
    kill -s "$sig" "$pid"
    # A script that ignores the signal would keep the test waiting forever:
    # after a generous minute it has failed, and its processes are ended.
    for ((tenths = 0; tenths < 600; ++tenths)); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        echo "FAIL: SIG$sig: the script still runs a minute later" >&2
        for f in $(marked); do
            p=${f#/proc/}
            kill -KILL "${p%/environ}" 2>/dev/null || true
        done
        exit 1
    fi
    status=0
    wait "$pid" || status=$?
    expected=$((128 + $(kill -l "$sig")))
    if [ "$status" -ne "$expected" ]; then
        echo "FAIL: SIG$sig: exit status $status, expected $expected" >&2
        exit 1
    fi
    left=$(marked)
    if [ -n "$left" ]; then
        echo "FAIL: SIG$sig left processes running:" >&2
        for f in $left; do
            p=${f#/proc/}
            ps -o pid=,args= -p "${p%/environ}" >&2 || true
        done
        exit 1
    fi
    echo "SIG$sig: the demo, the simulator and the script ended (status $status)"
done
