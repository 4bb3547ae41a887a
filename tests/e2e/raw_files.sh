#!/usr/bin/env bash
# Camera raw files open upright through the converter and libraw's decoder, also under a name
# full of shell syntax, writing nothing outside the working folder; a decoder still running when
# the window closes or the time limit passes is ended with everything it wrote.
source "$(dirname "$0")/lib.sh"

make_app_folder
tmp="$work/tmp"
pictures="$work/pictures"
mkdir "$tmp" "$pictures"
# Everything but the windows' cache, Qt's runtime folder and the logs.
listing() { (cd "$work" && find . \( -path ./cache -o -path ./runtime \) -prune -o ! -name '*.log' -print | sort); }

# Stored 800 x 600 as red, green / blue, white; orientation 6 makes it 600 x 800, blue, red /
# white, green.
name=$'$(touch pwned);\'"*`touch pwned`.dng'
"$(dirname "$0")/make_dng.py" 800 600 6 "$pictures/$name"
"$(dirname "$0")/make_dng.py" 64 48 1 "$pictures/small.dng"
before=$(listing)
cd "$pictures"
TMPDIR=$tmp start_app
start_drag_source "$pictures/$name"
drag_to_app
expect_title "Torvanix by Dalvester [$pictures/$name]" 20
corners="$(colour_at 150 100)$(colour_at 450 100)$(colour_at 150 300)$(colour_at 450 300)"
[ "$corners" = BRWG ] || fail "the quadrants read $corners, not upright"
# 100 left and 100 down on screen is 100 across and 200 down in the upright picture.
drag_on_app 300,200 200,300
expect_title "Vertical-26.56° - Torvanix by Dalvester [$pictures/$name]"
folder=$(working_folder_of "$app_pid") || fail "the window holds no working folder"
[ "$(ls -A "$folder" | tr '\n' ' ')" = "Torvanix.bmp window.lock " ] || fail "left in the working folder: $(ls -A "$folder")"
close_app
[ "$before" = "$(listing)" ] || fail "written outside the working folder: $(diff <(echo "$before") <(listing))"
kill -9 "$source_pid"

# A decoder that starts its picture, then takes its time, named by the program's own delegate
# table in place of dcraw_emu.
printf '#!/bin/sh\necho $$ > "%s"\nprintf P6 > "$3"\nexec sleep 300\n' "$work/decoder.pid" >"$work/slow-decoder"
chmod +x "$work/slow-decoder"
sed -i "s|/usr/bin/dcraw_emu|$work/slow-decoder|" "$app/delegates.xml"
start_drag_source "$pictures/small.dng"
# Starts the program and drops the raw file; the group is the converter's, which the decoder
# must be in, so that ending the group ends the decoder too.
start_decoding() {
    rm -f "$work/decoder.pid"
    TMPDIR=$tmp start_app
    drag_to_app
    for _ in $(seq 1 100); do [ -s "$work/decoder.pid" ] && break; sleep 0.05; done
    group=$(ps -o pgid= -p "$(cat "$work/decoder.pid")" | tr -d ' ') || fail "no decoder running"
    [ "$group" = "$(pgrep -P "$app_pid" | head -n 1)" ] || fail "the decoder runs outside the converter's group"
    folder=$(working_folder_of "$app_pid") || fail "the window holds no working folder"
}

start_decoding
close_app
expect_group_gone "$group" "converter or decoder processes"
[ ! -e "$folder" ] || fail "the working folder was left behind on close"

start_decoding
sleep 6
expect_group_gone "$group" "converter or decoder processes"
[ "$(ls -A "$folder")" = "window.lock" ] || fail "left in the working folder: $(ls -A "$folder")"
expect_title "Torvanix by Dalvester"
close_app
[ -z "$(ls -A "$tmp")" ] || fail "left in the temporary folder: $(ls -A "$tmp")"
echo "PASS"
