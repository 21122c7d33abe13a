#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes the screenshots of packaging/screenshots/ from the real program, driven
# as a user drives it, in a virtual X server with openbox:
#   main-window.png  the main window installing the second demo list
#   run-summary.png  the main window with that run's summary box over it
#   list-editor.png  the list editor with the first demo list loaded
# Each is the window with its frame, centred in a 16:9 picture at least 800
# pixels wide, as software centres show them.
# Builds nothing: it takes the program from a build folder (default build/, as
# scripts/setup.sh makes it). It runs as a user "sam" whose home, /home/sam,
# is an empty folder in a mount namespace of its own (so the paths on screen
# are the ones a user sees, ~/.local/state/...); Wine runs the demo's Windows
# setup in a prefix of its own under a temporary folder, which goes when the
# script ends. Needs unshare (util-linux) and, if not run as root, user
# namespaces.
# Usage: scripts/screenshots.sh [build-folder]
set -eu
cd "$(dirname "$0")/.."
root=$PWD

inside=0
case "${1:-}" in
    --inside-xvfb) inside=2 && shift ;;
    --inside-home) inside=1 && shift ;;
esac
build=${1:-build}
case "$build" in /*) ;; *) build="$root/$build" ;; esac
app="$build/setupreel"
shots="$root/packaging/screenshots"
results_list="$app/examples/Demo-Results.SR"
editor_list="$app/examples/Demo.SR"

die() { echo "screenshots.sh: $*" >&2; exit 1; }

if [ "$inside" -eq 0 ]; then
    [ -x "$app/setupreel" ] || die "no program in $app: build it first (scripts/setup.sh)"
    for list in "$results_list" "$editor_list"; do
        [ -e "$list" ] || die "no demo list $list"
    done
    for tool in xvfb-run openbox xdotool xprop xwininfo import convert wine wineserver unshare; do
        command -v "$tool" >/dev/null 2>&1 \
            || die "needs $tool (packages xvfb, openbox, xdotool, x11-utils, imagemagick, wine, util-linux)"
    done
    # The rest runs with a /home of its own.
    if [ "$(id -u)" -eq 0 ]; then
        exec unshare --mount --propagation private sh "$0" --inside-home "$build"
    fi
    exec unshare --user --map-root-user --mount --propagation private sh "$0" --inside-home "$build"
fi
if [ "$inside" -eq 1 ]; then
    mount -t tmpfs -o mode=0755 tmpfs /home || die "could not give the screenshots a /home of their own"
    mkdir -m 0700 /home/sam
    export HOME=/home/sam
    unset XDG_STATE_HOME XDG_CONFIG_HOME XDG_CACHE_HOME XDG_DATA_HOME
    # And a virtual X server of its own.
    exec xvfb-run -a -s "-screen 0 1024x768x24" sh "$0" --inside-xvfb "$build"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/setupreel-shots.XXXXXX")
wm=""
program=""
cleanup() {
    rc=$?
    set +e
    # Only what this script started: the program (by its window's process),
    # openbox and the Wine server of the private prefix.
    [ -n "$program" ] && kill "$program" 2>/dev/null
    [ -n "$wm" ] && kill "$wm" 2>/dev/null
    WINEPREFIX="$work/wine" wineserver -k 2>/dev/null
    rm -rf "$work"
    exit "$rc"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# Nothing of the user's: run reports, settings and the demo's installs go into
# the private home, the Wine prefix under the temporary folder.
export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset QT_QPA_PLATFORM SETUPREEL_SYSTEM_DIR SETUPREEL_DEMO_DIR
export QT_QPA_PLATFORM=xcb

echo "Preparing a Wine prefix (the first time takes a while) ..."
wine wineboot --init >/dev/null 2>&1 || die "wineboot failed"
wineserver -w

openbox >/dev/null 2>&1 &
wm=$!

# Waits until the command succeeds, at most $1 tenths of a second.
wait_for() {
    limit=$1
    shift
    n=0
    until "$@" >/dev/null 2>&1; do
        n=$((n + 1))
        [ "$n" -gt "$limit" ] && return 1
        sleep 0.1
    done
    return 0
}
wm_ready() { xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"; }
wait_for 100 wm_ready || die "openbox did not start"

# The visible window whose title is exactly $1.
window() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1; }
has_window() { [ -n "$(window "$1")" ]; }
no_window() { [ -z "$(window "$1")" ]; }
need_window() {
    wait_for "${2:-200}" has_window "$1" || die "no window \"$1\" appeared"
    window "$1"
}

# Clicks at a point of a window's client area, in pixels (15 twips each).
click() {
    xdotool windowactivate --sync "$1" >/dev/null 2>&1 || true
    xdotool mousemove --window "$1" "$2" "$3" click 1
}

# Chooses a file in the open dialog by typing its whole path.
choose_file() {
    dialog=$(need_window "Open")
    xdotool windowactivate --sync "$dialog" >/dev/null 2>&1 || true
    xdotool key --clearmodifiers ctrl+a
    xdotool type --delay 15 "$1"
    sleep 0.3
    xdotool key Return
    wait_for 100 no_window "Open" || die "the open dialog did not close"
}

# The window as it shows on the screen, with its frame and whatever lies over
# it (a window's own image leaves the parts under other windows black). The
# pointer goes aside first, so no tool tip or hover shows.
capture() {
    xdotool mousemove 1000 750
    sleep "${3:-0.5}"
    info=$(xwininfo -id "$1")
    x=$(echo "$info" | sed -n 's/.*Absolute upper-left X: *//p')
    y=$(echo "$info" | sed -n 's/.*Absolute upper-left Y: *//p')
    width=$(echo "$info" | sed -n 's/.*Width: *//p')
    height=$(echo "$info" | sed -n 's/.*Height: *//p')
    # openbox's frame around the client: left, right, top, bottom
    extents=$(xprop -id "$1" _NET_FRAME_EXTENTS | sed -n 's/.*= *//p' | tr -d ' ')
    IFS=, read -r left right top bottom <<EOF2
