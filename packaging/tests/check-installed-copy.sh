#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# An installed copy (cmake --install) holds the manifest the program would
# write at its first start, byte for byte, so it starts from a folder its user
# may not write to without writing or restarting.
# Runs on an X display that accepts every user (Xvfb -ac).
# Usage: check-installed-copy.sh BUILD-DIR
set -eu
build=$1
here=$(cd "$(dirname "$0")" && pwd)
. "$here/program-windows.sh"
: "${DISPLAY:?needs an X display}"
work=$(mktemp -d)
chmod 0755 "$work"
first=""
trap '[ -n "$first" ] && kill "$first" 2>/dev/null; chmod -R u+w "$work"; rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/usr" >/dev/null
app="$work/usr/lib/setupreel"
shipped="$app/setupreel.exe.manifest"
[ -f "$shipped" ] || { echo "FAIL: the installed copy holds no setupreel.exe.manifest"; exit 1; }

# A copy without it: the program writes its own and restarts.
cp -a "$app" "$work/fresh"
rm "$work/fresh/setupreel.exe.manifest"
env SETUPREEL_PAUSE_MS=0 "$work/fresh/setupreel" > "$work/fresh.out" 2>&1 &
check=$(start_up_window)
# The restarted instance is the one whose window is up.
[ -n "$check" ] && first=$(window_process "$check")
if [ -z "$check" ] || ! next_into_main "$check"; then
    echo "FAIL: the fresh copy did not pass its check"
    cat "$work/fresh.out"
    exit 1
fi
wait || true
failed=0
if ! cmp "$shipped" "$work/fresh/setupreel.exe.manifest"; then
    echo "FAIL: the shipped manifest differs from the one the program writes"
    failed=1
fi
[ -n "$first" ] && kill "$first" 2>/dev/null
first=""

chmod -R a-w "$app"
sh "$here/start-without-writing.sh" "$work/usr/bin/setupreel" "$app" || failed=1
exit "$failed"
