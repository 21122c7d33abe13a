#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a test program in a fresh virtual X server with openbox as its window
# manager, on a screen of $SETUPREEL_WM_SCREEN (default 1280x1024). Exits 77
# (skipped) when a tool for that is missing.
for tool in xvfb-run openbox xdotool xprop; do
    command -v "$tool" >/dev/null 2>&1 || { echo "needs $tool (packages xvfb, openbox, xdotool, x11-utils)"; exit 77; }
done
# A server or window manager that does not come up (xvfb-run -a can hand out
# the number of a server still going away) is tried again on a fresh server;
# the test itself runs once.
attempt=1
while :; do
    # shellcheck disable=SC2016 # expanded by the inner shell
    xvfb-run -a -s "-screen 0 ${SETUPREEL_WM_SCREEN:-1280x1024}x24" sh -c '
        openbox >/dev/null 2>&1 &
        wm=$!
        # Repeats a test (the arguments after the first) for up to 10 s; if it
        # never holds, says the first and leaves for a fresh server.
        await() {
            what=$1
            shift
            i=0
            until "$@"; do
                i=$((i + 1))
                [ "$i" -gt 100 ] && { echo "$what"; kill "$wm" 2>/dev/null; exit 75; }
                sleep 0.1
            done
        }
        announced() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; }
        desktopsAre() { [ "$(xdotool get_num_desktops)" = "$1" ]; }
        # openbox manages windows once it has announced itself on the root window.
        await "openbox did not start" announced
        # The first key typed through XTEST switches the server to that
        # keyboard, and openbox then drops and takes again its key bindings: an
        # Alt+F4 typed meanwhile reaches the window, not openbox. So one key is
        # typed now, and a change of the desktop count is awaited behind it
        # (openbox handles its events in order).
        xdotool key shift
        desktops=$(xdotool get_num_desktops)
        for n in $((desktops + 1)) "$desktops"; do
            xdotool set_num_desktops "$n"
            await "openbox did not take its key bindings again" desktopsAre "$n"
        done
        SETUPREEL_WM_TEST=1 QT_QPA_PLATFORM=xcb "$@"
        rc=$?
        kill "$wm" 2>/dev/null
        exit "$rc"
    ' sh "$@"
    rc=$?
    [ "$rc" -eq 75 ] && [ "$attempt" -lt 3 ] || exit "$rc"
    attempt=$((attempt + 1))
    echo "trying again on another X server (attempt $attempt)"
done
