#!/usr/bin/env bash
# Closing the real window while a dropped file is being converted ends the converter, removes
# the working folder, and the program exits cleanly, leaving no process behind; SIGTERM to the
# program does the same.
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

start_drag_source "$work/small.png"
# Starts the program and drops the picture; sets converter and folder once it converts.
start_converting() {
    rm -f "$app/converter.pid"
    start_app
    drag_to_app
    for _ in $(seq 1 100); do
        [ -s "$app/converter.pid" ] && break
        sleep 0.05
    done
    converter=$(cat "$app/converter.pid" 2>/dev/null) || fail "the converter was not started"
    kill -0 "$converter" 2>/dev/null || fail "the converter is not running"
    folder=$(working_folder_of "$app_pid") || fail "the window holds no working folder"
    [ -e "$folder/Torvanix.bmp" ] || fail "the converter wrote nothing yet"
}

start_converting

close_app
kill -0 "$converter" 2>/dev/null && fail "the converter is still running after the program closed"
[ ! -e "$folder" ] || fail "the working folder with its half-written file was left behind"

# Ended by the session instead: the same, and the program exits normally.
start_converting
kill -TERM "$app_pid"
status=0
timeout 10 tail --pid="$app_pid" -f /dev/null || fail "the program did not end on SIGTERM"
wait "$app_pid" || status=$?
app_pid=""
[ "$status" -eq 0 ] || fail "the program exited with status $status on SIGTERM"
kill -0 "$converter" 2>/dev/null && fail "the converter outlived the program ended by SIGTERM"
[ ! -e "$folder" ] || fail "the working folder was left behind after SIGTERM"
echo "PASS"
