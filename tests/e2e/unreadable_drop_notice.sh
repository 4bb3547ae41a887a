#!/usr/bin/env bash
# A dropped file the converter cannot read leaves title and picture as they were and says why in
# a notice over the bottom of the picture, which goes again on its own.
source "$(dirname "$0")/lib.sh"

make_app_folder
echo "hello" >"$work/holiday.xyz"

# How bright the bottom strip of the window is, from 0 (black) to 1 (white), as the X server
# shows it.
bottom_brightness() {
    import -window "$window" "$work/shot.png"
    "$convert_tool" "$work/shot.png" -gravity South -crop 100%x6+0+0 -format '%[fx:mean]' info:
}
is_dark() { awk -v b="$(bottom_brightness)" 'BEGIN { exit !(b < 0.5) }'; }

start_app
title_before=$(title)
is_dark && fail "the card's bottom is dark before any drop"
start_drag_source "$work/holiday.xyz"
drag_to_app
dropped=$(date +%s.%N)
# The converter gives up on so small a file at once; the notice follows within a second.
shown=""
for _ in $(seq 1 30); do
    if is_dark; then
        shown=$(date +%s.%N)
        break
    fi
    sleep 0.05
done
[ -n "$shown" ] || fail "no notice appeared"
awk -v a="$dropped" -v b="$shown" 'BEGIN { exit !(b - a < 1.5) }' ||
    fail "the notice took $(awk -v a="$dropped" -v b="$shown" 'BEGIN { print b - a }') s"
[ "$(title)" = "$title_before" ] || fail "the title changed to '$(title)'"

sleep 10
is_dark && fail "the notice is still there after 10 seconds"
[ "$(title)" = "$title_before" ] || fail "the title changed to '$(title)'"
close_app
echo "PASS"
