#!/usr/bin/env bash
# The converter leaves nothing behind: closed in the middle of a picture big enough for a pixel
# cache on disk, or given up at the time limit with a helper of its own still running, no
# process of it is left, and nothing in the temporary folder or the working folder.
source "$(dirname "$0")/lib.sh"

make_app_folder
# The program's temporary folder, to see that nothing lands there.
tmp="$work/tmp"
mkdir "$tmp"
empty() { [ -z "$(ls -A "$1")" ]; }

# Its first child: the converter, leader of its own process group.
converter_of() {
    local child
    for _ in $(seq 1 100); do
        child=$(pgrep -P "$1" | head -n 1) && { echo "$child"; return 0; }
        sleep 0.05
    done
    return 1
}

# 102 megapixels: ImageMagick keeps its pixels in an 816 MB file on disk while it converts.
"$MAKE_PICTURE" 12000 8500 "$work/big.jpg"
TMPDIR=$tmp start_app
start_drag_source "$work/big.jpg"
drag_to_app
converter=$(converter_of "$app_pid") || fail "no converter started"
folder=$(working_folder_of "$app_pid") || fail "the window holds no working folder"
for _ in $(seq 1 100); do
    ls "$folder" | grep -q '^magick-' && break
    sleep 0.05
done
ls "$folder" | grep -q '^magick-' || fail "the converter made no pixel cache in the working folder"
close_app
expect_group_gone "$converter" "converter processes"
[ ! -e "$folder" ] || fail "the working folder was left behind"
empty "$tmp" || fail "left in the temporary folder: $(ls -A "$tmp")"

# A converter that overruns the limit, with a helper of its own, both writing scratch files.
rm "$app/vconvert.exe"
cat >"$app/vconvert.exe" <<'SCRIPT'
#!/bin/sh
echo scratch >"${TMPDIR:-/tmp}/converter-scratch"
sh -c 'echo more >"${TMPDIR:-/tmp}/helper-scratch"; exec sleep 300' &
exec sleep 300
SCRIPT
chmod +x "$app/vconvert.exe"
"$MAKE_PICTURE" 40 30 "$work/small.png"
TMPDIR=$tmp start_app
kill -9 "$source_pid"
start_drag_source "$work/small.png"
drag_to_app
converter=$(converter_of "$app_pid") || fail "no converter started"
folder=$(working_folder_of "$app_pid") || fail "the window holds no working folder"
# Six seconds, then the drop is given up.
for _ in $(seq 1 200); do
    [ -n "$(still_running -g "$converter")" ] || break
    sleep 0.05
done
expect_group_gone "$converter" "converter processes"
[ "$(ls -A "$folder")" = "window.lock" ] || fail "left in the working folder: $(ls -A "$folder")"
empty "$tmp" || fail "left in the temporary folder: $(ls -A "$tmp")"
expect_title "Torvanix by Dalvester"
close_app
echo "PASS"
