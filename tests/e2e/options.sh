#!/usr/bin/env bash
# --help and --version answer without a display; an unknown option prints the usage and fails.
# $1 is the program, $2 the version it reports.
set -euo pipefail
program=${1:?the program}
version=${2:?the version}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
run() {
    status=0
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" "$@" \
        >"$work/out" 2>"$work/err" || status=$?
}

run --version
[ "$status" -eq 0 ] && [ "$(cat "$work/out")" = "Torvanix $version" ] ||
    fail "--version: status $status, '$(cat "$work/out" "$work/err")'"
run --help
[ "$status" -eq 0 ] && grep -q '^Usage: .*torvanix \[options\] \[file\]$' "$work/out" ||
    fail "--help: status $status, '$(cat "$work/out" "$work/err")'"
run --no-such-option picture.png
[ "$status" -ne 0 ] && grep -q "Unknown option 'no-such-option'" "$work/err" &&
    grep -q '^Usage: ' "$work/err" || fail "unknown option: status $status, '$(cat "$work/err")'"
echo "PASS"
