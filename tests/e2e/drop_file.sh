#!/usr/bin/env bash
# A real file dragged from another program and dropped on the real window is converted by the
# real ImageMagick, shown, named in the title, and measured.
source "$(dirname "$0")/lib.sh"

make_app_folder
mkdir -p "$work/my pictures"
picture="$work/my pictures/level \"one\" [1].jpg"
"$convert_tool" -size 800x400 xc:white -fill black -draw 'line 0,200 799,200' "JPEG:$work/plain.jpg"
mv "$work/plain.jpg" "$picture"

start_app
start_drag_source "$picture"
drag_to_app
expect_title "Torvanix by Dalvester [$picture]" 20
folder=$(working_folder_of "$app_pid") || fail "the window holds no working folder"
[ -e "$folder/Torvanix.bmp" ] || fail "the converter wrote no working file"
[ ! -e "$app/Torvanix.bmp" ] || fail "the converter wrote into the application folder"

# An 800 x 400 picture in a 600 x 400 window: the screen's 2:1 slope is the picture's 8:3.
drag_on_app 300,200 100,300
expect_title "Horizontal+20.56° - Torvanix by Dalvester [$picture]"

close_app
[ ! -e "$folder" ] || fail "working folder left behind at exit"
echo "PASS"
