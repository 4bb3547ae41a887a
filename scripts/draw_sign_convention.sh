#!/usr/bin/env bash
# Draws docs/sign-convention.png: the four kinds of reading the title can show, each with the
# measuring line turned 8 degrees from its axis, so the sign of a reading can be checked by eye.
# Screen Y grows downwards, so a line rising to the right has its right end at a smaller y.
set -euo pipefail
cd "$(dirname "$0")/.."

convert_tool=/usr/bin/convert
fonts=/usr/share/fonts/truetype/dejavu
regular="$fonts/DejaVuSans.ttf"
bold="$fonts/DejaVuSans-Bold.ttf"

# ImageMagick and the DejaVu fonts.
scripts/deps.sh imagemagick fonts-dejavu-core

out=docs/sign-convention.png
mkdir -p docs

panel_w=400
panel_h=250
degrees=8
ink='#202020'
axis_grey='#9a9a9a'
plus_colour='#1565c0'
minus_colour='#c62828'

# Text for -annotate, taken literally: % would start an escape, a backslash too, and a leading
# @ would read a file.
literal() {
    local text=$1
    text=${text//\\/\\\\}
    text=${text//%/%%}
    if [ "${text:0:1}" = "@" ]; then
        text="\\$text"
    fi
    printf '%s' "$text"
}

# Prints the MVG for one panel's drawing: the dashed axis, the angle between axis and line,
# and the line with its end dots.
#   $1 horizontal|vertical   $2 the signed angle on screen, in degrees, clockwise positive
#   (the way ImageMagick turns with y downwards)   $3 colour
panel_drawing() {
    awk -v kind="$1" -v turn="$2" -v colour="$3" -v axis="$axis_grey" -v w="$panel_w" \
        'BEGIN {
        pi = atan2(0, -1)
        cx = w / 2
        if (kind == "horizontal") {
            cy = 95; half = 135; base = 0; axis_half = 175
        } else {
            cy = 98; half = 78; base = 90; axis_half = 88
        }
        # Direction from the centre to the right end, or to the lower end, on screen (y down).
        a = (base + turn) * pi / 180
        ex = cos(a) * half; ey = sin(a) * half
        ax = cos(base * pi / 180) * axis_half; ay = sin(base * pi / 180) * axis_half
        printf "push graphic-context stroke %s stroke-width 2 fill none stroke-dasharray 9 6 ", axis
        printf "line %.2f,%.2f %.2f,%.2f pop graphic-context ", cx - ax, cy - ay, cx + ax, cy + ay
        printf "stroke %s stroke-width 7 stroke-linecap round ", colour
        printf "line %.2f,%.2f %.2f,%.2f ", cx - ex, cy - ey, cx + ex, cy + ey
        printf "stroke none fill %s ", colour
        printf "circle %.2f,%.2f %.2f,%.2f ", cx - ex, cy - ey, cx - ex + 8, cy - ey
        printf "circle %.2f,%.2f %.2f,%.2f ", cx + ex, cy + ey, cx + ex + 8, cy + ey
    }'
}

# Where the angle's label goes, as +x+y for -annotate with NorthWest gravity: beside the right
# end, or the lower end, on the side of the axis, in the opening between axis and line.
label_place() {
    awk -v kind="$1" -v turn="$2" -v w="$panel_w" 'BEGIN {
        pi = atan2(0, -1)
        cx = w / 2
        if (kind == "horizontal") {
            cy = 95
            a = turn * pi / 180
            x = cx + cos(a) * 135 + 14
            y = turn < 0 ? cy - 20 : cy + 2
        } else {
            cy = 98
            a = (90 + turn) * pi / 180
            y = cy + sin(a) * 78 - 22
            x = turn < 0 ? cx + cos(a) * 78 + 14 : cx + cos(a) * 78 - 42
        }
        printf "+%d+%d", x, y
    }'
}

# One panel, added to the array named by $1: $2 kind, $3 screen angle, $4 colour, $5 caption,
# $6 second line.
panel() {
    local -n into=$1
    local kind=$2 turn=$3 colour=$4 caption=$5 note=$6
    into+=(
        '(' -size "${panel_w}x${panel_h}" xc:white
        -draw "$(panel_drawing "$kind" "$turn" "$colour")"
        -gravity NorthWest -font "$regular" -pointsize 15 -fill "$colour" -stroke none
        -annotate "$(label_place "$kind" "$turn")" "$(literal "${degrees}°")"
        -gravity North -font "$bold" -pointsize 26 -fill "$ink"
        -annotate +0+188 "$(literal "$caption")"
        -font "$regular" -pointsize 16 -fill '#505050'
        -annotate +0+224 "$(literal "$note")"
        ')'
    )
}

top=()
bottom=()
# Rising to the right: the right end is higher, at a smaller y, so on screen the line is turned
# anticlockwise, -8 in ImageMagick's clockwise angles.
panel top horizontal "-$degrees" "$plus_colour" "Horizontal+${degrees}.00°" "rises to the right"
panel top horizontal "$degrees" "$minus_colour" "Horizontal-${degrees}.00°" "falls to the right"
# The lower end is at angle 90 from the centre; turned anticlockwise (less than 90) it lies to
# the right of the upper end.
panel bottom vertical "-$degrees" "$plus_colour" "Vertical+${degrees}.00°" "lower end to the right"
panel bottom vertical "$degrees" "$minus_colour" "Vertical-${degrees}.00°" "lower end to the left"

footer="+ means the feature is turned anticlockwise; straighten the picture by turning it the other way."

"$convert_tool" \
    '(' "${top[@]}" -gravity NorthWest +append ')' \
    '(' "${bottom[@]}" -gravity NorthWest +append ')' \
    -append +repage \
    -gravity South -background white -splice 0x60 \
    -font "$regular" -pointsize 15 -fill "$ink" -stroke none \
    -annotate +0+22 "$(literal "$footer")" \
    -gravity NorthWest -fill none -stroke '#d8d8d8' -strokewidth 1 \
    -draw "line $panel_w,10 $panel_w,$(( 2 * panel_h - 10 ))" \
    -draw "line 10,$panel_h $(( 2 * panel_w - 10 )),$panel_h" \
    -draw "line 10,$(( 2 * panel_h )) $(( 2 * panel_w - 10 )),$(( 2 * panel_h ))" \
    -depth 8 -strip "png:$out"

echo "wrote $out"
