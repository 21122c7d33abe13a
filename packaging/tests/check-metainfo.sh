#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The AppStream metainfo validates (pedantic notes are allowed), and every
# screenshot it names is one kept in the repository, where the site serves it,
# at least 620 pixels wide in a 16:9 frame, as software centres ask.
# Usage: check-metainfo.sh METAINFO SCREENSHOT-FOLDER
set -eu
metainfo=$1 shots=$2
command -v appstreamcli >/dev/null 2>&1 || { echo "appstreamcli is missing (package appstream): not checked"; exit 77; }
failed=0
appstreamcli validate --no-net "$metainfo" || failed=1
names=$(sed -n 's|.*<image>https://setupreel\.org/screenshots/\([^<]*\)</image>.*|\1|p' "$metainfo")
[ -n "$names" ] || { echo "FAIL: no screenshot under https://setupreel.org/screenshots/"; failed=1; }
for name in $names; do
    size=$(file -b "$shots/$name" 2>/dev/null | sed -n 's/^PNG image data, \([0-9]*\) x \([0-9]*\),.*/\1 \2/p')
    if [ -z "$size" ]; then
        echo "FAIL: screenshot $name is not a PNG in $shots"
        failed=1
        continue
    fi
    set -- $size
    if [ "$1" -lt 620 ] || [ $(($1 * 9)) -ne $(($2 * 16)) ]; then
        echo "FAIL: screenshot $name is $1 x $2, not at least 620 pixels wide in 16:9"
        failed=1
    fi
done
[ "$(grep -c '<image' "$metainfo")" -eq "$(echo "$names" | wc -w)" ] \
    || { echo "FAIL: a screenshot is not under https://setupreel.org/screenshots/"; failed=1; }
exit "$failed"
