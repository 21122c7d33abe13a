#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs every benchmark of a build folder and prints the README's table: each
# benchmark's figures go to the terminal as it runs (stderr), the table's rows
# (benchmark, what against what, figure, target, met) to stdout at the end.
# Usage: sh scripts/bench.sh BUILD_DIR. The benchmarks that start the real
# program or paint its windows run under an Xvfb of their own without a window
# manager; the others headless. They need a quiet machine.
set -eu
BUILD_DIR="${1:?usage: sh scripts/bench.sh BUILD_DIR}"
BENCH="$(cd "$BUILD_DIR" && pwd)/bench"
ROWS="$(mktemp)"
XVFB_PID=""
cleanup() {
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
    rm -f "$ROWS"
}
trap cleanup EXIT INT TERM

# A display number no other X server holds.
n=90
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
XVFB_PID=$!
tries=0
while [ ! -e "/tmp/.X11-unix/X$n" ]; do
    tries=$((tries + 1))
    if [ "$tries" -gt 100 ]; then
        echo "Xvfb did not start" >&2
        exit 1
    fi
    sleep 0.1
done
X=":$n"

failed=0
# run ENVIRONMENT... -- PROGRAM ARGS...: its figures to stderr, its rows kept.
run() {
    vars=""
    while [ "$1" != "--" ]; do vars="$vars $1"; shift; done
    shift
    echo "== $(basename "$1")" >&2
    # shellcheck disable=SC2086 # vars holds several assignments
    if ! env -u QT_QPA_PLATFORM $vars "$@" >"$ROWS.out" 2>&1; then
        failed=1
        echo "| $(basename "$1") | — | failed | — | **no** |" >>"$ROWS"
    fi
    cat "$ROWS.out" >&2
    grep '^| ' "$ROWS.out" >>"$ROWS" || true
    rm -f "$ROWS.out"
}

run -- "$BENCH/listfile/bench_listfile"
run -- "$BENCH/cli/bench_cli"
run QT_QPA_PLATFORM=offscreen -- "$BENCH/quarrydex/bench_quarrydex"
run QT_QPA_PLATFORM=offscreen -- "$BENCH/editor/bench_editor"
run DISPLAY="$X" -- "$BENCH/install/bench_install"
run DISPLAY="$X" -- "$BENCH/startup/bench_startup"
run DISPLAY="$X" -- "$BENCH/install/bench_waitcpu"

echo "| Benchmark | Against | Figure | Target | Met |"
echo "|---|---|---|---|---|"
cat "$ROWS"
exit "$failed"
