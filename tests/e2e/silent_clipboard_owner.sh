#!/usr/bin/env bash
# Ctrl+V with a clipboard owner that never answers costs at most one of Qt's clipboard timeouts
# (5 s on X11): a drag made right after the key is answered within it, on the picture as it was.
source "$(dirname "$0")/lib.sh"
: "${X_SILENT_OWNER:?the x_silent_owner helper}"

make_app_folder
"$MAKE_PICTURE" 600 400 "$work/picture.png"
start_app
focus_app
offer_on_clipboard image/png "$work/picture.png"
xdotool key ctrl+v
expect_title "Torvanix by Dalvester [Image from Clipboard]"

# The owner stands where a drag source would, so the cleanup ends it too.
"$X_SILENT_OWNER" >"$work/owner.log" 2>&1 &
source_pid=$!
timeout 5 sh -c "until grep -q owner '$work/owner.log'; do sleep 0.05; done" ||
    fail "the silent owner did not take the clipboard"

pressed=$(date +%s.%N)
xdotool key ctrl+v
drag_on_app 100,300
expect_title "Horizontal+26.56° - Torvanix by Dalvester [Image from Clipboard]" 7
awk -v a="$pressed" -v b="$(date +%s.%N)" \
    'BEGIN { printf "the drag was answered %.2f s after Ctrl+V\n", b - a }'
close_app
echo "PASS"
