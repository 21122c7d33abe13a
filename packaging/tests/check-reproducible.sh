#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Two builds of the package from the same sources give the same .deb byte for
# byte: each in a build folder of its own name, without ccache (a cache would
# hand both the same objects), in another time zone and built under another
# umask (the package is made under 022, as dpkg-buildpackage makes it), with
# SOURCE_DATE_EPOCH the last commit's time as the README's package command
# sets it. On a difference it shows what differs.
# Usage: check-reproducible.sh SOURCE-DIR
set -eu
src=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
skip() { echo "not checked: $*"; exit 77; }
for tool in git cmake cpack dpkg-deb dpkg-shlibdeps; do
    command -v "$tool" >/dev/null 2>&1 || skip "$tool is missing (sh scripts/setup.sh installs it)"
done
SOURCE_DATE_EPOCH=$(git -C "$src" log -1 --format=%ct 2>/dev/null) || skip "$src is not a git checkout"
export SOURCE_DATE_EPOCH
export CCACHE_DISABLE=1
unset CMAKE_CXX_COMPILER_LAUNCHER CMAKE_C_COMPILER_LAUNCHER
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# build NAME TZ UMASK: configures and builds what the package holds, makes the
# package and prints its path.
build() {
    (
        umask "$3"
        export TZ="$2"
        cmake -S "$src" -B "$work/$1" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
            -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON > "$work/$1.log" 2>&1 \
            && cmake --build "$work/$1" --target setupreel_package -j2 >> "$work/$1.log" 2>&1
    ) || { tail -n 40 "$work/$1.log" >&2; echo "FAIL: the build in $1 failed" >&2; exit 1; }
    TZ="$2" sh "$here/make-deb.sh" "$work/$1" "$work/$1-deb"
}
one=$(build one UTC 022)
two=$(build second-build Pacific/Auckland 002)
if cmp "$one" "$two"; then
    echo "both builds give the same package: $(sha256sum < "$one" | cut -d' ' -f1)"
    exit 0
fi
echo "FAIL: two builds of the same sources give different packages"
if command -v diffoscope >/dev/null 2>&1; then
    diffoscope --text - --max-report-size 200000 "$one" "$two" || true
else
    for deb in "$one" "$two"; do
        mkdir "$deb.d"
        dpkg-deb -x "$deb" "$deb.d/data"
        dpkg-deb -e "$deb" "$deb.d/control"
        dpkg-deb -c "$deb" | sort -k6 > "$deb.d/listing"
    done
    diff "$one.d/listing" "$two.d/listing" || true
    diff -r "$one.d/control" "$two.d/control" || true
    diff -rq "$one.d/data" "$two.d/data" || true
fi
exit 1
