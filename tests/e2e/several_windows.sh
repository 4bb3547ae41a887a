#!/usr/bin/env bash
# Two windows of one installation convert at the same time and each shows its own picture under
# its own label. A window killed outright leaves its working folder, which the next window to
# start removes once it is up, sparing the folder of a window still running.
source "$(dirname "$0")/lib.sh"

make_app_folder
# The real converter, which for the picture named "slow" then holds on a few seconds: the other
# window's whole conversion falls inside this one's.
rm "$app/vconvert.exe"
cat >"$app/vconvert.exe" <<SCRIPT
#!/bin/sh
"$convert_tool" "\$@" || exit
case "\$1" in *slow*) sleep 3 ;; esac
SCRIPT
chmod +x "$app/vconvert.exe"
slow="$work/slow.png"
fast="$work/fast.png"
"$convert_tool" -size 800x400 xc:white "$slow"
"$convert_tool" -size 300x600 xc:white "$fast"

start_app
first_pid=$app_pid first_window=$window
other_pids+=("$first_pid")
start_app
second_pid=$app_pid second_window=$window
xdotool windowmove --sync "$second_window" 0 600

start_drag_source "$slow"
window=$first_window
drag_to_app
first_folder=$(working_folder_of "$first_pid") || fail "the first window holds no working folder"
for _ in $(seq 1 100); do
    [ -s "$first_folder/Torvanix.bmp" ] && break
    sleep 0.05
done
[ -s "$first_folder/Torvanix.bmp" ] || fail "the slow conversion wrote nothing"

kill -9 "$source_pid"
start_drag_source "$fast"
window=$second_window
drag_to_app
expect_title "Torvanix by Dalvester [$fast]" 20
window=$first_window
expect_title "Torvanix by Dalvester [$slow]" 20

# The same line on both windows reads each window's own picture: 800 x 400 and 300 x 600.
window=$first_window
drag_on_app 300,200 100,300
expect_title "Horizontal+20.56° - Torvanix by Dalvester [$slow]"
window=$second_window
drag_on_app 300,200 100,300
expect_title "Vertical-33.69° - Torvanix by Dalvester [$fast]"

# Killed outright, the first window cannot clean up; the next start does.
second_folder=$(working_folder_of "$second_pid") || fail "the second window holds no working folder"
kill -9 "$first_pid"
wait "$first_pid" 2>/dev/null || true
[ -d "$first_folder" ] || fail "the killed window's folder vanished by itself"
start_app
for _ in $(seq 1 100); do
    [ -e "$first_folder" ] || break
    sleep 0.05
done
[ ! -e "$first_folder" ] || fail "the killed window's folder was not removed at the next start"
[ -e "$second_folder/Torvanix.bmp" ] || fail "a running window's folder was touched"
close_app
app_pid=$second_pid window=$second_window
close_app
[ -z "$(ls -A "$XDG_CACHE_HOME/torvanix")" ] || fail "left in the cache: $(ls -A "$XDG_CACHE_HOME/torvanix")"
echo "PASS"
