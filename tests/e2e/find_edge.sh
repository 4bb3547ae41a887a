#!/usr/bin/env bash
# F puts the line on the picture's strongest straight edge without any drawing: a horizon
# tilted by 0.8 degrees among shorter edges, a curve and noise reads exactly that; F again moves
# to another edge and Shift+F back; a flat picture says so in a notice and keeps its title.
source "$(dirname "$0")/lib.sh"

make_app_folder
picture="$work/scene.png"
# tan(0.8 degrees) = 0.0139632; the horizon runs through the centre of 2400 x 1600.
rise=$(awk 'BEGIN { printf "%.2f", 1200 * 0.0139632 }')
"$convert_tool" -size 2400x1600 xc:'rgb(200,200,200)' -fill 'rgb(60,60,60)' \
    -draw "polygon 0,$(awk -v r="$rise" 'BEGIN { print 800 + r }') 2400,$(awk -v r="$rise" 'BEGIN { print 800 - r }') 2400,1600 0,1600" \
    -fill 'rgb(120,120,120)' -draw 'rectangle 300,200 700,260' -draw 'circle 1800,350 1800,470' \
    -stroke 'rgb(90,90,90)' -strokewidth 5 -draw 'line 1000,120 1250,480' \
    -blur 0x0.8 -attenuate 0.3 +noise Gaussian "PNG24:$picture"
"$convert_tool" -size 1200x800 xc:'rgb(150,150,150)' "PNG24:$work/flat.png"

# How dark the bottom strip of the window is, 0 to 1, as the X server shows it.
bottom_mean() {
    import -window "$window" "$work/shot.png"
    "$convert_tool" "$work/shot.png" -gravity South -crop 100%x6+0+0 -format '%[fx:mean]' info:
}
# Presses the key and waits until the title reads another tilt; prints it (signed, e.g. +0.80).
reading_after() {
    local was now
    was=$(title)
    xdotool key --window "$window" "$1"
    for _ in $(seq 1 100); do
        now=$(title)
        if [ "$now" != "$was" ]; then
            sed -n 's/^\(Horizontal\|Vertical\)\([+-][0-9.]*\)° - .*/\2/p' <<<"$now"
            return 0
        fi
        sleep 0.05
    done
    fail "the title stayed '$was'"
}

start_app "$picture"
expect_title "Torvanix by Dalvester [$picture]" 20
focus_app
first=$(reading_after f)
awk -v r="$first" 'BEGIN { exit !(r >= 0.79 && r <= 0.81) }' ||
    fail "F read '$first', expected the horizon's +0.80"
second=$(reading_after f)
[ "$second" != "$first" ] || fail "F again stayed on the horizon"
back=$(reading_after shift+f)
[ "$back" = "$first" ] || fail "Shift+F read '$back', expected the horizon's '$first' again"
close_app

start_app "$work/flat.png"
expect_title "Torvanix by Dalvester [$work/flat.png]" 20
focus_app
before=$(bottom_mean)
xdotool key --window "$window" f
SECONDS=0
until awk -v b="$before" -v a="$(bottom_mean)" 'BEGIN { exit !(a < 0.7 * b) }'; do
    [ "$SECONDS" -lt 3 ] || fail "no notice after F on a flat picture"
    sleep 0.1
done
[ "$(title)" = "Torvanix by Dalvester [$work/flat.png]" ] || fail "the title changed to '$(title)'"
close_app
echo "PASS"
