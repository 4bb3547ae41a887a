#!/usr/bin/env bash
# The real program's peak memory while the loupe is used on a dropped 100-megapixel picture of
# one-pixel checks: the loupe reads the converter's BMP on demand, never the whole picture.
# Also checks that the loupe shows the checks as sharp blocks while the button is held.
# Usage: bench/loupe_memory.sh [build-folder]   (run after building; needs xvfb-run)
set -euo pipefail
source "$(dirname "$0")/real-program.sh" "$@"

width=12000 height=8400
make_app_folder
checks="$work/checks.png"
"$MAKE_PICTURE" "$width" "$height" "$checks" checks

start_app "$checks"
expect_title "Torvanix by Dalvester [$checks]" 60
# Hold the button and sweep the end across the picture, so the loupe reads rows all over it.
xdotool mousemove --window "$window" 50 50 mousedown 1
for x in $(seq 50 25 550); do
    for y in 50 200 350; do
        xdotool mousemove --window "$window" "$x" "$y"
    done
done
sleep 0.3
# The loupe sits in the corner across from the end (last at 550,350: the top left corner).
import -window "$window" -crop 100x1+30+60 +repage "$work/row.txt" 2>/dev/null ||
    xwd -id "$window" | convert xwd:- -crop 100x1+30+60 +repage "$work/row.txt"
colours=$(grep -o '#[0-9A-F]\{6\}' "$work/row.txt" | sort -u | tr '\n' ' ')
xdotool mouseup 1
sleep 0.3
peak_kb=$(awk '/VmHWM/ {print $2}' "/proc/$app_pid/status")
close_app

printf 'picture %dx%d checks: peak %d MB while the loupe swept it; loupe row colours: %s\n' \
    "$width" "$height" $(( peak_kb / 1000 )) "$colours"
[ "$colours" = "#000000 #FFFFFF " ] || fail "the loupe did not show sharp black and white blocks"
[ $(( peak_kb / 1000 )) -le 80 ]
