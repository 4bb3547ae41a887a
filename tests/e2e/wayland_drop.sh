#!/usr/bin/env bash
# Native Wayland, in a headless sway: a file dragged from another program and dropped on the
# window is converted and named in the title; one the converter cannot read leaves the title as
# it was and says why in a notice; large drops with the pointer moving over the window while the
# busy cursor shows, with the Wayland client's protocol log on (which made Qt 6.4 crash there),
# all go through, and there the busy cursor asks for no frame callbacks; closing leaves no
# process and no working folder behind.
source "$(dirname "$0")/wayland_lib.sh"

start_sway 1400 900
start_app_on_wayland WAYLAND_DEBUG=1
pictures="$shared/my pictures"
mkdir -m 755 "$pictures"
level="$pictures/level [1].jpg"
"$convert_tool" -size 800x400 xc:white -fill black -draw 'line 0,200 799,200' "JPEG:$level"
echo hello >"$pictures/holiday.xyz"
"$MAKE_PICTURE" 6000 4000 "$pictures/large-1.jpg"
cp "$pictures/large-1.jpg" "$pictures/large-2.jpg"
chmod 644 "$pictures"/*

drop_on_wayland 1400 900 "$level"
expect_title "Torvanix by Dalvester [$level]" 20
stop_drag_source
folder=$(working_folder_of "$app_pid") || fail "the window holds no working folder"

title_before=$(title)
bottom="0,880 1400x20"
expect_brightness "$bottom" above 0.9 "the dropped picture's white bottom"
drop_on_wayland 1400 900 "$pictures/holiday.xyz"
expect_brightness "$bottom" below 0.5 "no notice after a drop the converter cannot read"
stop_drag_source
[ "$(title)" = "$title_before" ] || fail "the title changed to '$(title)' after the unreadable drop"

large_drops=4
for drop in $(seq 1 "$large_drops"); do
    picture="$pictures/large-$((drop % 2 + 1)).jpg"
    drop_on_wayland 1400 900 "$picture"
    # Moved while the converter runs, the pointer enters the window and gets the busy cursor.
    for x in 702 704 706 708 710; do
        pointer "move $x 452"
        sleep 0.1
    done
    for _ in $(seq 1 300); do
        kill -0 "$app_pid" 2>/dev/null ||
            fail "the program ended in drop $drop: $(grep -v '^\[' "$work/app.log" | tail -n 5)"
        [ "$(title)" = "Torvanix by Dalvester [$picture]" ] && break
        sleep 0.1
    done
    [ "$(title)" = "Torvanix by Dalvester [$picture]" ] ||
        fail "large drop $drop: the title is '$(title)'"
    stop_drag_source
done

# The protocol log: the surfaces the pointer's cursor was shown on, the hot spots, and whether
# any cursor surface asked for a frame callback after it became one.
wayland_client=$(dpkg-query -W -f '${Version}' libqt6waylandclient6)
if ! python3 - "$work/app.log" "$large_drops" "${wayland_client%%[-+]*}" <<'EOF'; then
import re, sys
log, drops, qt = open(sys.argv[1], errors="replace").read(), int(sys.argv[2]), sys.argv[3]
set_cursor = re.compile(r"set_cursor\(\d+, (wl_surface@\d+), (\d+, \d+)\)")
shown = [(m.start(), m[1], m[2]) for m in set_cursor.finditer(log)]
if not shown:
    sys.exit("the window never set a cursor")
busy = [hotspot for _, _, hotspot in shown if hotspot != shown[0][2]]
if len(busy) < drops:
    sys.exit(f"a cursor other than the first was set {len(busy)} times in {drops} large drops")
animated = [s for at, s, _ in shown if re.search(re.escape(s) + r"\.frame\(", log[at:])]
if animated and [int(n) for n in qt.split(".")] < [6, 6, 1]:
    sys.exit(f"with Qt's Wayland client {qt} the cursor on {animated[0]} asked for frame callbacks")
EOF
    fail "the busy cursor (above)"
fi

close_on_wayland
[ ! -e "$folder" ] || fail "the working folder was left behind"
left=$(ls -A "$user_home/.cache/torvanix" 2>/dev/null) || true
[ -z "$left" ] || fail "the cache still holds $left"
[ -z "$(still_running -u "$test_user" -f vconvert)" ] || fail "a converter is still running"
echo "PASS"
