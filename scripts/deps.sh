#!/usr/bin/env bash
# Installs, with apt-get, whatever this Debian 12 machine lacks of:
#   scripts/deps.sh              everything: building, running, testing and packaging
#   scripts/deps.sh --program    only what building and running the program needs
#   scripts/deps.sh --package    that, and what making the Debian package needs
#   scripts/deps.sh NAME...      the packages named
set -euo pipefail

program=(
    # build
    cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev
    # run: Qt's X11, Wayland and offscreen platforms, a font for dialogs, the converter and
    # its decoder for camera raw files
    qt6-qpa-plugins qt6-wayland fonts-dejavu-core imagemagick libraw-bin xdg-utils
)
# the Debian package: dependencies from the program's libraries
package=(dpkg-dev file)
everything=(
    "${program[@]}" "${package[@]}"
    # tests and benchmarks: the X11 helpers' headers, Google Benchmark, a virtual X server and
    # the tools that drive it; desktop-entry checks
    libx11-dev libbenchmark-dev
    xvfb xauth xdotool xclip x11-utils desktop-file-utils libglib2.0-bin perl
    # the native Wayland tests: a headless compositor, keys, clipboard and screenshots there,
    # and Python for the tests' own pointer and model of the line
    sway wtype wl-clipboard grim python3
    # orientation tags written into the tests' photos
    libimage-exiftool-perl
    # the package's checker; the checkers of the desktop entry's metadata and the manual page
    lintian appstream groff-base
    # fuzzing, sanitizers and lint
    clang libclang-rt-14-dev clang-format clang-tidy
)

case "${1:-}" in
    "") packages=("${everything[@]}") ;;
    --program) packages=("${program[@]}") ;;
    --package) packages=("${program[@]}" "${package[@]}") ;;
    *) packages=("$@") ;;
esac

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
if [ "$(id -u)" -ne 0 ]; then
    as_root=(sudo)
fi
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -q --no-install-recommends "${missing[@]}"
