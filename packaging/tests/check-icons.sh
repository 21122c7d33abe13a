#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The icons an installed copy puts into the hicolor theme: each PNG is the size
# its folder names, and the icon the desktop entry asks for is there.
# Usage: check-icons.sh BUILD-DIR DESKTOP-ENTRY
set -eu
build=$1 desktop=$2
command -v file >/dev/null || { echo "file is missing (package file): not checked"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/usr" >/dev/null

icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -n "$icon" ] || { echo "FAIL: $desktop names no icon"; exit 1; }
themes="$work/usr/share/icons/hicolor"
failed=0 checked=0
for png in "$themes"/*/apps/*.png; do
    [ -e "$png" ] || continue
    folder=$(basename "$(dirname "$(dirname "$png")")")
    size=$(file -b "$png" | sed -n 's/^PNG image data, \([0-9]*\) x \([0-9]*\),.*/\1x\2/p')
    checked=$((checked + 1))
    if [ "$size" != "$folder" ]; then
        echo "FAIL: ${png#"$work"/} is ${size:-not a PNG}, its folder says $folder"
        failed=1
    fi
done
[ "$checked" -gt 0 ] || { echo "FAIL: no PNG icon installed below share/icons/hicolor"; exit 1; }
# The sizes a desktop looks at first, and the one that scales to any.
for need in 48x48/apps/"$icon".png 256x256/apps/"$icon".png scalable/apps/"$icon".svg; do
    if [ ! -f "$themes/$need" ]; then
        echo "FAIL: the desktop entry's icon is not installed as share/icons/hicolor/$need"
        failed=1
    fi
done
[ "$failed" -eq 0 ] && echo "$checked icon(s) checked"
exit "$failed"
