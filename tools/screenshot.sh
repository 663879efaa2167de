#!/usr/bin/env bash
# Makes the README's screenshot of tracker_config streaming from a simulated
# tracker, under a virtual display (Xvfb) unless DISPLAY is set:
#   tools/screenshot.sh [FILE]     (default docs/tracker_config.png)
# Build first (./run build); the programs come from build/bin or QUORVANE_BIN.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=tools/process_groups.sh
source "$ROOT/tools/process_groups.sh"
# shellcheck source=tools/display.sh
source "$ROOT/tools/display.sh"
trap stop_groups EXIT
out=${1:-$ROOT/docs/tracker_config.png}
mkdir -p "$(dirname "$out")"
ensure_display
"$ROOT/tools/config.sh" --screenshot "$out"
echo "Saved $out"
