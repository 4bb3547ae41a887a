#!/usr/bin/env bash
# Builds Torvanix (installing what is missing) and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh --program
# The program alone: no tests, test helpers or benchmarks, and none of their dependencies.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF
cmake --build build --target torvanix

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    cat >&2 <<'MSG'
Torvanix is built (build/bin/torvanix) but needs a graphical session to show its window,
and none was found (neither DISPLAY nor WAYLAND_DISPLAY is set).
Run this command again from a desktop session, or try it in a virtual X server:
    xvfb-run -a -s '-screen 0 1280x1024x24' build/bin/torvanix
MSG
    exit 1
fi
exec build/bin/torvanix
