#!/usr/bin/env bash
# The real program starts at its minimum size with its plain title, clears stale working
# files, snaps back when made too small, and exits cleanly when its window is closed.
source "$(dirname "$0")/lib.sh"

make_app_folder
touch "$app/Torvanix.bmp" "$app/Torvanix-3.bmp" "$app/keep.bmp" "$app/torvanix.bmp"

start_app
expect_title "Torvanix by Dalvester"
[ "$(client_size)" = "600x400" ] || fail "client area is $(client_size), expected 600x400"
for gone in Torvanix.bmp Torvanix-3.bmp; do
    [ ! -e "$app/$gone" ] || fail "stale $gone was not deleted at start"
done
for kept in keep.bmp torvanix.bmp ReadMe.txt; do
    [ -e "$app/$kept" ] || fail "$kept was deleted"
done

xdotool windowsize "$window" 300 200
sleep 0.3
[ "$(client_size)" = "600x400" ] || fail "after shrinking, client area is $(client_size)"
xdotool windowsize "$window" 900 700
sleep 0.3
[ "$(client_size)" = "900x700" ] || fail "after growing, client area is $(client_size)"

touch "$app/Torvanix-0.bmp"
close_app
[ ! -e "$app/Torvanix-0.bmp" ] || fail "working file left behind at exit"
echo "PASS"
