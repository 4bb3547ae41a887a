# Shared start of the benchmarks that run the real program: sourced with the build folder
# (build/ unless given), it runs the calling script again inside a virtual X server, then sets
# up the end-to-end tests' helpers (tests/e2e/lib.sh) for that build.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
if [ -z "${INSIDE_XVFB:-}" ]; then
    INSIDE_XVFB=1 exec xvfb-run -a -s '-screen 0 1920x1080x24 -nolisten tcp' "$0" "$build"
fi
export TORVANIX_APP_DIR="$build/bin" X_CLOSE="$build/tests/x_close"
export MAKE_PICTURE="$build/tests/make_picture" DRAG_SOURCE="$build/tests/drag_source"
source "$here/tests/e2e/lib.sh"

# Measures on the picture shown (a line from the centre to the lower left reads as rising to
# the right), then closes the program; sets measured (the title) and peak_kb (its peak
# resident memory).
measure_then_close() {
    drag_on_app 100,300
    for _ in $(seq 1 100); do
        case "$(title)" in "Horizontal+"*) break ;; esac
        sleep 0.05
    done
    measured=$(title)
    case "$measured" in "Horizontal+"*) ;; *) fail "no reading on the picture: $measured" ;; esac
    sleep 0.5
    peak_kb=$(awk '/VmHWM/ {print $2}' "/proc/$app_pid/status")
    close_app
}
