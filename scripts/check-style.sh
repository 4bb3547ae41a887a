#!/usr/bin/env bash
# Layout and lint: clang-format must leave every C++ file as it is, and clang-tidy (bugprone,
# performance, modernize; see .clang-tidy) must find nothing. Needs the compile databases of
# the normal build (build/) and of the fuzzing build (build-fuzz/).
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t sources < <(git ls-files '*.cpp' '*.h')
echo "clang-format: ${#sources[@]} files"
clang-format --dry-run --Werror "${sources[@]}"

mapfile -t units < <(git ls-files '*.cpp' | grep -v '^fuzz/')
mapfile -t fuzz_units < <(git ls-files 'fuzz/*.cpp')
echo "clang-tidy: ${#units[@]} + ${#fuzz_units[@]} files"
# clang-tidy counts on stderr the warnings it hid in system headers; only findings matter.
tidy() {
    local database=$1
    shift
    printf '%s\0' "$@" | xargs -0 -P "$(nproc)" -n 4 clang-tidy -p "$database" --quiet \
        2> >(grep -v ' warnings\? generated\.$' >&2)
}
failed=0
tidy build "${units[@]}" || failed=1
tidy build-fuzz "${fuzz_units[@]}" || failed=1
[ "$failed" -eq 0 ] || { echo "clang-tidy found problems" >&2; exit 1; }
echo "style: clean"
