#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs clang-tidy (the checks of .clang-tidy) over the core and the terminal
# commands with the compile commands of a configured and built tree; prints
# each warning once and how many there are of each check, and fails on any.
# Usage: sh scripts/tidy.sh BUILD_DIR (configured with
# -DCMAKE_EXPORT_COMPILE_COMMANDS=ON, as scripts/setup.sh does).
set -eu
cd "$(dirname "$0")/.."
BUILD_DIR="${1:?usage: sh scripts/tidy.sh BUILD_DIR}"
if [ ! -f "$BUILD_DIR/compile_commands.json" ]; then
    echo "tidy: $BUILD_DIR/compile_commands.json missing: configure with -DCMAKE_EXPORT_COMPILE_COMMANDS=ON"
    exit 1
fi
TIDY="${CLANG_TIDY:-clang-tidy}"
command -v "$TIDY" >/dev/null 2>&1 || { echo "tidy: $TIDY not found (package clang-tidy)"; exit 1; }

out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
# The sources the build compiles (a header is checked through them), not their tests.
find app/core app/cli -name '*.cpp' -not -path '*/tests/*' | sort > "$out/files"
if [ ! -s "$out/files" ]; then
    echo "tidy: no sources found"
    exit 1
fi
echo "tidy: $(wc -l < "$out/files") files"
status=0
xargs -P "$(nproc)" -n 4 "$TIDY" -p "$BUILD_DIR" --quiet < "$out/files" > "$out/log" 2> "$out/err" || status=$?

# A header's warning comes once from every file that includes it; what moc
# wrote into the build tree is no source of ours.
build_abs="$(cd "$BUILD_DIR" && pwd -P)/"
grep -E '^[^ ]+:[0-9]+:[0-9]+: (warning|error): .* \[[a-z0-9.,-]+\]$' "$out/log" \
    | grep -vF "$build_abs" | sort -u > "$out/warnings" || true
if [ -s "$out/warnings" ]; then
    cat "$out/warnings"
    echo "tidy: warnings per check:"
    sed -E 's/.*\[([a-z0-9.,-]+)\]$/\1/' "$out/warnings" | sort | uniq -c | sort -rn
    echo "tidy: $(wc -l < "$out/warnings") warnings: FAILED"
    exit 1
fi
if [ "$status" -ne 0 ]; then
    # No warning, yet clang-tidy failed: a file it could not compile.
    cat "$out/log" "$out/err"
    echo "tidy: clang-tidy failed (status $status)"
    exit 1
fi
echo "tidy: no warnings"
