#!/usr/bin/env bash
# Closing the real window while a dropped file is being converted ends the converter, deletes
# the working files, and the program exits cleanly, leaving no process behind.
source "$(dirname "$0")/lib.sh"

make_app_folder
# A converter that starts its output, then takes its time.
rm "$app/vconvert.exe"
cat >"$app/vconvert.exe" <<'SCRIPT'
#!/bin/sh
echo $$ > "$(dirname "$0")/converter.pid"
for last; do :; done
printf 'BM half a picture' > "${last#BMP3:}"
exec sleep 60
SCRIPT
chmod +x "$app/vconvert.exe"
"$MAKE_PICTURE" 64 48 "$work/small.png"

start_app
start_drag_source "$work/small.png"
drag_to_app
for _ in $(seq 1 100); do
    [ -s "$app/converter.pid" ] && break
    sleep 0.05
done
converter=$(cat "$app/converter.pid" 2>/dev/null) || fail "the converter was not started"
kill -0 "$converter" 2>/dev/null || fail "the converter is not running"
[ -e "$app/Torvanix.bmp" ] || fail "the converter wrote nothing yet"

close_app
kill -0 "$converter" 2>/dev/null && fail "the converter is still running after the program closed"
[ ! -e "$app/Torvanix.bmp" ] || fail "the half-written working file was left behind"
echo "PASS"
