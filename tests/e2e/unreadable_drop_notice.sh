#!/usr/bin/env bash
# A dropped file the converter cannot read leaves title and picture as they were and says why in
# a notice over the bottom of the picture, which goes again on its own.
source "$(dirname "$0")/lib.sh"

make_app_folder
echo "hello" >"$work/holiday.xyz"

# Whether the bottom strip of the window, as the X server shows it, is dark (the card is white).
bottom_is_dark() {
    import -window "$window" "$work/shot.png"
    local mean
    mean=$("$convert_tool" "$work/shot.png" -gravity South -crop 100%x6+0+0 -format '%[fx:mean]' info:)
    awk -v b="$mean" 'BEGIN { exit !(b < 0.5) }'
}

start_app
title_before=$(title)
bottom_is_dark && fail "the card's bottom is dark before any drop"
start_drag_source "$work/holiday.xyz"
drag_to_app
# The converter gives up on so small a file at once; the notice follows within a second.
SECONDS=0
until bottom_is_dark; do
    [ "$SECONDS" -lt 2 ] || fail "no notice within a second of the converter's end"
    sleep 0.05
done
[ "$(title)" = "$title_before" ] || fail "the title changed to '$(title)'"
sleep 10
bottom_is_dark && fail "the notice is still there after 10 seconds"
[ "$(title)" = "$title_before" ] || fail "the title changed to '$(title)'"
close_app
echo "PASS"
