#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts an installed Setupreel on the X display in $DISPLAY, as the user running
# this and, for root, also as "nobody", who may not write to its folder; checks
# that its start-up check passes in the very process that was started, so it
# did not restart, and that its folder did not change.
# The display must accept that user (Xvfb -ac).
# Usage: start-without-writing.sh PROGRAM APP-FOLDER
set -eu
program=$1 appdir=$2
. "$(cd "$(dirname "$0")" && pwd)/program-windows.sh"
: "${DISPLAY:?needs an X display}"
work=$(mktemp -d)
chmod 0755 "$work"
# A restarted instance is known by its program file, which is this copy's own.
end_instances() {
    for proc in /proc/[0-9]*; do
        [ "$(readlink "$proc/exe" 2>/dev/null)" = "$(readlink -f "$program")" ] && kill "${proc#/proc/}" 2>/dev/null
    done
    return 0
}
trap 'end_instances; rm -rf "$work"' EXIT

failed=0
snapshot() { find "$appdir" -printf '%p %y %s %m %T@ %C@\n' | sort; }

# start_once NAME [COMMAND-PREFIX...]: one start by the user the prefix makes.
start_once() {
    name=$1
    shift
    home="$work/$name"
    mkdir "$home"
    [ "$#" -eq 0 ] || chown nobody "$home"
    snapshot > "$work/before"
    # The shell tells its process id, then becomes the program.
    env -i PATH=/usr/bin:/bin HOME="$home" DISPLAY="$DISPLAY" \
        SETUPREEL_PAUSE_MS=0 \
        "$@" sh -c 'echo $$ > "$HOME/pid"; exec "$0"' "$program" \
        > "$work/output" 2>&1 &
    check=$(start_up_window)
    # Asked before Next: the hidden start-up window keeps no window of its own.
    checked_by=$([ -z "$check" ] || window_process "$check")
    if [ -z "$check" ] || ! next_into_main "$check"; then
        echo "FAIL ($name): the start-up check did not pass within 30 s"
        cat "$work/output" 2>/dev/null || true
        failed=1
        end_instances
        wait || true
        return
    fi
    pid=$(cat "$home/pid")
    if ! kill -0 "$pid" 2>/dev/null || [ "$(readlink "/proc/$pid/exe")" != "$(readlink -f "$program")" ] \
        || [ "$checked_by" != "$pid" ]; then
        echo "FAIL ($name): the process started ($pid) is not the one that checked: the program restarted"
        failed=1
    fi
    [ "$(windows_shown "Searching Reguest Files")" -eq 0 ] && [ "$(windows_shown "Setupreel")" -eq 1 ] \
        || { echo "FAIL ($name): the start-up window was shown more than once"; failed=1; }
    snapshot > "$work/after"
    if ! cmp -s "$work/before" "$work/after"; then
        echo "FAIL ($name): the application folder changed:"
        diff "$work/before" "$work/after" || true
        failed=1
    fi
    end_instances
    wait || true
    echo "started as $name"
}

# As the user running this (root may write there, so a manifest it did not
# find would be written and make it restart), then as one who may not write.
start_once "$(id -un)"
if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null 2>&1 && id nobody >/dev/null 2>&1; then
    start_once nobody setpriv --reuid="$(id -u nobody)" --regid="$(id -g nobody)" --clear-groups
fi
[ "$failed" -eq 0 ] && echo "no start wrote or restarted"
exit "$failed"
