# Shared steps of the end-to-end tests on native Wayland: a headless sway of the test's own with
# the program and every client run as the ordinary test user (sway refuses root), a pointer of
# the tests' own and one wtype keyboard for the whole test, the window read from sway's tree.
source "$(dirname "$0")/lib.sh"

e2e_dir=$(cd "$(dirname "$0")" && pwd)
sway_socket=""

# Runs a command as the ordinary user in a clean Wayland session: the test's sway once it runs,
# the user's runtime folder, C.UTF-8 (readings with "."), the sanitizers' options. Like
# as_ordinary_user, it replaces the shell it runs in.
as_wayland_user() {
    local session=()
    [ -z "$sway_socket" ] || session=(WAYLAND_DISPLAY="$wayland_display" SWAYSOCK="$sway_socket")
    cd "$user_home"
    exec setpriv --reuid="$test_user" --regid="$test_user" --clear-groups -- \
        env -i PATH=/usr/bin:/bin HOME="$user_home" XDG_RUNTIME_DIR="$user_runtime" LANG=C.UTF-8 \
        XDG_SESSION_TYPE=wayland "${session[@]}" ASAN_OPTIONS="$user_asan_options" \
        LSAN_OPTIONS="$user_lsan_options" UBSAN_OPTIONS="$user_ubsan_options" "$@"
}

# Starts sway on an output of $1 x $2 device pixels at scale $3 (1 unless given), with the
# tests' pointer and a keyboard that stays for the whole test: a keyboard added later types
# before the program has bound it. Skips the test where no ordinary user can be made.
start_sway() {
    make_ordinary_user
    local tool
    for tool in sway swaymsg wtype wl-copy wl-paste grim python3; do
        command -v "$tool" >/dev/null || fail "$tool is missing (scripts/deps.sh installs it)"
    done
    make_app_folder "$shared"
    chmod 755 "$app"
    check_user_can_run "$app/torvanix"
    install -m 644 "$e2e_dir/wayland_pointer.py" "$e2e_dir/wayland_lines.py" "$shared/"
    install -m 755 "$DRAG_SOURCE" "$shared/drag_source"
    printf '%s\n' "output HEADLESS-1 resolution $1x$2 position 0 0 scale ${3:-1}" \
        'default_border none' 'default_floating_border none' 'xwayland disable' \
        'swaybg_command -' 'focus_follows_mouse no' \
        'for_window [app_id="drag_source"] floating enable, move position 0 0, resize set 200 200' \
        >"$shared/sway.config"
    as_wayland_user env WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
        sway --config "$shared/sway.config" >"$work/sway.log" 2>&1 &
    other_pids+=($!)
    disown "$!"
    for _ in $(seq 1 200); do
        sway_socket=$(compgen -G "$user_runtime/sway-ipc.*.sock" | head -n 1) || true
        wayland_display=$(cd "$user_runtime" && compgen -G 'wayland-[0-9]*' | grep -v lock) || true
        if [ -n "$sway_socket" ] && [ -n "$wayland_display" ]; then
            sway_msg -t get_outputs >/dev/null 2>&1 && break
        fi
        kill -0 "${other_pids[-1]}" 2>/dev/null ||
            fail "sway did not start: $(tail -n 5 "$work/sway.log")"
        sway_socket=""
        sleep 0.05
    done
    [ -n "$sway_socket" ] || fail "sway did not answer"
    as_wayland_user wtype -s 86400000 &
    other_pids+=($!)
    disown "$!"
    mkfifo "$work/pointer.in" "$work/pointer.out"
    as_wayland_user python3 "$shared/wayland_pointer.py" $(($1 / ${3:-1})) $(($2 / ${3:-1})) \
        <"$work/pointer.in" >"$work/pointer.out" 2>"$work/pointer.log" &
    other_pids+=($!)
    disown "$!"
    exec {pointer_fd}>"$work/pointer.in" {pointer_reply}<"$work/pointer.out"
    pointer
}

