#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Draws the icon afresh into a temporary folder and compares it with the
# committed one, byte for byte. Exits 77 (skipped) without Pillow or the font.
set -u
src=${1:-$(dirname "$0")}
py=/usr/bin/python3
[ -x "$py" ] || py=python3
"$py" -c "import PIL" 2>/dev/null || { echo "needs Pillow (package python3-pil)"; exit 77; }
[ -e /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf ] || { echo "needs fonts-dejavu-core"; exit 77; }
out=$(mktemp -d) || exit 1
trap 'rm -rf "$out"' EXIT
"$py" "$src/make_pictures.py" "$out" || { echo "make_pictures.py failed"; exit 1; }
if ! diff -r "$src/icons" "$out/icons"; then
    echo "the committed icons differ from what make_pictures.py draws: run it and commit pictures/icons"
    exit 1
fi
echo "icons up to date"
