#!/usr/bin/env bash
# The full-resolution reader on the converter's BMPs of a 1- and a 100-megapixel photo, and of
# a 49-megapixel grey one, which the converter writes as 8-bit runs (its default limits refuse
# grey pictures much larger): the time of one loupe region as a drag moves it, and the peak
# resident memory while the loupe and the edge fit read all over the large pictures.
# Usage: bench/full_picture.sh [build-folder]   (after building bench_full_picture and
# make_picture; the converter is the one the build links as vconvert.exe)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
convert="$build/bin/vconvert.exe"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/tests/make_picture" 1000 1000 "$work/photo-1mp.jpg"
"$build/tests/make_picture" 10000 10000 "$work/photo-100mp.jpg"
"$build/bench/bench_full_picture" grey 7000 7000 "$work/grey-49mp.png"
for picture in "$work"/*.jpg "$work"/*.png; do
    # As a drop converts it.
    "$convert" "$picture" "BMP3:${picture%.*}.bmp"
    rm "$picture"
done

for name in photo-100mp grey-49mp; do
    "$build/bench/bench_full_picture" walk "$work/$name.bmp"
done
"$build/bench/bench_full_picture" "$work/photo-1mp.bmp" "$work/photo-100mp.bmp" \
    "$work/grey-49mp.bmp" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
