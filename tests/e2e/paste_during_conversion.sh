#!/usr/bin/env bash
# Ctrl+V while a dropped file converts: the later action wins. The pasted picture stays, the
# converter is ended, and the dropped file's picture never replaces it.
source "$(dirname "$0")/lib.sh"

make_app_folder
# The real converter, after a pause long enough to paste in.
rm "$app/vconvert.exe"
cat >"$app/vconvert.exe" <<SCRIPT
#!/bin/sh
echo \$\$ > "\$(dirname "\$0")/converter.pid"
sleep 3
exec "$convert_tool" "\$@"
SCRIPT
chmod +x "$app/vconvert.exe"
"$MAKE_PICTURE" 64 48 "$work/dropped.png"
"$MAKE_PICTURE" 600 400 "$work/pasted.png"

start_app
offer_on_clipboard image/png "$work/pasted.png"
start_drag_source "$work/dropped.png"
drag_to_app
timeout 5 sh -c "until [ -s '$app/converter.pid' ]; do sleep 0.05; done" ||
    fail "the converter was not started"
focus_app
xdotool key ctrl+v
expect_title "Torvanix by Dalvester [Image from Clipboard]"
# endProgram has reaped it by the time the title changes.
kill -0 "$(cat "$app/converter.pid")" 2>/dev/null && fail "the converter still runs after the paste"
# Past the time the conversion would have taken.
sleep 4
expect_title "Torvanix by Dalvester [Image from Clipboard]"
close_app
echo "PASS"
