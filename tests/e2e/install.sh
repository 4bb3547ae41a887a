#!/usr/bin/env bash
# Installing into a prefix puts the application folder, a launcher, the desktop entry, the
# icons and the metainfo where they belong; the desktop offers the program for pictures; the
# desktop entry is valid and starts the program as a menu would (through GLib's launcher); the
# installed program keeps its working files in a folder of its own in the user's cache; and the
# documented uninstall leaves nothing behind.
# BUILD_FOLDER names the build to install.
source "$(dirname "$0")/lib.sh"

build=${BUILD_FOLDER:?the build folder}
# A prefix with a blank and a dollar sign, to prove the desktop entry quotes its path.
prefix="$work/home dir/\$HOME/.local"
manifest="$build/install_manifest.txt"
# The test's install must not replace the manifest of a real one.
[ -e "$manifest" ] && cp "$manifest" "$work/manifest.kept"
restore_manifest() {
    if [ -e "$work/manifest.kept" ]; then cp "$work/manifest.kept" "$manifest"; else rm -f "$manifest"; fi
}
cmake --install "$build" --prefix "$prefix" >"$work/install.log" || fail "install failed: $(cat "$work/install.log")"
cp "$manifest" "$work/manifest"
restore_manifest

app="$prefix/lib/torvanix"
[ -x "$app/torvanix" ] || fail "no program in the application folder"
[ "$(readlink "$app/vconvert.exe")" = "$(readlink "$TORVANIX_APP_DIR/vconvert.exe")" ] ||
    fail "vconvert.exe does not point at the converter"
[ -f "$app/ReadMe.txt" ] || fail "no ReadMe.txt"
[ -f "$app/delegates.xml" ] || fail "no delegate table for camera raw files"
[ -x "$prefix/bin/torvanix" ] || fail "no launcher on the PATH"
app_id=com.dalvester.Torvanix
for icon in 16x16/apps/$app_id.png 256x256/apps/$app_id.png scalable/apps/$app_id.svg; do
    [ -f "$prefix/share/icons/hicolor/$icon" ] || fail "no icon $icon"
done
[ -f "$prefix/share/metainfo/$app_id.metainfo.xml" ] || fail "no metainfo"
entry="$prefix/share/applications/$app_id.desktop"
desktop-file-validate "$entry" || fail "the desktop entry is not valid"
grep -qx 'Comment=Torvanix by Dalvester' "$entry" || fail "the desktop entry's comment"
# The desktop offers the program for pictures, from this prefix alone.
XDG_DATA_HOME="$prefix/share" XDG_DATA_DIRS="$work/none" XDG_CONFIG_HOME="$work/config" \
    XDG_CONFIG_DIRS="$work/none" gio mime image/png >"$work/mime.log" 2>&1 || true
grep -q "$app_id.desktop" "$work/mime.log" || fail "not offered for PNG: $(cat "$work/mime.log")"

# Started from its desktop entry, the program runs from its own folder: stale working files
# there are deleted at start.
touch "$app/Torvanix.bmp"
gio launch "$entry" >"$work/launch.log" 2>&1 &
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Torvanix by Dalvester$' 2>/dev/null | head -n 1) ||
    fail "no window from the desktop entry; $(cat "$work/launch.log")"
app_pid=$(xdotool getwindowpid "$window")
[ "$(readlink "/proc/$app_pid/exe")" = "$app/torvanix" ] || fail "the window is not the installed program's"
expect_title "Torvanix by Dalvester"
[ ! -e "$app/Torvanix.bmp" ] || fail "the installed program did not clear its working files"
# ... and converts into a working folder of its own, never into the installed folder.
"$MAKE_PICTURE" 40 30 "$work/small.png"
start_drag_source "$work/small.png"
drag_to_app
expect_title "Torvanix by Dalvester [$work/small.png]" 20
folder=$(working_folder_of "$app_pid") || fail "the window holds no working folder"
[ -e "$folder/Torvanix.bmp" ] || fail "the working file is not in the working folder"
[ ! -e "$app/Torvanix.bmp" ] || fail "the working file was written into the installed folder"
"$X_CLOSE" "$window"
for _ in $(seq 1 100); do
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.05
done
kill -0 "$app_pid" 2>/dev/null && fail "the installed program did not exit"
app_pid=""
[ ! -e "$folder" ] || fail "the working folder was left behind"

# Uninstalling as the README says.
xargs -d '\n' rm -f -- <"$work/manifest"
rmdir "$app"
left=$(find "$prefix" -type f -o -type l)
[ -z "$left" ] || fail "left after uninstalling: $left"
echo "PASS"
