# shellcheck shell=bash
# Sourced by ./run after tools/process_groups.sh. ensure_display gives the
# commands that follow an X display: the one in DISPLAY, or else a virtual
# one (Xvfb) that runs in a process group of its own until the script ends
# (stop_groups ends it with the rest).

ensure_display() {
    [ -n "${DISPLAY:-}" ] && return 0
    command -v Xvfb >/dev/null || { echo "Xvfb is missing (package xvfb)" >&2; return 1; }
    local fifo number=""
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    # Xvfb picks a free display number and writes it to the descriptor once
    # it accepts clients. Opened for reading and writing first, the FIFO
    # blocks neither side's open; the read end proper comes after, so an Xvfb
    # that fails to start is seen as end of file. -noreset keeps the server's
    # state (pointer position included) when its last client disconnects.
    exec 4<>"$fifo"
    start_group Xvfb -displayfd 4 -noreset -nolisten tcp -screen 0 1920x1080x24 \
        >/dev/null 2>&1
    exec 3<"$fifo" 4>&-
    read -r number <&3 || true
    exec 3<&-
    rm -f "$fifo"
    [ -n "$number" ] || { echo "Xvfb did not start." >&2; return 1; }
    export DISPLAY=":$number"
    echo "== No display: the GUI tests use Xvfb on $DISPLAY =="
}
