#!/bin/sh
# What every demo setup program does: pretends to install a product, taking a
# moment for each part. Called as: demo-install.sh NAME PARTS [switches]
# Switches: /S (or /quiet) installs silently, /D=FOLDER installs into FOLDER.
name="$1"; parts="$2"; shift 2
target="${SETUPREEL_DEMO_DIR:-${TMPDIR:-/tmp}/setupreel-demo}"
silent=0
for arg in "$@"; do
    case "$arg" in
        /S|/s|/quiet) silent=1 ;;
        /D=*) target="${arg#/D=}" ;;
    esac
done
say() { [ "$silent" -eq 1 ] || echo "[$name] $*"; }
say "Setup started, switch: ${*:-(none)}"
mkdir -p "$target" || exit 1
part=1
while [ "$part" -le "$parts" ]; do
    say "Copying files, part $part of $parts ..."
    sleep 1
    part=$((part + 1))
done
echo "$name installed $(date '+%Y-%m-%d %H:%M:%S'), switch: ${*:-(none)}" >> "$target/installed.log"
echo "[$name] installed into $target"
