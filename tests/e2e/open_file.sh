#!/usr/bin/env bash
# A picture named on the command line is imported as a drop of it: converted, named in the
# title by its absolute path, and measured. A missing one leaves the card and the plain title.
source "$(dirname "$0")/lib.sh"

make_app_folder
mkdir -p "$work/my pictures"
picture="$work/my pictures/-level.png"
"$convert_tool" -size 800x400 xc:white -fill black -draw 'line 0,200 799,200' "PNG:$picture"
cp "$picture" "$work/second.png"

# Relative to the current folder, after "--" as it starts with "-"; of two files, the first.
cd "$work/my pictures"
start_app -- -level.png "$work/second.png"
expect_title "Torvanix by Dalvester [$picture]" 20
# An 800 x 400 picture in a 600 x 400 window: the screen's 2:1 slope is the picture's 8:3.
drag_on_app 300,200 100,300
expect_title "Horizontal+20.56° - Torvanix by Dalvester [$picture]"
close_app

start_app "$work/missing.png"
# With no picture brought in, the mouse does nothing; give the import and the drag their time.
drag_on_app 300,200 100,300
sleep 1
[ "$(title)" = "Torvanix by Dalvester" ] || fail "the title changed to '$(title)'"
close_app
echo "PASS"
