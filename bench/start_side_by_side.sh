#!/usr/bin/env bash
# Start-up of several builds side by side, in one virtual X server: runs each build's
# bench_window in turn (the order rotated every round, so drift and warm caches touch all alike)
# and prints, for each, the median and spread of the cold start to the first painted frame (one
# per process) and of another window built and painted in a running program
# (BM_StartToFirstPaint, the mean of 20 per process).
#   bench/start_side_by_side.sh [-n ROUNDS] BUILD...   (30 rounds unless given)
# Each build must have been made with -DBUILD_TESTING=ON. QT_QPA_PLATFORM=offscreen measures
# without the X server.
set -euo pipefail
rounds=30
if [ "${1:-}" = -n ]; then
    rounds=$2
    shift 2
fi
[ $# -ge 1 ] || { echo "usage: $0 [-n ROUNDS] BUILD..." >&2; exit 2; }
if [ -z "${INSIDE_XVFB:-}" ]; then
    INSIDE_XVFB=1 exec xvfb-run -a -s '-screen 0 1920x1080x24 -nolisten tcp' "$0" -n "$rounds" "$@"
fi
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-xcb}
builds=("$@")
for build in "${builds[@]}"; do
    [ -x "$build/bench/bench_window" ] || { echo "no $build/bench/bench_window" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The windows make their working folders in a cache of the run's own, as in a fresh account.
export XDG_CACHE_HOME="$work/cache"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

# One run of build number $1: appends its cold start and warm window time, in ms.
run_once() {
    local out
    out=$("${builds[$1]}/bench/bench_window" --benchmark_filter=StartToFirstPaint 2>>"$work/log")
    awk '/^Cold start to first painted frame:/ {print $(NF-1)}' <<<"$out" >>"$work/cold.$1"
    awk '$1 ~ /^BM_StartToFirstPaint/ {print $2}' <<<"$out" >>"$work/warm.$1"
}

count=${#builds[@]}
for round in $(seq 0 $((rounds - 1))); do
    for step in $(seq 0 $((count - 1))); do
        run_once $(((round + step) % count))
    done
done

# Median, quartiles and extremes of a column of numbers.
summary() {
    sort -g "$1" | awk '{v[NR] = $1}
        END {q3 = int(3 * NR / 4) + 1; if (q3 > NR) q3 = NR
             printf "median %6.2f  quartiles %6.2f-%6.2f  range %6.2f-%6.2f  (n=%d)",
             (v[int((NR + 1) / 2)] + v[int(NR / 2) + 1]) / 2, v[int(NR / 4) + 1], v[q3],
             v[1], v[NR], NR}'
}

echo "platform $QT_QPA_PLATFORM, $rounds rounds, times in ms"
for index in "${!builds[@]}"; do
    echo "${builds[$index]}"
    printf '  cold start to first paint: %s\n' "$(summary "$work/cold.$index")"
    printf '  another window, warm:      %s\n' "$(summary "$work/warm.$index")"
    [ "$index" -gt 0 ] || continue
    # Differences to the first build within each round, where the machine's state is shared.
    for kind in cold warm; do
        paste "$work/$kind.$index" "$work/$kind.0" | awk '{print $1 - $2}' >"$work/$kind.diff"
    done
    printf '  cold, minus the first build in the same round: %s\n' "$(summary "$work/cold.diff")"
    printf '  warm, minus the first build in the same round: %s\n' "$(summary "$work/warm.diff")"
done