${extents:-0,0,0,0}
EOF2
    w=$((width + left + right)) h=$((height + top + bottom))
    import -window root -crop "${w}x${h}+$((x - left))+$((y - top))" +repage "$work/shot.png"
    # A 16:9 frame around it, with a margin.
    fh=$((h + 32)) fw=$((w + 32))
    [ "$fh" -ge 450 ] || fh=450
    [ $((fh * 16)) -ge $((fw * 9)) ] || fh=$(((fw * 9 + 15) / 16))
    fh=$(((fh + 8) / 9 * 9))
    fw=$((fh * 16 / 9))
    mkdir -p "$shots"
    convert "$work/shot.png" -background "#3b4656" -gravity center -extent "${fw}x${fh}" \
        -strip "$shots/$2"
    echo "wrote packaging/screenshots/$2"
}

echo "Starting the program ..."
"$app/setupreel" >"$work/program.out" 2>&1 &
# After writing its manifest the program starts itself again: the instance
# that checks its support files shows the start-up window.
startup=$(need_window "Searching Reguest Files" 600)
program=$(xdotool getwindowpid "$startup")
# Next takes the click only once the check has passed.
next_shows_main() {
    click "$startup" 340 252
    sleep 0.3
    has_window "Setupreel"
}
wait_for 100 next_shows_main || die "the start-up check did not pass: $(cat "$work/program.out")"

main=$(need_window "Setupreel")
sleep 0.5
click "$main" 515 153 # Load
choose_file "$results_list"
sleep 0.5

click "$main" 515 209 # Install
# The first program of the list runs for three seconds.
capture "$main" main-window.png 1.5

# Its summary box (title "Installing") once every program has ended; the
# Windows setup starts Wine, which takes its time.
summary=$(need_window "Installing" 1800)
capture "$main" run-summary.png 1
xdotool windowactivate --sync "$summary" >/dev/null 2>&1 || true
xdotool key Return
wait_for 100 no_window "Installing" || die "the summary box did not close"

click "$main" 515 97 # Point
editor=$(need_window "Point To Setup Files")
sleep 0.5
click "$editor" 540 128 # Load saved list
choose_file "$editor_list"
# The editor tells that the list's first row is its title.
told=$(need_window "Information")
xdotool windowactivate --sync "$told" >/dev/null 2>&1 || true
xdotool key Return
wait_for 100 no_window "Information" || die "the editor's message did not close"
capture "$editor" list-editor.png 1

echo "Done: look at each picture before committing it."
