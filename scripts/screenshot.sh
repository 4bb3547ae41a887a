#!/usr/bin/env bash
# Takes docs/screenshot.png: the real program, in a virtual X server with a window manager so
# its title bar shows, measuring a seascape whose horizon rises 2 degrees to the right.
# Everything runs in a display of its own; nothing is left behind but the screenshot.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

convert_tool=/usr/bin/convert
import_tool=/usr/bin/import
app_dir="$repo/build/bin"
out="$repo/docs/screenshot.png"

# The picture: 1200 x 800, the horizon through (600, 370) and turned this many degrees
# anticlockwise, so that it rises to the right.
pic_w=1200
pic_h=800
horizon_x=600
horizon_y=370
tilt=2
# The client area the picture is shown in: the picture's own proportions.
client_w=900
client_h=600

# --- tools ----------------------------------------------------------------------------------

scripts/deps.sh xvfb openbox xdotool xclip x11-utils imagemagick fonts-dejavu-core

if [ ! -x "$app_dir/torvanix" ]; then
    echo "Building the program first"
    scripts/deps.sh
    if [ ! -f build/CMakeCache.txt ]; then
        cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
    fi
    cmake --build build --target torvanix
fi

# --- clean-up -------------------------------------------------------------------------------

work=$(mktemp -d)
xvfb_pid=""
wm_pid=""
app_pid=""

stop() {
    local pid=$1
    [ -n "$pid" ] || return 0
    if kill -0 "$pid" 2>/dev/null; then
        kill -TERM "$pid" 2>/dev/null || true
        for _ in $(seq 1 50); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.05
        done
        kill -0 "$pid" 2>/dev/null && kill -KILL "$pid" 2>/dev/null
    fi
    wait "$pid" 2>/dev/null || true
}

cleanup() {
    stop "$app_pid"
    stop "$wm_pid"
    # xclip serves the clipboard from a process of its own; it ends with the X server.
    stop "$xvfb_pid"
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

fail() {
    echo "screenshot: $*" >&2
    exit 1
}

# --- the picture ----------------------------------------------------------------------------

# The scene is drawn level on a larger canvas, turned about the point on the horizon that becomes
# (horizon_x, horizon_y), and cut to size, so no corner of the turned canvas shows.
margin=100
canvas_w=$(( pic_w + 2 * margin ))
canvas_h=$(( pic_h + 2 * margin ))
level_y=$(( horizon_y + margin ))
sea_h=$(( canvas_h - level_y ))
picture="$work/seascape.png"

"$convert_tool" \
    '(' -size "${canvas_w}x${level_y}" gradient:'#3f72b8'-'#dcebf6' ')' \
    '(' -size "${canvas_w}x${sea_h}" gradient:'#3a7896'-'#0c2c44' ')' \
    -append +repage \
    '(' -size "${canvas_w}x${canvas_h}" xc:none -fill '#fff6d0' \
        -draw "circle 1010,250 1010,180" -blur 0x30 ')' \
    -composite \
    -stroke none \
    -fill '#fffbe8' -draw "circle 1010,250 1010,208" \
    -fill 'rgba(255,255,255,0.75)' \
    -draw "ellipse 360,190 110,26 0,360" -draw "ellipse 450,175 80,30 0,360" \
    -draw "ellipse 290,200 70,18 0,360" \
    -draw "ellipse 1240,120 90,20 0,360" -draw "ellipse 1310,110 60,22 0,360" \
    -fill 'rgba(255,246,200,0.55)' \
    -draw "rectangle 975,$(( level_y + 14 )) 1045,$(( level_y + 17 ))" \
    -draw "rectangle 960,$(( level_y + 34 )) 1062,$(( level_y + 38 ))" \
    -draw "rectangle 985,$(( level_y + 60 )) 1035,$(( level_y + 64 ))" \
    -draw "rectangle 950,$(( level_y + 92 )) 1075,$(( level_y + 97 ))" \
    -draw "rectangle 975,$(( level_y + 132 )) 1050,$(( level_y + 138 ))" \
    -fill '#4a4640' \
    -draw "polygon 330,$(( level_y + 110 )) 370,$(( level_y + 62 )) 420,$(( level_y + 40 )) 505,$(( level_y + 36 )) 560,$(( level_y + 58 )) 610,$(( level_y + 110 ))" \
    -fill '#5d5850' \
    -draw "polygon 400,$(( level_y + 110 )) 430,$(( level_y + 70 )) 500,$(( level_y + 58 )) 540,$(( level_y + 110 ))" \
    -fill '#f4f1ea' \
    -draw "polygon 442,$(( level_y + 44 )) 451,$(( level_y - 190 )) 489,$(( level_y - 190 )) 498,$(( level_y + 44 ))" \
    -fill '#c0392b' \
    -draw "polygon 446,$(( level_y - 50 )) 448,$(( level_y - 95 )) 492,$(( level_y - 95 )) 494,$(( level_y - 50 ))" \
    -draw "polygon 449,$(( level_y - 140 )) 450,$(( level_y - 175 )) 490,$(( level_y - 175 )) 491,$(( level_y - 140 ))" \
    -fill '#2b2b2b' -draw "rectangle 446,$(( level_y - 198 )) 494,$(( level_y - 190 ))" \
    -fill '#ffe07a' -draw "rectangle 455,$(( level_y - 224 )) 485,$(( level_y - 198 ))" \
    -fill '#2b2b2b' \
    -draw "polygon 449,$(( level_y - 224 )) 470,$(( level_y - 246 )) 491,$(( level_y - 224 ))" \
    -draw "rectangle 454,$(( level_y - 224 )) 457,$(( level_y - 198 ))" \
    -draw "rectangle 483,$(( level_y - 224 )) 486,$(( level_y - 198 ))" \
    -fill '#3a2a20' \
    -draw "polygon 1160,$(( level_y + 40 )) 1250,$(( level_y + 40 )) 1238,$(( level_y + 54 )) 1172,$(( level_y + 54 ))" \
    -fill '#fafafa' \
    -draw "polygon 1203,$(( level_y + 36 )) 1203,$(( level_y - 58 )) 1248,$(( level_y + 36 ))" \
    -fill '#e8e2d4' \
    -draw "polygon 1198,$(( level_y + 36 )) 1198,$(( level_y - 44 )) 1166,$(( level_y + 36 ))" \
    -fill '#3a2a20' -draw "rectangle 1199,$(( level_y - 60 )) 1202,$(( level_y + 40 ))" \
    -virtual-pixel edge \
    -distort SRT "$(( horizon_x + margin )),$level_y 1 -$tilt $(( horizon_x + margin )),$level_y" \
    -crop "${pic_w}x${pic_h}+${margin}+${margin}" +repage \
    -depth 8 -strip "png:$picture"

# --- a display of our own, with a window manager --------------------------------------------

unset DISPLAY WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb
# Settings, caches and the run-time folder of everything started here stay in the temp folder.
export HOME="$work/home"
export XDG_CONFIG_HOME="$work/home/.config"
export XDG_CACHE_HOME="$work/home/.cache"
export XDG_DATA_HOME="$work/home/.local/share"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
# xprop prints the title's degree sign as it is only in a UTF-8 locale.
export LC_ALL=C.UTF-8

for number in $(seq 93 130); do
    if [ -e "/tmp/.X${number}-lock" ] || [ -e "/tmp/.X11-unix/X${number}" ]; then
        continue
    fi
    Xvfb ":$number" -screen 0 1280x900x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 1 100); do
        if xdpyinfo -display ":$number" >/dev/null 2>&1; then
            export DISPLAY=":$number"
            break 2
        fi
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.05
    done
    # Another server took the number first, or this one did not come up: try the next.
    stop "$xvfb_pid"
    xvfb_pid=""
