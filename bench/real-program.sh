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
