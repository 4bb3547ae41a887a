#!/usr/bin/env bash
# Installed by root and run by an ordinary user, the program converts into the user's own
# cache: a drop loads and is measured, and nothing in the application folder changes, not even
# a stale working file the user may not delete.
source "$(dirname "$0")/lib.sh"

make_ordinary_user
make_app_folder "$shared"
chmod 755 "$app"
touch "$app/Torvanix.bmp"
snapshot() { (cd "$app" && find . -printf '%p %y %m %u %s %T@\n' | sort); }
before=$(snapshot)
mkdir -m 755 "$shared/pictures"
picture="$shared/pictures/level.png"
"$convert_tool" -size 800x400 xc:white "$picture"
check_user_can_run "$app/torvanix"

as_ordinary_user "$app/torvanix" >"$work/app.log" 2>&1 &
app_pid=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --pid "$app_pid" 2>/dev/null | head -n 1) ||
    fail "no window appeared; log: $(cat "$work/app.log")"
expect_title "Torvanix by Dalvester"
start_drag_source "$picture"
drag_to_app
expect_title "Torvanix by Dalvester [$picture]" 20
drag_on_app 300,200 100,300
expect_title "Horizontal+20.56° - Torvanix by Dalvester [$picture]"
folder=$(working_folder_of "$app_pid") || fail "the window holds no working folder"
case "$folder" in
    "$user_home/.cache/torvanix/"*) ;;
    *) fail "the working folder $folder is not in the user's cache" ;;
esac
[ "$(stat -c '%U %a' "$folder")" = "$test_user 700" ] || fail "the working folder is not private"

close_app
[ "$(snapshot)" = "$before" ] || fail "the application folder changed:
$(diff <(echo "$before") <(snapshot))"
[ ! -e "$folder" ] || fail "the working folder was left behind"
echo "PASS"
