#!/usr/bin/env bash
# The Debian package, made from this build by scripts/package.sh: lintian finds nothing to
# warn about; it has no maintainer scripts or configuration files, so purging it removes
# exactly what it unpacked; and unpacked into a folder of its own (never the system's), it runs
# as an ordinary user and converts a dropped picture.
# BUILD_FOLDER names the build to package.
source "$(dirname "$0")/lib.sh"

build=${BUILD_FOLDER:?the build folder}
scripts="$(dirname "$0")/../../scripts"
app_id=com.dalvester.Torvanix

mkdir "$work/package"
deb=$("$scripts/package.sh" "$build" "$work/package" | tail -n 1)
[ -f "$deb" ] || fail "scripts/package.sh named no package: '$deb'"
[[ "$(basename "$deb")" =~ ^torvanix_[^_]+_[a-z0-9]+\.deb$ ]] || fail "package name $deb"
lintian --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1 ||
    fail "lintian: $(cat "$work/lintian.log")"

dpkg-deb -e "$deb" "$work/control"
extra=$(find "$work/control" -type f ! -name control ! -name md5sums)
[ -z "$extra" ] || fail "control files that keep state past a purge: $extra"

root="$work/root"
dpkg-deb -x "$deb" "$root"
[ "$(readlink "$root/usr/bin/torvanix")" = ../lib/torvanix/torvanix ] ||
    fail "/usr/bin/torvanix is not a relative link to the program"
[ "$(realpath -ms "/usr/lib/torvanix/$(readlink "$root/usr/lib/torvanix/vconvert.exe")")" = \
    "$(readlink "$TORVANIX_APP_DIR/vconvert.exe")" ] || fail "vconvert.exe does not lead to the converter"
# Camera raw files need the delegate table beside the converter and libraw's decoder.
[ -f "$root/usr/lib/torvanix/delegates.xml" ] || fail "no delegate table for camera raw files"
dpkg-deb -f "$deb" Depends | grep -qw libraw-bin || fail "the package does not depend on libraw-bin"
desktop-file-validate "$root/usr/share/applications/$app_id.desktop" ||
    fail "the desktop entry is not valid"
appstreamcli validate --no-net "$root/usr/share/metainfo/$app_id.metainfo.xml" >"$work/as.log" ||
    fail "the metainfo is not valid: $(cat "$work/as.log")"
for icon in 16x16 22x22 24x24 32x32 48x48 64x64 128x128 256x256; do
    [ "$(identify -format %wx%h "$root/usr/share/icons/hicolor/$icon/apps/$app_id.png")" = "$icon" ] ||
        fail "no $icon icon"
done
[ -f "$root/usr/share/icons/hicolor/scalable/apps/$app_id.svg" ] || fail "no scalable icon"

# The converter is ImageMagick's, which the package depends on; in the unpacked tree the
# relative link finds it where the dependency puts it.
mkdir -p "$root/usr/bin"
ln -s "$(readlink -f /usr/bin/convert)" "$root/usr/bin/convert"

make_ordinary_user
mv "$root" "$shared/root"
root="$shared/root"
mkdir "$shared/pictures"
picture="$shared/pictures/level.png"
"$MAKE_PICTURE" 40 30 "$picture"
check_user_can_run "$root/usr/bin/torvanix"
as_ordinary_user "$root/usr/bin/torvanix" >"$work/app.log" 2>&1 &
app_pid=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Torvanix by Dalvester$' 2>/dev/null |
    head -n 1) || fail "no window appeared; log: $(cat "$work/app.log")"
[ "$(stat -c %U "/proc/$(xdotool getwindowpid "$window")")" = "$test_user" ] ||
    fail "the program does not run as the ordinary user"
start_drag_source "$picture"
drag_to_app
expect_title "Torvanix by Dalvester [$picture]" 20
close_app
echo "PASS"