done
[ -n "${DISPLAY:-}" ] || fail "no free display for Xvfb; log: $(cat "$work/xvfb.log")"

openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm_pid=$!
for _ in $(seq 1 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    kill -0 "$wm_pid" 2>/dev/null || fail "openbox did not start: $(cat "$work/openbox.log")"
    sleep 0.05
done

# --- the program, in a folder of its own ----------------------------------------------------

app="$work/app"
mkdir -p "$app"
cp -P "$app_dir/torvanix" "$app_dir/vconvert.exe" "$app_dir/ReadMe.txt" "$app_dir/delegates.xml" "$app/"
(cd "$app" && exec ./torvanix) >"$work/app.log" 2>&1 &
app_pid=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --pid "$app_pid" 2>/dev/null | head -n 1) ||
    fail "no window appeared; log: $(cat "$work/app.log")"

# xprop writes the title in C-like quotes: \" for a quote, \\ for a backslash.
title() {
    xprop -id "$window" _NET_WM_NAME | sed -e 's/^[^=]*= "//' -e 's/"$//' -e 's/\\\(.\)/\1/g'
}

# Waits until the title equals $1, for at most $2 seconds.
expect_title() {
    local want=$1 got=""
    for _ in $(seq 1 $(( $2 * 20 ))); do
        got=$(title)
        [ "$got" = "$want" ] && return 0
        sleep 0.05
    done
    fail "the title is '$got', not '$want'"
}

# --- paste the picture ----------------------------------------------------------------------

xclip -selection clipboard -t image/png -i "$picture" 2>/dev/null
for _ in $(seq 1 100); do
    xclip -selection clipboard -t TARGETS -o 2>/dev/null | grep -qx image/png && break
    sleep 0.05
done
timeout 10 xdotool windowactivate --sync "$window" ||
    timeout 10 xdotool windowfocus --sync "$window"
xdotool key ctrl+v
expect_title "Torvanix by Dalvester [Image from Clipboard]" 20

# --- show it at its own proportions ---------------------------------------------------------

timeout 10 xdotool windowsize --sync "$window" "$client_w" "$client_h" || true
xdotool windowmove "$window" 60 50
sleep 0.5
read -r shown_w shown_h < <(xwininfo -id "$window" |
    awk '/^ *Width:/ {w = $2} /^ *Height:/ {h = $2} END {print w, h}')
