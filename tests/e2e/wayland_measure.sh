#!/usr/bin/env bash
# Native Wayland, in a headless sway: the window is an xdg_shell window of its own app id; a PNG
# pasted with Ctrl+V shows; the loupe shows while a button is held; random presses and drags
# between pixels, the last half pixel at the right and bottom edges among them, give the titles
# of the tests' own model of the line, at output scale 1 and then 2; arrows, Shift+arrows and Tab
# follow the model too, Ctrl+C copies the reading and Enter fits the line to an edge; closing
# ends the program.
source "$(dirname "$0")/wayland_lib.sh"

start_sway 1366 918
start_app_on_wayland
[ "$(window_field shell)" = xdg_shell ] ||
    fail "not a native Wayland window: shell $(window_field shell)"
[ "$(window_field app_id)" = com.dalvester.Torvanix ] || fail "app id $(window_field app_id)"
expect_title "Torvanix by Dalvester"

# A light picture over a dark one below an edge rising 2 degrees to the right, shown stretched
# unevenly: 1200 x 800 in a 1366 x 918 window. The edge's height at picture x 0, 1200, 250, 950:
read -r y0 y1200 y250 y950 < <(python3 -c '
import math
print(*(f"{400 - (x - 600) * math.tan(math.radians(2)):.3f}" for x in (0, 1200, 250, 950)))')
"$convert_tool" -size 1200x800 xc:'#c8c8c8' -fill '#282828' \
    -draw "polygon 0,$y0 1200,$y1200 1200,800 0,800" "$shared/edge.png"
(as_wayland_user wl-copy --type image/png) <"$shared/edge.png" >/dev/null 2>&1
keys -M ctrl -k v -m ctrl
label=" [Image from Clipboard]"
expect_title "Torvanix by Dalvester$label"
expect_brightness "0,0 683x300" above 0.7 "the pasted picture's light top"
far_corner="700,520 666x398"
expect_brightness "$far_corner" below 0.2 "the pasted picture's dark bottom"

# Held in the top left quarter, the loupe shows in the far corner; it goes with the release.
pointer "move 340.5 280.25" press
expect_brightness "$far_corner" above 0.2 "no loupe while the button is held"
pointer release
expect_brightness "$far_corner" below 0.2 "the loupe is still there after the release"

lines() {
    (as_wayland_user python3 "$shared/wayland_lines.py" "$app_pid" 1200 800 "$label" "$@") ||
        fail "the line did not follow the rules ($1 at scale $scale; above)"
}
scale=1
lines presses 60 1
lines keys 30 2

reading=$(title)
reading=${reading% - Torvanix by Dalvester*}
keys -M ctrl -k c -m ctrl
for _ in $(seq 1 50); do
    copied=$(as_wayland_user wl-paste --no-newline 2>/dev/null) || true
    [ "$copied" = "$reading" ] && break
    sleep 0.1
done
[ "$copied" = "$reading" ] || fail "Ctrl+C copied '$copied', not the reading '$reading'"

# The line laid roughly along the edge, a pixel or two off (window pixels), then Enter.
keys -k Escape
pointer "move 284.58 $(awk -v y="$y250" 'BEGIN { print y * 918 / 800 + 1.5 }')" press release
pointer "move 1081.42 $(awk -v y="$y950" 'BEGIN { print y * 918 / 800 - 1 }')" press release
sleep 0.5
[ "$(title)" != "Horizontal+2.00° - Torvanix by Dalvester$label" ] ||
    fail "the rough line already read exactly the edge's tilt"
keys -k Return
expect_title "Horizontal+2.00° - Torvanix by Dalvester$label"

# Twice the device pixels: the window is 683 x 459 logical pixels.
scale=2
sway_msg output HEADLESS-1 scale 2 >/dev/null
for _ in $(seq 1 100); do
    [ "$(window_field window_rect)" = 683x459 ] && break
    sleep 0.05
done
[ "$(window_field window_rect)" = 683x459 ] ||
    fail "at scale 2 the window is $(window_field window_rect)"
lines presses 60 3

close_on_wayland
echo "PASS"
