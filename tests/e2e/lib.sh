# Shared steps of the end-to-end scripts: a private copy of the application folder, the program
# started in it, its window found, its title read the way a window manager reads it.
set -euo pipefail

: "${TORVANIX_APP_DIR:?the application folder to test}"
: "${X_CLOSE:?the x_close helper}"

work=$(mktemp -d)
app_pid=""
cleanup() {
    if [ -n "$app_pid" ] && kill -0 "$app_pid" 2>/dev/null; then
        kill -9 "$app_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Copies the application folder so the test's working files stay its own.
make_app_folder() {
    app="$work/app"
    mkdir -p "$app"
    cp -P "$TORVANIX_APP_DIR/torvanix" "$TORVANIX_APP_DIR/vconvert.exe" \
        "$TORVANIX_APP_DIR/ReadMe.txt" "$app/"
}

start_app() {
    "$app/torvanix" >"$work/app.log" 2>&1 &
    app_pid=$!
    window=$(timeout 20 xdotool search --sync --onlyvisible --pid "$app_pid" 2>/dev/null | head -n 1) ||
        fail "no window appeared; log: $(cat "$work/app.log")"
}

title() {
    xprop -id "$window" _NET_WM_NAME | sed -e 's/^[^=]*= "//' -e 's/"$//'
}

# Waits until the title equals $1 (the program sets it as events arrive).
expect_title() {
    local want=$1 got=""
    for _ in $(seq 1 100); do
        got=$(title)
        [ "$got" = "$want" ] && return 0
        sleep 0.05
    done
    fail "title is '$got', expected '$want'"
}

client_size() {
    xwininfo -id "$window" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}'
}

close_app() {
    "$X_CLOSE" "$window"
    local status=0
    for _ in $(seq 1 100); do
        kill -0 "$app_pid" 2>/dev/null || break
        sleep 0.05
    done
    kill -0 "$app_pid" 2>/dev/null && fail "the program did not exit after its window was closed"
    wait "$app_pid" || status=$?
    app_pid=""
    [ "$status" -eq 0 ] || fail "the program exited with status $status; log: $(cat "$work/app.log")"
}
