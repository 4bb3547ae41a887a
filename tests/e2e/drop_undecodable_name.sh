#!/usr/bin/env bash
# A dropped file whose name is not valid UTF-8 is refused: Qt would read the name with a
# replacement character, which here names another picture, and that one must never load.
source "$(dirname "$0")/lib.sh"

make_app_folder
"$MAKE_PICTURE" 64 48 "$work/"$'\xff'.png
"$MAKE_PICTURE" 32 16 "$work/"$'\xef\xbf\xbd'.png

start_app
start_drag_source "file://$work/%FF.png"
drag_to_app
sleep 2
expect_title "Torvanix by Dalvester"
[ ! -e "$app/Torvanix.bmp" ] || fail "a picture was converted"
close_app
echo "PASS"
