#!/usr/bin/env bash
# Layout and lint: clang-format must leave every C++ file as it is, and clang-tidy (bugprone,
# performance, modernize; see .clang-tidy) must find nothing. Needs the compile databases of
# the normal build (build/) and of the fuzzing build (build-fuzz/). The desktop entry, the
# store metadata and the manual page must pass their own checkers without a remark.
set -euo pipefail
cd "$(dirname "$0")/.."

app_id=com.dalvester.Torvanix
echo "desktop entry, metainfo, manual page"
desktop_report=$(desktop-file-validate "resources/$app_id.desktop" 2>&1) || true
[ -z "$desktop_report" ] || { echo "$desktop_report" >&2; exit 1; }
appstreamcli validate --no-net --strict "resources/$app_id.metainfo.xml" >/dev/null ||
    { appstreamcli validate --no-net "resources/$app_id.metainfo.xml" >&2; exit 1; }
man_report=$(groff -ww -man -Tutf8 resources/torvanix.1 2>&1 >/dev/null)
[ -z "$man_report" ] || { echo "$man_report" >&2; exit 1; }
# The entry and the metainfo name the same picture types.
entry_types=$(sed -n 's/^MimeType=//p' "resources/$app_id.desktop" | tr ';' '\n' | sed '/^$/d')
store_types=$(sed -n 's|.*<mediatype>\(.*\)</mediatype>.*|\1|p' "resources/$app_id.metainfo.xml")
[ "$entry_types" = "$store_types" ] ||
    { echo "MimeType= and <mediatype> differ:" >&2; diff <(echo "$entry_types") <(echo "$store_types") >&2; exit 1; }

# The version is written once, in CMakeLists.txt; the documents that show it must agree.
version=$(sed -n 's/^project(Torvanix VERSION \([^ ]*\) .*/\1/p' CMakeLists.txt)
for shown in "resources/$app_id.metainfo.xml:<release version=\"$version\"" \
    "resources/torvanix.1:\"Torvanix $version\"" "resources/ReadMe.txt:version $version" \
    "packaging/changelog:torvanix ($version-"; do
    grep -qF "${shown#*:}" "${shown%%:*}" ||
        { echo "${shown%%:*} does not show version $version" >&2; exit 1; }
done

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
