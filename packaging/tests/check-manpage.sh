#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The manual page setupreel(1) the build writes from `setupreel --help`: it
# renders without a warning as lintian renders it, has the sections a reader
# looks for, names every option --help prints, and is compressed without a
# time stamp. --help itself needs no display.
# Usage: check-manpage.sh BUILD-DIR
set -eu
build=$1
page="$build/packaging/setupreel.1.gz"
program="$build/setupreel/setupreel"
command -v man >/dev/null 2>&1 || { echo "man is missing (package man-db): not checked"; exit 77; }
[ -f "$page" ] || { echo "FAIL: the build wrote no $page"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }

env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --help > "$work/help" 2>&1 \
    || { cat "$work/help"; fail "setupreel --help fails without a display"; }

# gzip -n: no time stamp (bytes 4 to 7) and no file name (flag 0x08).
[ "$(od -An -tu1 -j3 -N5 "$page" | tr -s ' ')" = " 0 0 0 0 0" ] || fail "the page's gzip header holds a time stamp or a name"

LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" > /dev/null 2> "$work/warnings" \
    || fail "man could not render the page"
[ ! -s "$work/warnings" ] || { cat "$work/warnings"; fail "the page renders with warnings"; }

gzip -dc "$page" > "$work/page"
sed -n 's/^\.SH "\{0,1\}\([^"]*\)"\{0,1\}$/\1/p' "$work/page" | tr '\n' '|' > "$work/sections"
sections="NAME|SYNOPSIS|DESCRIPTION|OPTIONS|EXIT STATUS|ENVIRONMENT|FILES|EXAMPLES|SEE ALSO|"
[ "$(cat "$work/sections")" = "$sections" ] || fail "the page's sections are $(cat "$work/sections"), not $sections"
sed -n 's/^ *\(-[a-z?], \)\{0,1\}--\([a-z-]*\).*/\2/p' "$work/help" > "$work/options"
[ -s "$work/options" ] || fail "no option found in setupreel --help"
# The OPTIONS section's terms, one per line.
sed -n '/^\.SH OPTIONS$/,/^\.SH /{/^\.TP$/{n;p;}}' "$work/page" | sed 's/\\-/-/g; s/\\f[BIR]//g' > "$work/terms"
while IFS= read -r option; do
    grep -q -e "^--$option\( \|$\)" -e ", --$option\( \|$\)" "$work/terms" || fail "the page does not describe --$option"
done < "$work/options"
[ "$failed" -eq 0 ] && echo "setupreel(1) renders cleanly, has its sections and every option of --help"
exit "$failed"
