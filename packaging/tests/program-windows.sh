# SPDX-License-Identifier: GPL-3.0-or-later
# What the package's tests see of a running Setupreel, from outside only, on
# the X display in $DISPLAY: its windows by their exact titles, the process
# behind a window, and clicks. Sourced by the tests; needs xdotool.

# wait_for SECONDS COMMAND...: until the command succeeds; fails after that long.
wait_for() {
    limit=$(($1 * 5))
    shift
    n=0
    until "$@" >/dev/null 2>&1; do
        n=$((n + 1))
        [ "$n" -lt "$limit" ] || return 1
        sleep 0.2
    done
}

# window TITLE: the first visible window of exactly that title.
window() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1; }
shown() { [ -n "$(window "$1")" ]; }
# windows_shown TITLE: how many visible windows have exactly that title.
windows_shown() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | wc -l; }

# wait_for_window SECONDS TITLE: the first window of that title to show, or nothing.
wait_for_window() { timeout "$1" xdotool search --sync --onlyvisible --name "^$2\$" 2>/dev/null | head -n 1; }

# The start-up window "Searching Reguest Files" as it first shows, within 30 s.
start_up_window() { wait_for_window 30 "Searching Reguest Files"; }

# window_process WINDOW: the process id behind the window.
window_process() { xdotool getwindowpid "$1"; }

# next_into_main START-UP-WINDOW: clicks Next (4560, 3600, 1095, 375 twips)
# until the main window "Setupreel" shows, which it does only once the start-up
# check has passed; fails after 30 s.
next_into_main() {
    n=0
    until shown "Setupreel"; do
        n=$((n + 1))
        [ "$n" -le 60 ] || return 1
        xdotool mousemove --window "$1" 340 252 click 1 >/dev/null 2>&1 || true
        sleep 0.5
    done
}
