#!/usr/bin/env bash
# A PNG offered on the X clipboard is pasted with Ctrl+V, measured with a real drag, read from
# the title, and Escape brings the base title back. A clipboard holding no picture changes
# nothing; a 100-megapixel picture pastes like any other, and a photo stored on its side pastes
# upright.
source "$(dirname "$0")/lib.sh"

make_app_folder
"$convert_tool" -size 600x400 xc:white -fill black -draw 'line 0,200 599,200' "$work/level.png"
printf 'not a picture at all' >"$work/broken.png"
printf 'just words' >"$work/words.txt"

start_app
focus_app

# Text only: nothing happens.
offer_on_clipboard text/plain "$work/words.txt"
xdotool key ctrl+v
sleep 0.3
expect_title "Torvanix by Dalvester"

# Ctrl+Shift+V is not paste.
offer_on_clipboard image/png "$work/level.png"
xdotool key ctrl+shift+v
sleep 0.3
expect_title "Torvanix by Dalvester"

xdotool key ctrl+v
expect_title "Torvanix by Dalvester [Image from Clipboard]"

# From the centre to the press, then the near end dragged to the left edge, a little low.
drag_on_app 100,300
expect_title "Horizontal+26.56° - Torvanix by Dalvester [Image from Clipboard]"
drag_on_app 100,300 80,280 50,210
expect_title "Horizontal+2.29° - Torvanix by Dalvester [Image from Clipboard]"

# A picture that does not decode leaves everything as it was.
offer_on_clipboard image/png "$work/broken.png"
xdotool key ctrl+v
sleep 0.5
expect_title "Horizontal+2.29° - Torvanix by Dalvester [Image from Clipboard]"

xdotool key Escape
expect_title "Torvanix by Dalvester [Image from Clipboard]"

# A 100-megapixel picture pastes and measures too. Shown at 600 x 400 it is squeezed a little
# more across than down, so the screen's 2:1 slope is the picture's 2.1:4.
"$MAKE_PICTURE" 12000 8400 "$work/huge.png"
offer_on_clipboard image/png "$work/huge.png"
xdotool key ctrl+v
drag_on_app 100,300
expect_title "Horizontal+27.70° - Torvanix by Dalvester [Image from Clipboard]" 60

# A photo stored on its side, 800 x 600 with red, green / blue, white quadrants and orientation
# 6, pastes upright: a 600 x 800 picture with blue, red / white, green.
"$convert_tool" -size 800x600 xc:white -fill red -draw 'rectangle 0,0 399,299' \
    -fill lime -draw 'rectangle 400,0 799,299' -fill blue -draw 'rectangle 0,300 399,599' \
    "$work/side.jpg"
exiftool -q -overwrite_original -Orientation#=6 "$work/side.jpg"
offer_on_clipboard image/jpeg "$work/side.jpg"
xdotool key Escape ctrl+v
for _ in $(seq 1 50); do
    corners="$(colour_at 150 100)$(colour_at 450 100)$(colour_at 150 300)$(colour_at 450 300)"
    [ "$corners" = BRWG ] && break
    sleep 0.1
done
[ "$corners" = BRWG ] || fail "the pasted photo's quadrants read $corners, not upright"
drag_on_app 300,200 200,300
expect_title "Vertical-26.56° - Torvanix by Dalvester [Image from Clipboard]"

close_app
echo "PASS"
