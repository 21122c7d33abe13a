#!/bin/sh
# Starts an installed Setupreel on the X display in $DISPLAY, as a user who may
# not write to its folder where that can be arranged (root starts it as
# "nobody"), and checks that its start-up check passes in the very process that
# was started, so it did not restart, and that its folder did not change.
# The display must accept that user (Xvfb -ac).
# Usage: start-without-writing.sh PROGRAM APP-FOLDER
set -eu
program=$1 appdir=$2
: "${DISPLAY:?needs an X display}"
work=$(mktemp -d)
chmod 0755 "$work"
pid=""
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT

as_user=""
if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null 2>&1 && id nobody >/dev/null 2>&1; then
    as_user="setpriv --reuid=$(id -u nobody) --regid=$(id -g nobody) --clear-groups"
    mkdir "$work/home"
    chown nobody "$work/home"
else
    mkdir "$work/home"
fi
report="$work/home/report"

snapshot() { find "$appdir" -printf '%p %y %s %m %T@ %C@\n' | sort; }
snapshot > "$work/before"

# The shell tells its process id, then becomes the program.
# shellcheck disable=SC2086 # as_user is a command with its arguments
env -i PATH=/usr/bin:/bin HOME="$work/home" DISPLAY="$DISPLAY" \
    SETUPREEL_REPORT_FILE="$report" SETUPREEL_PAUSE_MS=0 \
    $as_user sh -c 'echo $$ > "$HOME/pid"; exec "$0"' "$program" \
    > "$work/output" 2>&1 &
waited=0
until grep -qx "Form4 ready" "$report" 2>/dev/null; do
    sleep 0.2
    waited=$((waited + 1))
    if [ "$waited" -ge 150 ]; then
        echo "FAIL: the start-up check did not pass within 30 s"
        cat "$report" "$work/output" 2>/dev/null || true
        exit 1
    fi
done
pid=$(cat "$work/home/pid")
failed=0
if ! kill -0 "$pid" 2>/dev/null || [ "$(readlink "/proc/$pid/exe")" != "$(readlink -f "$program")" ]; then
    echo "FAIL: the process started ($pid) is not the one that checked: the program restarted"
    failed=1
fi
[ "$(grep -c '^Form4 shown$' "$report")" -eq 1 ] || { echo "FAIL: the start-up window was shown more than once"; failed=1; }
snapshot > "$work/after"
if ! cmp -s "$work/before" "$work/after"; then
    echo "FAIL: the application folder changed:"
    diff "$work/before" "$work/after" || true
    failed=1
fi
kill "$pid" 2>/dev/null || true
pid=""
wait || true
[ "$failed" -eq 0 ] && echo "started ${as_user:+as nobody }without writing or restarting"
exit "$failed"
