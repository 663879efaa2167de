# Sourced by ./run and tools/demo.sh. Long-running commands run in process
# groups of their own, so that a SIGINT or SIGTERM to the script ends them
# and all they started (compilers under cmake, tests under ctest, the
# simulator), and the script leaves nothing behind. A signal to the script
# makes it exit with 128 + the signal's number; stop_groups, called from the
# script's EXIT trap, then ends the groups and waits for them.

QV_GROUPS=()  # process group ids of the commands started and not yet reaped

# start_group CMD...: starts CMD in the background as the leader of a new
# session and process group; its id is left in $started.
start_group() {
    setsid "$@" &
    started=$!
    QV_GROUPS+=("$started")
}

# run_group CMD...: runs CMD in a group of its own and waits for it; returns
# its status. A signal to the script interrupts the wait at once.
run_group() {
    start_group "$@"
    local pid=$started status=0
    wait "$pid" || status=$?
    forget_group "$pid"
    return "$status"
}

forget_group() {
    local kept=() g
    for g in "${QV_GROUPS[@]}"; do [ "$g" = "$1" ] || kept+=("$g"); done
    QV_GROUPS=("${kept[@]}")
}

# True while any process of the group, or its leader before it made the
# group, is alive.
group_alive() {
    kill -0 -- "-$1" 2>/dev/null || kill -0 "$1" 2>/dev/null
}

# Ends every group: SIGTERM, then SIGKILL for what is still there after 10 s.
stop_groups() {
    local g tries
    [ ${#QV_GROUPS[@]} -eq 0 ] && return 0
    for g in "${QV_GROUPS[@]}"; do
        kill -TERM -- "-$g" 2>/dev/null || kill -TERM "$g" 2>/dev/null || true
    done
    for g in "${QV_GROUPS[@]}"; do
        for ((tries = 0; tries < 100; ++tries)); do
            group_alive "$g" || break
            sleep 0.1
        done
        if group_alive "$g"; then
            kill -KILL -- "-$g" 2>/dev/null || kill -KILL "$g" 2>/dev/null || true
        fi
        wait "$g" 2>/dev/null || true
    done
    QV_GROUPS=()
}

trap 'exit 130' INT
trap 'exit 143' TERM
