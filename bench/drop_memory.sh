#!/usr/bin/env bash
# The real program's peak memory when a 12000 x 8500 JPEG is dropped on it and measured, in a
# virtual X server, against the budget of 1.5 x the decoded picture (4 bytes a pixel) + 150 MB.
# Usage: bench/drop_memory.sh [build-folder]   (run after building; needs xvfb-run)
set -euo pipefail
source "$(dirname "$0")/real-program.sh" "$@"

width=12000 height=8500
make_app_folder
photo="$work/photo.jpg"
"$MAKE_PICTURE" "$width" "$height" "$photo"

start_app
start_drag_source "$photo"
started=$(date +%s.%N)
drag_to_app
expect_title "Torvanix by Dalvester [$photo]" 30
shown=$(date +%s.%N)
measure_then_close

decoded_mb=$(( width * height * 4 / 1000000 ))
budget_mb=$(( decoded_mb * 3 / 2 + 150 ))
peak_mb=$(( peak_kb / 1000 ))
echo "title after measuring: $measured"
printf 'picture %dx%d: decoded %d MB, budget %d MB, peak %d MB, drop to title %s s\n' \
    "$width" "$height" "$decoded_mb" "$budget_mb" "$peak_mb" \
    "$(awk -v a="$started" -v b="$shown" 'BEGIN { printf "%.2f", b - a }')"
[ "$peak_mb" -le "$budget_mb" ]
