#!/usr/bin/env bash
# Enter on a photo-like edge: a horizon between a blue and a green of nearly the same grey, out
# of focus, crossed by stalks in focus, rising 1.5 degrees to the right. A line drawn by hand a
# pixel or two off it comes back on it: the title reads its tilt and a notice says how sure.
source "$(dirname "$0")/lib.sh"

make_app_folder
picture="$work/dune.jpg"
# 2400 x 1600 in the window's 600 x 400: four picture pixels to a window pixel. The boundary
# runs through the centre; tan(1.5 degrees) = 0.0261859.
rise=$(awk 'BEGIN { printf "%.2f", 1200 * 0.0261859 }')
stalks=()
for x in 150 420 700 1010 1330 1600 1900 2150; do
    stalks+=(-draw "line $x,1600 $((x + 260)),420")
done
"$convert_tool" -size 2400x1600 xc:'rgb(80,140,60)' -fill 'rgb(70,130,200)' \
    -draw "polygon 0,0 2400,0 2400,$(awk -v r="$rise" 'BEGIN { print 800 - r }') 0,$(awk -v r="$rise" 'BEGIN { print 800 + r }')" \
    -blur 0x10 -stroke 'rgb(205,170,90)' -strokewidth 9 "${stalks[@]}" \
    -attenuate 0.4 +noise Gaussian -quality 85 "JPEG:$picture"

# How dark the bottom strip of the window is, 0 to 1, as the X server shows it.
bottom_mean() {
    import -window "$window" "$work/shot.png"
    "$convert_tool" "$work/shot.png" -gravity South -crop 100%x6+0+0 -format '%[fx:mean]' info:
}

start_app "$picture"
expect_title "Torvanix by Dalvester [$picture]" 20
focus_app
# On the horizon at x = 60 and 540 window pixels, 1.5 below and 1 above it.
drag_on_app 60,207.8 540,192.7
before=$(bottom_mean)
xdotool key --window "$window" Return
SECONDS=0
while :; do
    reading=$(title | sed -n 's/^Horizontal+\([0-9.]*\)° - .*/\1/p')
    [ -n "$reading" ] && awk -v r="$reading" 'BEGIN { exit !(r >= 1.46 && r <= 1.54) }' && break
    [ "$SECONDS" -lt 5 ] || fail "the title is '$(title)', expected a tilt within 0.04 of +1.50°"
    sleep 0.05
done
awk -v b="$before" -v a="$(bottom_mean)" 'BEGIN { exit !(a < 0.7 * b) }' ||
    fail "no notice over the bottom of the picture after Enter"
close_app
echo "PASS"
