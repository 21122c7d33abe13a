#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The list file type as a desktop sees it: the description is well-formed (and
# valid where the distribution ships the schema); of two databases made from the
# distribution's types, one with ours and one without, only files named as
# lists (*.SR, as Load takes them) differ; the desktop entry opens the type, and
# the metainfo names the same.
# Usage: check-list-file-type.sh MIME-XML DESKTOP-ENTRY METAINFO
set -eu
mime=$1 desktop=$2 metainfo=$3
type=application/x-setupreel-list
for tool in xmllint:libxml2-utils update-mime-database:shared-mime-info \
            update-desktop-database:desktop-file-utils xdg-mime:xdg-utils mimetype:libfile-mimeinfo-perl; do
    if ! command -v "${tool%%:*}" >/dev/null 2>&1; then
        echo "${tool%%:*} is missing (package ${tool#*:}): not checked"
        exit 77
    fi
done
failed=0
fail() { echo "FAIL: $*"; failed=1; }

schema=$(find /usr/share/xml /usr/share/mime /usr/share/shared-mime-info -name 'shared-mime-info*.rng' 2>/dev/null | head -n 1 || true)
if [ -n "$schema" ]; then
    xmllint --noout --relaxng "$schema" "$mime" || fail "$mime does not follow $schema"
else
    xmllint --noout "$mime" || fail "$mime is not well-formed XML"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Databases of the distribution's types alone and with ours, so nothing
# installed on this machine decides.
for db in without with; do
    mkdir -p "$work/$db/mime/packages"
    cp /usr/share/mime/packages/freedesktop.org.xml "$work/$db/mime/packages/"
done
cp "$mime" "$work/with/mime/packages/org.setupreel.Setupreel.xml"
for db in without with; do
    XDG_DATA_DIRS="$work/$db" update-mime-database "$work/$db/mime" || fail "update-mime-database refused the $db database"
done
mkdir -p "$work/with/applications" "$work/home" "$work/files"
cp "$desktop" "$work/with/applications/"
update-desktop-database "$work/with/applications" || fail "update-desktop-database refused the desktop entry"

query() { # database, xdg-mime arguments
    db=$1
    shift
    env -i PATH="$PATH" HOME="$work/home" XDG_DATA_HOME="$work/home/data" \
        XDG_CONFIG_HOME="$work/home/config" XDG_DATA_DIRS="$work/$db" xdg-mime query "$@"
}
list='>Office\r\nE:\\Setups\\setup.exe /S\r\n'
printf "$list" > "$work/files/Office.SR"
printf 'not a list\r\n' > "$work/files/NAMED.SR"
# Not lists: names Load refuses, and files that only begin as a list does.
printf "$list" > "$work/files/office.sr"
printf "$list" > "$work/files/Mixed.Sr"
printf "$list" > "$work/files/list-without-a-suffix"
printf '>seq1 a protein\nMKTAYIAKQR\n' > "$work/files/proteins.fasta"
printf '>chr1\nACGTACGT\n' > "$work/files/genome.fa"
printf '>Quoted mail\nis text\n' > "$work/files/reply.txt"
printf '> Quoted mail\n> is text\n' > "$work/files/reply"
printf '>\n' > "$work/files/README"
for path in "$work"/files/*; do
    f=$(basename "$path")
    before=$(query without filetype "$path")
    after=$(query with filetype "$path")
    case "$f" in
        *.SR) [ "$after" = "$type" ] || fail "$f is seen as \"$after\", not $type" ;;
        *) [ "$after" = "$before" ] || fail "$f is seen as \"$after\" with the list type installed, \"$before\" without" ;;
    esac
done
[ "$(query with default "$type")" = "$(basename "$desktop")" ] \
    || fail "the default application for $type is \"$(query with default "$type")\", not $(basename "$desktop")"

grep -qx "MimeType=.*$type;.*" "$desktop" || fail "$desktop does not name $type"
grep -q "<mediatype>$type</mediatype>" "$metainfo" || fail "$metainfo does not provide $type"
grep -q "<launchable type=\"desktop-id\">$(basename "$desktop")</launchable>" "$metainfo" \
    || fail "$metainfo does not launch $(basename "$desktop")"
exit "$failed"
