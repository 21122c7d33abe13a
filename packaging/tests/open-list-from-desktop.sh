#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# A list file opened as a file manager opens it (xdg-open, through the desktop
# entry of its type) starts the installed Setupreel with it; after the start-up
# check, Next shows the main window with the list loaded: Install runs its one
# program. Runs on the X display in $DISPLAY, with xdotool.
# Usage: open-list-from-desktop.sh PROGRAM
set -eu
program=$1
. "$(cd "$(dirname "$0")" && pwd)/program-windows.sh"
: "${DISPLAY:?needs an X display}"
work=$(mktemp -d)
end_instances() {
    for proc in /proc/[0-9]*; do
        [ "$(readlink "$proc/exe" 2>/dev/null)" = "$(readlink -f "$program")" ] && kill "${proc#/proc/}" 2>/dev/null
    done
    return 0
}
trap 'end_instances; rm -rf "$work"' EXIT
mkdir "$work/home" "$work/My Lists"
printf '#!/bin/sh\necho ran >> "%s"\n' "$work/ran.log" > "$work/My Lists/tool.sh"
chmod +x "$work/My Lists/tool.sh"
printf '>Tools\r\n%s\r\n' "$work/My Lists/tool.sh" > "$work/My Lists/Tools.SR"

env -i PATH="$PATH" HOME="$work/home" DISPLAY="$DISPLAY" XAUTHORITY="${XAUTHORITY:-}" XDG_DATA_DIRS=/usr/local/share:/usr/share \
    SETUPREEL_PAUSE_MS=0 \
    xdg-open "$work/My Lists/Tools.SR" > "$work/output" 2>&1 &

check=$(start_up_window)
[ -n "$check" ] || { echo "FAIL: opening the list did not start Setupreel's check"; cat "$work/output"; exit 1; }
[ "$(readlink "/proc/$(window_process "$check")/exe")" = "$(readlink -f "$program")" ] \
    || { echo "FAIL: the start-up window is not the installed program's"; exit 1; }
# Next once the check has passed, then Install (6600, 2760, 2250, 750 twips).
next_into_main "$check" || { echo "FAIL: Next did not show the main window"; cat "$work/output"; exit 1; }
xdotool mousemove --window "$(window "Setupreel")" 515 209 click 1
wait_for 10 grep -qx ran "$work/ran.log" \
    || { echo "FAIL: the opened list was not loaded: Install ran nothing"; cat "$work/output"; exit 1; }
echo "the opened list was loaded and installed"
