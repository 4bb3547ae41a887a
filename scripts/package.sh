#!/usr/bin/env bash
# Builds the Debian package: the optimised program in build-package/ (installing what is
# missing), then build-package/torvanix_<version>_<arch>.deb, whose path is the last line
# printed. Install it with: sudo apt install ./build-package/torvanix_*.deb
#
#   scripts/package.sh [BUILD_FOLDER [OUTPUT_FOLDER]]
#
# packages an existing, already built build folder instead (the tests package their own
# build this way), writing into OUTPUT_FOLDER (the build folder unless given).
set -euo pipefail
cd "$(dirname "$0")/.."

# Folders 0755 and files 0644 in the package, whatever the caller's umask.
umask 022

if [ $# -eq 0 ]; then
    scripts/deps.sh --package
    build=build-package
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
    cmake --build "$build" --target torvanix torvanix_man_page torvanix_debian_changelog
else
    build=$1
fi
out=${2:-$build}
[ -f "$build/CPackConfig.cmake" ] || { echo "package: $build is not a configured build" >&2; exit 1; }

mkdir -p "$out"
# CPack's install writes the build's install manifest; that of a real install (which the
# README's uninstall reads) is put back afterwards.
manifest="$build/install_manifest.txt"
kept=""
if [ -e "$manifest" ]; then
    kept=$(mktemp)
    cp "$manifest" "$kept"
fi
restore_manifest() {
    if [ -n "$kept" ]; then mv "$kept" "$manifest"; else rm -f "$manifest"; fi
}
trap restore_manifest EXIT
cpack --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 ||
    { cat "$out/cpack.log" >&2; exit 1; }
# The package just made: CPack names it in its log.
package=$(sed -n 's/^CPack: - package: \(.*\.deb\) generated\.$/\1/p' "$out/cpack.log" | tail -n 1)
[ -f "$package" ] || { cat "$out/cpack.log" >&2; echo "package: no package made" >&2; exit 1; }
rm -rf "$out/_CPack_Packages"
echo "$package"
