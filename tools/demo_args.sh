# Sourced by ./run and tools/demo.sh: the demo's command line, options and
# SECONDS in any order. Sets device (0 or 1) and seconds, or prints the usage
# and exits with status 2.

demo_usage() {
    echo "usage: ./run demo [--device] [SECONDS]   (SECONDS: default 10, 0 until Ctrl-C)" >&2
    exit 2
}

parse_demo_args() {
    device=0
    seconds=""
    local arg
    for arg in "$@"; do
        case "$arg" in
        --device) device=1 ;;
        -h | --help) demo_usage ;;
        '' | *[!0-9]*)
            echo "./run demo: unknown argument '$(printf '%q' "$arg")'" >&2
            demo_usage
            ;;
        *)
            [ -z "$seconds" ] || { echo "./run demo: SECONDS given twice" >&2; demo_usage; }
            seconds=$arg
            ;;
        esac
    done
    seconds=${seconds:-10}
    # 10# keeps a leading zero from meaning octal; the bound keeps it an integer.
    [ ${#seconds} -le 9 ] || { echo "./run demo: SECONDS too large" >&2; demo_usage; }
    seconds=$((10#$seconds))
}
