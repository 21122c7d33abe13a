#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a test program in a fresh virtual X server with openbox as its window
# manager, on a screen of $SETUPREEL_WM_SCREEN (default 1280x1024). Exits 77
# (skipped) when a tool for that is missing.
for tool in xvfb-run openbox xdotool xprop; do
    command -v "$tool" >/dev/null 2>&1 || { echo "needs $tool (packages xvfb, openbox, xdotool, x11-utils)"; exit 77; }
done
exec xvfb-run -a -s "-screen 0 ${SETUPREEL_WM_SCREEN:-1280x1024}x24" sh -c '
    openbox >/dev/null 2>&1 &
    wm=$!
    # openbox manages windows once it has announced itself on the root window.
    i=0
    until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; do
        i=$((i + 1))
        [ "$i" -gt 100 ] && { echo "openbox did not start"; kill "$wm"; exit 1; }
        sleep 0.1
    done
    SETUPREEL_WM_TEST=1 QT_QPA_PLATFORM=xcb "$@"
    rc=$?
    kill "$wm" 2>/dev/null
    exit "$rc"
' sh "$@"
