# Shared steps of the end-to-end scripts: a private copy of the application folder, the program
# started in it, its window found, its title read the way a window manager reads it.
set -euo pipefail

: "${TORVANIX_APP_DIR:?the application folder to test}"
: "${X_CLOSE:?the x_close helper}"
: "${MAKE_PICTURE:?the make_picture helper}"
: "${DRAG_SOURCE:?the drag_source helper}"

work=$(mktemp -d)
# Windows make their working folders in a cache of the test's own, and Qt its runtime folder
# in the test's folder rather than the temporary one.
export XDG_CACHE_HOME="$work/cache"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
app_pid=""
source_pid=""
other_pids=()
other_folders=()
cleanup() {
    for pid in "$app_pid" "$source_pid" "${other_pids[@]}"; do
        if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
            kill -9 "$pid" 2>/dev/null || true
        fi
    done
    rm -rf "$work" "${other_folders[@]}"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# The processes pgrep "$@" finds that still run. A killed process stays a zombie until init
# collects it, which on some machines happens only every two seconds; it runs no more.
still_running() {
    local pid state
    for pid in $(pgrep "$@"); do
        state=$(ps -o stat= -p "$pid") || continue
        case $state in
        *Z*) ;;
        *) echo "$pid" ;;
        esac
    done
}

# No process of group $1 may still run; $2 says what they are.
expect_group_gone() {
    for _ in $(seq 1 40); do
        [ -n "$(still_running -g "$1")" ] || return 0
        sleep 0.05
    done
    fail "$2 are still running: $(pgrep -a -g "$1")"
}

# Copies the application folder into $1 (the test's folder unless given) so the test's working
# files stay its own. The converter's link stays a link; the rest are real copies.
make_app_folder() {
    app="${1:-$work}/app"
    mkdir -p "$app"
    cp -L "$TORVANIX_APP_DIR/torvanix" "$TORVANIX_APP_DIR/ReadMe.txt" \
        "$TORVANIX_APP_DIR/delegates.xml" "$app/"
    cp -P "$TORVANIX_APP_DIR/vconvert.exe" "$app/"
}

# Starts the program with the given arguments, if any.
start_app() {
    "$app/torvanix" "$@" >"$work/app.log" 2>&1 &
    app_pid=$!
    window=$(timeout 20 xdotool search --sync --onlyvisible --pid "$app_pid" 2>/dev/null | head -n 1) ||
        fail "no window appeared; log: $(cat "$work/app.log")"
}

# The working folder of the window whose process is $1: where its lock file is held open. A
# window makes it when its first drop is converted, so it is waited for a few seconds.
working_folder_of() {
    local fd target
    for _ in $(seq 1 100); do
        for fd in /proc/"$1"/fd/*; do
            target=$(readlink "$fd" 2>/dev/null) || continue
            case "$target" in
                */window.lock) dirname "$target"; return 0 ;;
            esac
        done
        sleep 0.05
    done
    return 1
}

# xprop writes the title in C-like quotes: \" for a quote, \\ for a backslash, \n for a newline.
title() {
    xprop -id "$window" _NET_WM_NAME | sed -e 's/^[^=]*= "//' -e 's/"$//' |
        perl -pe 's/\\(.)/$1 eq "n" ? "\n" : $1/ge'
}

# Waits until the title equals $1 (the program sets it as events arrive), for at most $2
# seconds (5 unless given).
expect_title() {
    local want=$1 got="" tries=$(( ${2:-5} * 20 ))
    for _ in $(seq 1 "$tries"); do
        got=$(title)
        [ "$got" = "$want" ] && return 0
        sleep 0.05
    done
    fail "title is '$got', expected '$want'"
}

# The colour on screen at x,y of the window, near enough: R, G, B, W (white) or ? for another.
colour_at() {
    import -window "$window" -crop "1x1+$1+$2" +repage -depth 8 txt:- | tail -n 1 |
        sed -n 's/^[^(]*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3/p' |
        awk '{ code = 0; for (i = 1; i <= 3; i++) { if ($i > 160) code += 2 ^ (i - 1); else if ($i >= 90) code = -99 }
               print (code == 1 ? "R" : code == 2 ? "G" : code == 4 ? "B" : code == 7 ? "W" : "?") }'
}

client_size() {
    xwininfo -id "$window" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}'
}

close_app() {
    "$X_CLOSE" "$window"
    await_exit 100
}

# Waits up to tries x 50 ms for the program to end once its window was asked to close: it must
# end, and well.
await_exit() {
    local status=0
    for _ in $(seq 1 "$1"); do
        kill -0 "$app_pid" 2>/dev/null || break
        sleep 0.05
    done
    kill -0 "$app_pid" 2>/dev/null && fail "the program did not exit after its window was closed"
    wait "$app_pid" || status=$?
    app_pid=""
    [ "$status" -eq 0 ] || fail "the program exited with status $status; log: $(cat "$work/app.log")"
}

# Gives the window the keyboard (no window manager does it under Xvfb).
focus_app() {
    xdotool windowfocus --sync "$window"
}

# Presses the button at the first point, drags through the others and releases at the last;
# points are "x,y" in logical pixels of the window. The X server keeps the order of the
# events, so no step waits for the pointer (a wait for a move to where it already is hangs).
drag_on_app() {
    local first=${1/,/ }
    shift
    xdotool mousemove --window "$window" $first mousedown 1
    for point in "$@"; do
        xdotool mousemove --window "$window" ${point/,/ }
    done
    xdotool mouseup 1
}

