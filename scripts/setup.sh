#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what the build and the tests need (Debian packages, as root), then
# configures and builds into ./build: the program without debug information,
# the tests with theirs. Sourced by run.sh and test.sh. Every test and fuzz
# target runs with these (python3-pil: the icon check; bsdutils: `script`, a
# terminal for the terminal commands' tests; clang and libclang-rt-dev: the
# fuzz targets; clang-tidy: scripts/tidy.sh; ansible-core, openssh-server: the fleet
# test; chromium: the results page; puppet: the README's Puppet example;
# help2man: the manual page; devscripts: hardening-check, diffoscope-minimal:
# what differs between two builds of the package, both without their long
# lists of recommended packages).
set -eu
cd "$(dirname "$0")/.."

PACKAGES="cmake make g++ qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev \
xvfb xauth x11-utils xdotool fonts-dejavu-core ccache openbox \
wine wine64 nsis wixl gcc-mingw-w64-x86-64-win32 \
desktop-file-utils appstream libxml2-utils shared-mime-info xdg-utils libfile-mimeinfo-perl lintian dpkg-dev file clang-format \
dbus-daemon at-spi2-core libxcb1-dev \
python3-pil bsdutils clang libclang-rt-dev clang-tidy tmux systemd \
ansible-core openssh-server chromium puppet help2man man-db"
LEAN_PACKAGES="devscripts diffoscope-minimal"

missing_of() {
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || printf ' %s' "$p"
    done
}
# shellcheck disable=SC2086 # the lists hold one package name per word
missing=$(missing_of $PACKAGES)
# shellcheck disable=SC2086
missing_lean=$(missing_of $LEAN_PACKAGES)
# shellcheck disable=SC2086
if [ -n "$missing$missing_lean" ]; then
    echo "Installing:$missing$missing_lean"
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    $SUDO apt-get update -qq
    [ -z "$missing" ] || DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $missing
    [ -z "$missing_lean" ] || DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing_lean
fi

BUILD_DIR="${BUILD_DIR:-build}"
# ccache shares objects between build folders of the same checkout.
export CCACHE_BASEDIR="$PWD"
# compile_commands.json: what scripts/tidy.sh reads.
# shellcheck disable=SC2086 # CMAKE_ARGS holds several arguments
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_EXPORT_COMPILE_COMMANDS=ON ${CMAKE_ARGS:-} >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)"
