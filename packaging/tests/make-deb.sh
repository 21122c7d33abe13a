#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the Debian package of a configured build folder in OUT-DIR (made when
# missing) and prints the package's path; cpack's output goes to
# OUT-DIR/cpack.log, and is shown when cpack fails.
# The umask is 022, as dpkg-buildpackage sets it: CPack gives the package's own
# parts (the members of the .deb) the modes of the files it writes.
# Usage: make-deb.sh BUILD-DIR OUT-DIR
set -eu
umask 022
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
if ! (cd "$out" && cpack -G DEB -B "$out/cpack" --config "$build/CPackConfig.cmake") >"$out/cpack.log" 2>&1; then
    cat "$out/cpack.log" >&2
    echo "FAIL: cpack could not build the package" >&2
    exit 1
fi
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
deb="$out/cpack/setupreel_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || { ls "$out/cpack" >&2; echo "FAIL: no $(basename "$deb")" >&2; exit 1; }
echo "$deb"
