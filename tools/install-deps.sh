#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need, only those still missing.
# Usage: tools/install-deps.sh [package ...]   (no arguments: the packages of the Linux build and its tests)
set -euo pipefail

packages=("$@")
if [ ${#packages[@]} -eq 0 ]; then
    packages=(
        cmake make g++ pkg-config
        libsdl2-dev libx11-dev libxtst-dev libfreetype-dev libfontconfig-dev fontconfig zlib1g-dev fonts-ipafont-mincho fonts-dejavu-core
        libgtest-dev libgmock-dev libbenchmark-dev
        clang libclang-rt-14-dev clang-format
        xvfb xdotool x11-apps x11-utils x11-xserver-utils imagemagick xauth valgrind python3-xlib
        icewm openbox xfwm4 dbus-daemon dbus-x11 dbus-user-session libgl1-mesa-dri
        weston mutter kwin-wayland sway swaybg grim wtype xwayland libcap2-bin
        desktop-file-utils appstream man-db dpkg-dev file lintian devscripts git
    )
fi

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing Debian packages: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "Installed: ${missing[*]}"
