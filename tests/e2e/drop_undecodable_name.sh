#!/usr/bin/env bash
# A dropped file whose name is not valid UTF-8 opens itself, never the file whose name reads the
# same once decoded: here "\xff.png" (red) beside "\xef\xbf\xbd.png", U+FFFD (blue).
source "$(dirname "$0")/lib.sh"

make_app_folder
"$convert_tool" -size 64x48 xc:red "PNG:$work/"$'\xff'.png
"$convert_tool" -size 32x16 xc:blue "PNG:$work/"$'\xef\xbf\xbd'.png

start_app
start_drag_source "file://$work/%FF.png"
drag_to_app
# The title shows the name as well as text can: with a replacement character.
expect_title "Torvanix by Dalvester [$work/"$'\xef\xbf\xbd'".png]" 10
[ "$(colour_at 300 200)" = R ] || fail "shows $(colour_at 300 200), not the dropped picture"
close_app
echo "PASS"
