#!/bin/sh
# An installed copy (cmake --install) holds the manifest the program would
# write at its first start, byte for byte, so it starts from a folder its user
# may not write to without writing or restarting.
# Runs on an X display that accepts every user (Xvfb -ac).
# Usage: check-installed-copy.sh BUILD-DIR
set -eu
build=$1
here=$(cd "$(dirname "$0")" && pwd)
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
env SETUPREEL_REPORT_FILE="$work/fresh.report" SETUPREEL_PAUSE_MS=0 "$work/fresh/setupreel" > "$work/fresh.out" 2>&1 &
waited=0
until grep -qx "Form4 ready" "$work/fresh.report" 2>/dev/null; do
    sleep 0.2
    waited=$((waited + 1))
    [ "$waited" -lt 150 ] || { echo "FAIL: the fresh copy did not pass its check"; cat "$work/fresh.out"; exit 1; }
done
# The restarted instance is the one whose window is up; end it by its folder.
for proc in /proc/[0-9]*; do
    [ "$(readlink "$proc/exe" 2>/dev/null)" = "$work/fresh/setupreel" ] && first=${proc#/proc/}
done
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
