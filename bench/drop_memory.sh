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
# And it measures: a line from the centre to the lower left reads as rising to the right.
drag_on_app 100,300
for _ in $(seq 1 100); do
    case "$(title)" in "Horizontal+"*" - Torvanix by Dalvester [$photo]") break ;; esac
    sleep 0.05
done
measured=$(title)
case "$measured" in "Horizontal+"*) ;; *) fail "no reading on the large picture: $measured" ;; esac
sleep 0.5
peak_kb=$(awk '/VmHWM/ {print $2}' "/proc/$app_pid/status")
close_app

decoded_mb=$(( width * height * 4 / 1000000 ))
budget_mb=$(( decoded_mb * 3 / 2 + 150 ))
peak_mb=$(( peak_kb / 1000 ))
echo "title after measuring: $measured"
printf 'picture %dx%d: decoded %d MB, budget %d MB, peak %d MB, drop to title %s s\n' \
    "$width" "$height" "$decoded_mb" "$budget_mb" "$peak_mb" \
    "$(awk -v a="$started" -v b="$shown" 'BEGIN { printf "%.2f", b - a }')"
[ "$peak_mb" -le "$budget_mb" ]
