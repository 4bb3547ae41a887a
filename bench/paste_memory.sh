#!/usr/bin/env bash
# The real program's peak memory when a 256-megapixel PNG (16000 x 16000) is pasted from the
# clipboard with Ctrl+V and measured, in a virtual X server, against the 1.3 GB target. Two
# pictures: opaque colour, which the reader scales down while decoding, and one with an alpha
# channel. Then how long Ctrl+V holds the window for a picture just over the limit (16001 x
# 16001), which is refused from its header.
# Usage: bench/paste_memory.sh [build-folder]   (run after building; needs xvfb-run and xclip)
set -euo pipefail
source "$(dirname "$0")/real-program.sh" "$@"

side=16000 target_mb=1300
make_app_folder
status=0
for kind in opaque alpha; do
    picture="$work/$kind.png"
    if [ "$kind" = alpha ]; then
        "$MAKE_PICTURE" "$side" "$side" "$picture" alpha
    else
        "$MAKE_PICTURE" "$side" "$side" "$picture"
    fi
    start_app
    focus_app
    offer_on_clipboard image/png "$picture"
    pressed=$(date +%s.%N)
    xdotool key ctrl+v
    expect_title "Torvanix by Dalvester [Image from Clipboard]" 60
    shown=$(date +%s.%N)
    measure_then_close
    peak_mb=$(( peak_kb / 1000 ))
    printf '%s %dx%d PNG (%d MB): peak %d MB (target %d MB), Ctrl+V to title %s s; %s\n' \
        "$kind" "$side" "$side" "$(( $(stat -c %s "$picture") / 1000000 ))" "$peak_mb" \
        "$target_mb" "$(awk -v a="$pressed" -v b="$shown" 'BEGIN { printf "%.2f", b - a }')" \
        "$measured"
    [ "$peak_mb" -le "$target_mb" ] || status=1
    rm -f "$picture"
done

# Refused: a drag made right after Ctrl+V is answered as soon as the paste gives up.
"$MAKE_PICTURE" 600 400 "$work/small.png"
"$MAKE_PICTURE" $(( side + 1 )) $(( side + 1 )) "$work/over.png"
start_app
focus_app
offer_on_clipboard image/png "$work/small.png"
xdotool key ctrl+v
expect_title "Torvanix by Dalvester [Image from Clipboard]"
offer_on_clipboard image/png "$work/over.png"
pressed=$(date +%s.%N)
xdotool key ctrl+v
drag_on_app 100,300
expect_title "Horizontal+26.56° - Torvanix by Dalvester [Image from Clipboard]" 10
printf 'over the limit, %dx%d PNG: refused, a drag answered %s s after Ctrl+V\n' \
    $(( side + 1 )) $(( side + 1 )) \
    "$(awk -v a="$pressed" -v b="$(date +%s.%N)" 'BEGIN { printf "%.2f", b - a }')"
close_app
exit "$status"
