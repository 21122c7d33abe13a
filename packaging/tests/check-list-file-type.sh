#!/bin/sh
# The list file type as a desktop sees it: the description is well-formed (and
# valid where the distribution ships the schema), a database made from it tells
# list files by name in any case and by their first byte, other files keep their
# types, the desktop entry opens the type, and the metainfo names the same.
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
# A database of the distribution's types and ours alone, so text/plain is known
# and nothing installed on this machine decides.
mkdir -p "$work/data/mime/packages" "$work/data/applications" "$work/home" "$work/files"
cp /usr/share/mime/packages/freedesktop.org.xml "$work/data/mime/packages/"
cp "$mime" "$work/data/mime/packages/org.setupreel.Setupreel.xml"
XDG_DATA_DIRS="$work/data" update-mime-database "$work/data/mime" || fail "update-mime-database refused the description"
cp "$desktop" "$work/data/applications/"
update-desktop-database "$work/data/applications" || fail "update-desktop-database refused the desktop entry"

query() {
    env -i PATH="$PATH" HOME="$work/home" XDG_DATA_HOME="$work/home/data" \
        XDG_CONFIG_HOME="$work/home/config" XDG_DATA_DIRS="$work/data" xdg-mime query "$@"
}
expect_type() { # file, expected type
    got=$(query filetype "$work/files/$1")
    [ "$got" = "$2" ] || fail "$1 is seen as \"$got\", not $2"
}
list='>Office\r\nE:\\Setups\\setup.exe /S\r\n'
printf "$list" > "$work/files/Office.SR"
printf "$list" > "$work/files/office.sr"
printf "$list" > "$work/files/Mixed.Sr"
printf "$list" > "$work/files/list-without-a-suffix"
printf '>Quoted mail\nis text\n' > "$work/files/reply.txt"
# Named as lists, not written by Setupreel: the name alone decides.
printf 'not a list\r\n' > "$work/files/NAMED.SR"
printf 'not a list\r\n' > "$work/files/named.sr"
expect_type Office.SR "$type"
expect_type office.sr "$type"
expect_type Mixed.Sr "$type"
expect_type list-without-a-suffix "$type"
expect_type NAMED.SR "$type"
expect_type named.sr "$type"
expect_type reply.txt text/plain
[ "$(query default "$type")" = "$(basename "$desktop")" ] \
    || fail "the default application for $type is \"$(query default "$type")\", not $(basename "$desktop")"

grep -qx "MimeType=.*$type;.*" "$desktop" || fail "$desktop does not name $type"
grep -q "<mediatype>$type</mediatype>" "$metainfo" || fail "$metainfo does not provide $type"
grep -q "<launchable type=\"desktop-id\">$(basename "$desktop")</launchable>" "$metainfo" \
    || fail "$metainfo does not launch $(basename "$desktop")"
exit "$failed"
