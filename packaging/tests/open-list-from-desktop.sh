#!/bin/sh
# A list file opened as a file manager opens it (xdg-open, through the desktop
# entry of its type) starts the installed Setupreel with it; after the start-up
# check, Next shows the main window with the list loaded: Install runs its one
# program. Runs on the X display in $DISPLAY, with xdotool.
# Usage: open-list-from-desktop.sh PROGRAM
set -eu
program=$1
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

report="$work/report"
env -i PATH="$PATH" HOME="$work/home" DISPLAY="$DISPLAY" XAUTHORITY="${XAUTHORITY:-}" XDG_DATA_DIRS=/usr/local/share:/usr/share \
    SETUPREEL_REPORT_FILE="$report" SETUPREEL_PAUSE_MS=0 \
    xdg-open "$work/My Lists/Tools.SR" > "$work/output" 2>&1 &

wait_for() { # seconds, command...
    limit=$(($1 * 5))
    shift
    n=0
    until "$@" >/dev/null 2>&1; do
        n=$((n + 1))
        [ "$n" -lt "$limit" ] || return 1
        sleep 0.2
    done
}
window() { xdotool search --onlyvisible --name "^$1\$" | head -n 1; }
shown() { [ -n "$(window "$1")" ]; }

wait_for 30 grep -qx "Form4 ready" "$report" \
    || { echo "FAIL: opening the list did not start Setupreel's check"; cat "$work/output"; exit 1; }
check=$(window "Searching Reguest Files")
[ "$(readlink "/proc/$(xdotool getwindowpid "$check")/exe")" = "$(readlink -f "$program")" ] \
    || { echo "FAIL: the start-up window is not the installed program's"; exit 1; }
# Next (4560, 3600, 1095, 375 twips), then Install (6600, 2760, 2250, 750).
xdotool mousemove --window "$check" 340 252 click 1
wait_for 10 shown "Setupreel" || { echo "FAIL: Next did not show the main window"; exit 1; }
xdotool mousemove --window "$(window "Setupreel")" 515 209 click 1
wait_for 10 grep -qx ran "$work/ran.log" \
    || { echo "FAIL: the opened list was not loaded: Install ran nothing"; cat "$work/output"; exit 1; }
echo "the opened list was loaded and installed"
