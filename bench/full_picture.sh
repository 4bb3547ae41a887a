#!/usr/bin/env bash
# The full-resolution reader on the converter's BMPs of a 1- and a 100-megapixel photo (and of
# the large one in grey, which the converter writes as 8-bit runs): the time of one loupe
# region as a drag moves it, and the peak resident memory while the loupe and the edge fit
# read all over the large pictures.
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
"$build/bench/bench_full_picture" grey 10000 10000 "$work/grey-100mp.jpg"
for name in photo-1mp photo-100mp grey-100mp; do
    # As a drop converts it.
    "$convert" "$work/$name.jpg" "BMP3:$work/$name.bmp"
    rm "$work/$name.jpg"
done

for name in photo-100mp grey-100mp; do
    "$build/bench/bench_full_picture" walk "$work/$name.bmp"
done
"$build/bench/bench_full_picture" "$work/photo-1mp.bmp" "$work/photo-100mp.bmp" \
    "$work/grey-100mp.bmp" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
