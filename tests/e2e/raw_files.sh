#!/usr/bin/env bash
# Camera raw files open upright through the converter and libraw's decoder, also under a name
# full of shell syntax, writing nothing outside the working folder; a decoder still running when
# the window closes or the time limit passes is ended with everything it wrote.
source "$(dirname "$0")/lib.sh"
make_dng="$(dirname "$0")/make_dng.py"

make_app_folder
tmp="$work/tmp"
mkdir "$tmp"
pictures="$work/pictures"
mkdir "$pictures"

# Stored 800 x 600 with red, green / blue, white quadrants; orientation 6 turns it upright to
# 600 x 800 with blue, red / white, green.
name=$'$(touch pwned);\'"*`touch pwned`.dng'
"$make_dng" 800 600 6 "$pictures/$name"
# Everything in the test's folder but the working folders' cache, Qt's runtime folder and the
# logs.
listing() {
    (cd "$work" && find . \( -path ./cache -o -path ./runtime \) -prune -o ! -name '*.log' -print | sort)
}
before=$(listing)

cd "$pictures"
TMPDIR=$tmp start_app
start_drag_source "$pictures/$name"
drag_to_app
expect_title "Torvanix by Dalvester [$pictures/$name]" 20
corners="$(colour_at 150 100)$(colour_at 450 100)$(colour_at 150 300)$(colour_at 450 300)"
[ "$corners" = BRWG ] || fail "the quadrants read $corners, not upright"
# 100 left and 100 down from the middle of the window is 100 across and 200 down in the
# upright picture.
drag_on_app 300,200 200,300
expect_title "Vertical-26.56° - Torvanix by Dalvester [$pictures/$name]"
folder=$(working_folder_of "$app_pid") || fail "the window holds no working folder"
[ "$(ls -A "$folder" | sort | tr '\n' ' ')" = "Torvanix.bmp window.lock " ] ||
    fail "left in the working folder: $(ls -A "$folder")"
close_app
[ ! -e "$folder" ] || fail "the working folder was left behind"
[ -z "$(find "$work" -name pwned)" ] || fail "the file name reached a shell"
after=$(listing)
[ "$before" = "$after" ] || fail "written outside the working folder: $(diff <(echo "$before") <(echo "$after"))"
kill -9 "$source_pid"

# A decoder that starts its picture, then takes its time; run through the program's own
# delegate table, which only names it in place of dcraw_emu.
cat >"$work/slow-decoder" <<SCRIPT
#!/bin/sh
echo \$\$ > "$work/decoder.pid"
for last; do :; done
printf 'P6 800 600 255 ' > "\$3"
exec sleep 300
SCRIPT
chmod +x "$work/slow-decoder"
sed -i "s|/usr/bin/dcraw_emu|$work/slow-decoder|" "$app/delegates.xml"
grep -q slow-decoder "$app/delegates.xml" || fail "the delegate table names no decoder to replace"
"$make_dng" 64 48 1 "$pictures/small.dng"
start_drag_source "$pictures/small.dng"

# Starts the program and drops the raw file; sets decoder, group and folder once it decodes.
start_decoding() {
    rm -f "$work/decoder.pid"
    TMPDIR=$tmp start_app
    drag_to_app
    for _ in $(seq 1 100); do
        [ -s "$work/decoder.pid" ] && break
        sleep 0.05
    done
    decoder=$(cat "$work/decoder.pid" 2>/dev/null) || fail "the decoder was not started"
    group=$(ps -o pgid= -p "$decoder" | tr -d ' ')
    [ -n "$group" ] || fail "the decoder is not running"
    # The converter leads the group, so ending the group ends the decoder it started too.
    [ "$group" = "$(pgrep -P "$app_pid" | head -n 1)" ] || fail "the decoder runs outside the converter's group"
    folder=$(working_folder_of "$app_pid") || fail "the window holds no working folder"
}

expect_group_gone() {
    for _ in $(seq 1 40); do
        pgrep -g "$group" >/dev/null || return 0
        sleep 0.05
    done
    fail "converter or decoder processes are still running: $(pgrep -a -g "$group")"
}

start_decoding
close_app
expect_group_gone
[ ! -e "$folder" ] || fail "the working folder was left behind on close"

start_decoding
# Six seconds, then the drop is given up.
sleep 6
expect_group_gone
[ "$(ls -A "$folder")" = "window.lock" ] || fail "left in the working folder: $(ls -A "$folder")"
expect_title "Torvanix by Dalvester"
close_app
[ -z "$(ls -A "$tmp")" ] || fail "left in the temporary folder: $(ls -A "$tmp")"
echo "PASS"
