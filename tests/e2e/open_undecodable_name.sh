#!/usr/bin/env bash
# A file named on the command line whose name is not valid UTF-8, as a file manager passes it,
# opens itself, never the file whose name reads the same once decoded.
source "$(dirname "$0")/lib.sh"

make_app_folder
"$convert_tool" -size 64x48 xc:red "PNG:$work/"$'\xff'.png
"$convert_tool" -size 32x16 xc:blue "PNG:$work/"$'\xef\xbf\xbd'.png

# Relative to the current folder, as a terminal gives it.
cd "$work"
start_app $'\xff'.png
expect_title "Torvanix by Dalvester [$work/"$'\xef\xbf\xbd'".png]" 20
[ "$(colour_at 300 200)" = R ] || fail "shows $(colour_at 300 200), not the named picture"
close_app
echo "PASS"