sway_msg() { (as_wayland_user swaymsg "$@"); }
keys() { (as_wayland_user wtype "$@"); }

# Sends the pointer the commands given ("move X Y" in logical pixels of the output, fractions
# kept; "press"; "release") and waits until sway has handled them.
pointer() {
    local reply=""
    printf '%s\n' "$@" sync >&"$pointer_fd"
    read -r -t 20 -u "$pointer_reply" reply || true
    [ "$reply" = ok ] || fail "the tests' pointer did not answer: $(cat "$work/pointer.log")"
}

# A field of the program's window (or of process $2's) in sway's tree: name (the title),
# app_id, shell, or a rectangle's width x height (window_rect, geometry).
window_field() {
    sway_msg -r -t get_tree | python3 -c '
import json, sys
nodes = [json.load(sys.stdin)]
while nodes:
    node = nodes.pop()
    if node.get("pid") == int(sys.argv[1]):
        value = node.get(sys.argv[2])
        print("%(width)dx%(height)d" % value if isinstance(value, dict) else value)
    nodes += node.get("nodes", []) + node.get("floating_nodes", [])' "${2:-$app_pid}" "$1"
}

# lib.sh's expect_title reads this.
title() { window_field name; }

# Starts the program with the given environment settings (NAME=value ...), if any.
start_app_on_wayland() {
    as_wayland_user env "$@" "$app/torvanix" >"$work/app.log" 2>&1 &
    app_pid=$!
    for _ in $(seq 1 400); do
        [ -n "$(window_field app_id)" ] && return 0
        kill -0 "$app_pid" 2>/dev/null ||
            fail "the program ended; log: $(tail -n 20 "$work/app.log")"
        sleep 0.05
    done
    fail "no window appeared; log: $(tail -n 20 "$work/app.log")"
}

# Closes the window as the compositor asks it to; the program must end, and well.
close_on_wayland() {
    sway_msg "[pid=$app_pid] kill" >/dev/null
    await_exit 200
}

# Drags the files given from the tests' drag source (a window of its own at the top left) onto
# the middle of the program's $1 x $2 window. The source stays until stop_drag_source.
drop_on_wayland() {
    local width=$1 height=$2 x
    shift 2
    as_wayland_user env QT_QPA_PLATFORM=wayland "$shared/drag_source" "$@" \
        >"$work/source.log" 2>&1 &
    source_pid=$!
    for _ in $(seq 1 200); do
        [ "$(window_field rect "$source_pid")" = 200x200 ] && break
        sleep 0.05
    done
    pointer "move 100 100" press
    for x in 110 130 200 300 400; do
        pointer "move $x $((height / 2))"
        sleep 0.05
    done
    pointer "move $((width / 2)) $((height / 2))"
    sleep 0.2
    pointer release
}

stop_drag_source() {
    kill "$source_pid"
    wait "$source_pid" 2>/dev/null || true
    source_pid=""
}

# The mean brightness, 0 to 1, of a part of the output as sway shows it: "x,y wxh", logical pixels.
brightness() {
    (as_wayland_user grim -g "$1" "$user_home/shot.png") || fail "grim took no screenshot"
    "$convert_tool" "$user_home/shot.png" -colorspace Gray -format '%[fx:mean]' info:
}

# Waits until the brightness of part $1 is above (or, with "below", below) $3, for at most 5
# seconds; says what was not seen otherwise.
expect_brightness() {
    local part=$1 side=$2 bound=$3 what=$4 seen
    for _ in $(seq 1 50); do
        seen=$(brightness "$part")
        awk -v s="$seen" -v b="$bound" -v side="$side" \
            'BEGIN { exit !(side == "above" ? s > b : s < b) }' && return 0
        sleep 0.1
    done
    fail "$what: the brightness of $part is $seen, not $side $bound"
}
