#!/usr/bin/env bash
# Fetches the Debian wallpaper packages whose photographs bench_real_edges measures, unpacks
# them into a cache folder outside the repository and prints that folder. The photos are
# Debian's to ship, not ours: they never go into the repository. Run again, it skips whatever
# is already there.
# Usage: bench/fetch_photos.sh
#   cache: ${TORVANIX_BENCH_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/torvanix-bench}
# Needs apt's package lists (apt-get update, once, as root) and nothing installed: apt-get
# download and dpkg-deb -x work as any user.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cache=${TORVANIX_BENCH_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/torvanix-bench}
mkdir -p "$cache/debs" "$cache/pkg"

# The packages the table of edges names, in the order they appear there.
mapfile -t packages < <(sed -e 's/#.*//' "$here/real_edges.txt" | awk -F'|' 'NF >= 5 {
    gsub(/^[ \t]+|[ \t]+$/, "", $1); if (!seen[$1]++) print $1 }')

for package in "${packages[@]}"; do
    unpacked="$cache/pkg/$package"
    # The marker is written last, so a run cut short unpacks again rather than leaving half.
    if [ -e "$unpacked/.unpacked" ]; then
        continue
    fi
    shopt -s nullglob
    debs=("$cache/debs/${package}_"*.deb)
    shopt -u nullglob
    if [ ${#debs[@]} -eq 0 ]; then
        echo "fetching $package" >&2
        # apt-get download writes into the current folder; a failure names the package.
        (cd "$cache/debs" && apt-get download "$package") >&2 || {
            echo "apt-get download $package failed: are apt's package lists there (apt-get update)?" >&2
            exit 1
        }
        debs=("$cache/debs/${package}_"*.deb)
    fi
    echo "unpacking ${debs[0]##*/}" >&2
    rm -rf "$unpacked"
    mkdir -p "$unpacked"
    dpkg-deb -x "${debs[0]}" "$unpacked"
    dpkg-deb -f "${debs[0]}" Version > "$unpacked/.unpacked"
done
echo "$cache"
