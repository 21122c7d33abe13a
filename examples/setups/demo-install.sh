#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# What every demo setup program does: pretends to install a product, taking a
# moment for each part. Called as: demo-install.sh NAME PARTS [switches]
# Switches: /S (or /quiet) installs silently, /D=FOLDER installs into FOLDER (a
# relative FOLDER inside the demo's folder).
name="$1"; parts="$2"; shift 2
# The user's state folder, never a fixed one in /tmp that another user could
# have made first.
state="${XDG_STATE_HOME:-}"
case "$state" in /*) ;; *) state="$HOME/.local/state" ;; esac
demo="${SETUPREEL_DEMO_DIR:-$state/setupreel/demo}"
target="$demo"
silent=0
for arg in "$@"; do
    case "$arg" in
        /S|/s|/quiet) silent=1 ;;
        /D=/*) target="${arg#/D=}" ;;
        /D=*) target="$demo/${arg#/D=}" ;;
    esac
done
say() { [ "$silent" -eq 1 ] || echo "[$name] $*"; }
say "Setup started, switch: ${*:-(none)}"
umask 077
mkdir -p "$target" && cd "$target" || exit 1
# Inside the folder itself from here on. One of another user, or one others
# may write to, could hold a link that makes this append to any file.
if [ ! -O . ] || [ -n "$(find . -maxdepth 0 -perm /022)" ] || [ -L installed.log ]; then
    echo "[$name] $target is not a folder of this user's own that only this user may write to; nothing was installed" >&2
    exit 1
fi
part=1
while [ "$part" -le "$parts" ]; do
    say "Copying files, part $part of $parts ..."
    sleep 1
    part=$((part + 1))
done
echo "$name installed $(date '+%Y-%m-%d %H:%M:%S'), switch: ${*:-(none)}" >> installed.log
echo "[$name] installed into $target"
