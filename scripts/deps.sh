#!/usr/bin/env bash
# Installs, with apt-get, whatever of the build, run and test tools this Debian 12 machine lacks;
# or, given package names, whatever of those it lacks.
set -euo pipefail

packages=("$@")
[ $# -gt 0 ] || packages=(
    # build
    cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev libx11-dev
    libbenchmark-dev
    # run: Qt's X11, Wayland and offscreen platforms, a font for dialogs, the converter
    qt6-qpa-plugins qt6-wayland fonts-dejavu-core imagemagick xdg-utils
    # test: a virtual X server and the tools that drive it; desktop-entry checks
    xvfb xauth xdotool xclip x11-utils desktop-file-utils libglib2.0-bin perl
    # the Debian package: dependencies from the program's libraries, its checker; the checkers
    # of the desktop entry's metadata and of the manual page
    dpkg-dev file lintian appstream groff-base
    # fuzzing, sanitizers and lint
    clang libclang-rt-14-dev clang-format clang-tidy
)

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