[ "$shown_w" = "$client_w" ] && [ "$shown_h" = "$client_h" ] ||
    echo "screenshot: the window manager gave the client ${shown_w}x${shown_h}, not ${client_w}x${client_h}" >&2

# --- measure along the horizon --------------------------------------------------------------

# The horizon in the window: y = cy - (x - cx) * tan(tilt), scaled from the picture. Of the whole
# pixels near its two ends, the pair whose slope is nearest the true one, so the line lies
# within half a pixel of the horizon at both ends.
read -r x1 y1 x2 y2 < <(awk -v pw="$pic_w" -v ph="$pic_h" -v hx="$horizon_x" -v hy="$horizon_y" \
    -v tilt="$tilt" -v w="$shown_w" -v h="$shown_h" 'BEGIN {
    pi = atan2(0, -1)
    t = sin(tilt * pi / 180) / cos(tilt * pi / 180)
    sx = w / pw; sy = h / ph
    best = -1
    for (a = int(w * 0.04); a <= int(w * 0.08); a++) {
        ya = int(sy * (hy - (a / sx - hx) * t) + 0.5)
        for (b = int(w * 0.92); b <= int(w * 0.96); b++) {
            yb = int(sy * (hy - (b / sx - hx) * t) + 0.5)
            # The slope in picture pixels, as the reading takes it.
            err = (ya - yb) / sy / ((b - a) / sx) - t
            if (err < 0) err = -err
            if (best < 0 || err < best) { best = err; bx1 = a; by1 = ya; bx2 = b; by2 = yb }
        }
    }
    print bx1, by1, bx2, by2
}')
cx=$(( shown_w / 2 ))
cy=$(( shown_h / 2 ))

# The line starts as a point at the centre: the first press takes one end to the left end of
# the horizon, then the end still at the centre is dragged to the right end.
xdotool mousemove --window "$window" "$x1" "$y1" mousedown 1
xdotool mouseup 1
xdotool mousemove --window "$window" "$cx" "$cy" mousedown 1
for step in 1 2 3 4; do
    xdotool mousemove --window "$window" \
        "$(( cx + (x2 - cx) * step / 5 ))" "$(( cy + (y2 - cy) * step / 5 ))"
done
xdotool mousemove --window "$window" "$x2" "$y2"
xdotool mouseup 1
# Out of the way of the picture (Xvfb leaves the pointer out of screenshots anyway).
xdotool mousemove 1270 890

# The drag passes through other readings; wait for one that starts right and stays put.
reading=""
for _ in $(seq 1 100); do
    got=$(title)
    if [[ "$got" == Horizontal+* ]] && [ "$got" = "$reading" ]; then
        break
    fi
    reading=$got
    sleep 0.1
done
[[ "$reading" == Horizontal+* ]] || fail "the title is '$reading', not a Horizontal+ reading"
echo "title: $reading"
degrees=${reading#Horizontal+}
degrees=${degrees%%°*}
awk -v d="$degrees" -v t="$tilt" 'BEGIN { e = d - t; exit !(e < 0.05 && e > -0.05) }' ||
    fail "the reading $degrees° is not within 0.05° of the picture's $tilt°"

# --- the screenshot -------------------------------------------------------------------------

sleep 0.3
# The window manager's frame, with the title bar: the ancestor of the program's window that is
# a child of the root.
root_id=$(xwininfo -root | awk '/Window id:/ {print $4; exit}')
frame_id=$window
for _ in $(seq 1 10); do
    parent=$(xwininfo -children -id "$frame_id" | awk '/Parent window id:/ {print $4; exit}')
    [ -n "$parent" ] || fail "cannot find the window's frame"
    [ "$(( parent ))" -eq "$(( root_id ))" ] && break
    frame_id=$parent
done
frame=$(xwininfo -id "$frame_id")
frame_x=$(awk '/Absolute upper-left X:/ {print $4}' <<<"$frame")
frame_y=$(awk '/Absolute upper-left Y:/ {print $4}' <<<"$frame")
frame_w=$(awk '/^ *Width:/ {print $2}' <<<"$frame")
frame_h=$(awk '/^ *Height:/ {print $2}' <<<"$frame")
[ "$frame_h" -gt "$shown_h" ] || fail "the window has no title bar (frame ${frame_w}x${frame_h})"
mkdir -p "$(dirname "$out")"
"$import_tool" -window root "$work/screen.png"
"$convert_tool" "$work/screen.png" -crop "${frame_w}x${frame_h}+${frame_x}+${frame_y}" +repage \
    -depth 8 -strip -define png:compression-level=9 "png:$out"
echo "wrote docs/screenshot.png ($(stat -c %s "$out") bytes, ${frame_w}x${frame_h})"

# --- close ----------------------------------------------------------------------------------

xdotool key --window "$window" Escape
expect_title "Torvanix by Dalvester [Image from Clipboard]" 5
stop "$app_pid"
app_pid=""