# Serves a file on the clipboard as the given type until the test ends.
offer_on_clipboard() {
    local type=$1 file=$2
    xclip -selection clipboard -t "$type" -i "$file"
    # xclip serves from the background; wait until the offer is visible.
    for _ in $(seq 1 100); do
        xclip -selection clipboard -t TARGETS -o 2>/dev/null | grep -qx "$type" && return 0
        sleep 0.05
    done
    fail "xclip did not take the clipboard"
}

convert_tool=/usr/bin/convert
[ -x "$convert_tool" ] || convert_tool=/usr/bin/magick

# Starts the test's drag source offering the given files, in a window of its own to the right
# of the program's.
start_drag_source() {
    "$DRAG_SOURCE" "$@" >"$work/source.log" 2>&1 &
    source_pid=$!
    disown "$source_pid"
    source_window=$(timeout 20 xdotool search --sync --onlyvisible --pid "$source_pid" 2>/dev/null | head -n 1) ||
        fail "the drag source showed no window"
    xdotool windowmove --sync "$source_window" 800 100
}

# Drags from the source onto the program's picture and drops there, moving in small steps as
# a hand would so both sides see the drag enter and move.
drag_to_app() {
    xdotool mousemove --window "$source_window" 100 100 mousedown 1
    sleep 0.2
    for x in 700 600 500 400 300; do
        xdotool mousemove --window "$window" "$x" 200
        sleep 0.05
    done
    sleep 0.2
    xdotool mouseup 1
}

# Exit status CTest reads as "skipped" (SKIP_RETURN_CODE).
skip_status=77

# Runs a command as the ordinary user, in its home folder, with a clean desktop environment
# (DISPLAY, HOME, a runtime folder, the X authority and the sanitizers' options, pointing at the
# user's copies). It replaces the shell it runs in, so the pid of "as_ordinary_user cmd &" is
# the program's own; call it in the background or in a subshell.
as_ordinary_user() {
    cd "$user_home"
    exec setpriv --reuid="$test_user" --regid="$test_user" --clear-groups -- \
        env -i PATH=/usr/bin:/bin DISPLAY="$DISPLAY" HOME="$user_home" \
        XDG_RUNTIME_DIR="$user_runtime" XAUTHORITY="$shared/Xauthority" LANG="${LANG:-C.UTF-8}" \
        ASAN_OPTIONS="$user_asan_options" LSAN_OPTIONS="$user_lsan_options" \
        UBSAN_OPTIONS="$user_ubsan_options" "$@"
}

# Whether the ordinary user can reach (enter, or read) the given path.
ordinary_user_can() {
    setpriv --reuid="$test_user" --regid="$test_user" --clear-groups -- test "$@"
}

# A sanitizer's option string with every file it names (suppressions) replaced by a copy in
# $shared the ordinary user can read: the originals lie in the source tree, which may be
# private to its owner wherever the clone is.
options_for_user() {
    local kind=$2 item result="" copy items=()
    IFS=: read -ra items <<<"$1"
    for item in "${items[@]}"; do
        case "$item" in
            suppressions=*)
                copy="$shared/$kind.supp"
                install -m 644 "${item#suppressions=}" "$copy"
                item="suppressions=$copy"
                ;;
        esac
        result+="${result:+:}$item"
    done
    printf '%s' "$result"
}

# Prepares an ordinary user for tests that must not run as root: when run as root, creates the
# user "torvanix-test" (once) and sets $shared, a folder made for the test that the user can
# enter, with the user's home folder ($user_home) inside it; skips the test otherwise, as an
# ordinary account cannot be made or switched to without root. The user is handed copies of
# what it needs in $shared, never anything inside the build or the source tree, which may lie
# in a folder only their owner can enter: tests put the program and their pictures there too.
make_ordinary_user() {
    if [ "$(id -u)" -ne 0 ]; then
        echo "SKIP: this test runs the program as another, ordinary user, which needs root" >&2
        exit "$skip_status"
    fi
    test_user=torvanix-test
    id -u "$test_user" >/dev/null 2>&1 ||
        useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$test_user"
    # The test's folder is opened for passing through only; what the user may see is in $shared.
    chmod 711 "$work"
    shared="$work/shared"
    mkdir -m 755 "$shared"
    if ! ordinary_user_can -x "$shared"; then
        # The temporary folder lies where others cannot enter (TMPDIR in a private folder).
        shared=$(mktemp -d /tmp/torvanix-user.XXXXXX)
        other_folders+=("$shared")
        chmod 755 "$shared"
        if ! ordinary_user_can -x "$shared"; then
            echo "SKIP: no folder could be made that the ordinary user $test_user can enter" \
                "(tried $work and /tmp)" >&2
            exit "$skip_status"
        fi
    fi
    user_home="$shared/home"
    user_runtime="$shared/runtime"
    mkdir -m 700 "$user_home" "$user_runtime"
    chown "$test_user:" "$user_home" "$user_runtime"
    if [ -n "${XAUTHORITY:-}" ] && [ -f "$XAUTHORITY" ]; then
        install -m 644 "$XAUTHORITY" "$shared/Xauthority"
    fi
    user_asan_options=$(options_for_user "${ASAN_OPTIONS:-}" asan)
    user_lsan_options=$(options_for_user "${LSAN_OPTIONS:-}" lsan)
    user_ubsan_options=$(options_for_user "${UBSAN_OPTIONS:-}" ubsan)
}

# Fails unless the ordinary user can read and run the program and read everything the
# application folder holds (a link into a private folder would not do).
check_user_can_run() {
    local program=$1 entry
    ordinary_user_can -x "$program" || fail "the ordinary user cannot run $program"
    for entry in "$(dirname "$program")"/*; do
        ordinary_user_can -r "$entry" || fail "the ordinary user cannot read $entry"
    done
}
