#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from a build folder, installs it, checks what a
# user gets (the command, its manual page, the list file type, its desktop
# entry, a start from the read-only folder without writing or restarting, a list
# opened as a file manager opens it), installs it over itself,
# removes and purges it and checks that nothing of it remains; lintian must find
# no error and no warning. The machine is left as it was found.
# Needs root, dpkg and apt-get; otherwise it says why and exits 77 (skipped).
# Usage: sh scripts/package-test.sh [BUILD-DIR]
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
skip() { echo "package test skipped: $*"; exit 77; }

[ "$(id -u)" -eq 0 ] || skip "installing a package needs root"
for tool in dpkg dpkg-deb apt-get cpack dpkg-shlibdeps xvfb-run xdotool xdg-mime xdg-open lintian man; do
    command -v "$tool" >/dev/null 2>&1 || skip "$tool is missing (sh scripts/setup.sh installs it)"
done
[ -f "$build/CPackConfig.cmake" ] || skip "$build is not a configured build folder"

# One package test at a time on a machine, whichever build folder it comes from.
exec 9> /run/lock/setupreel-package-test.lock
flock -w 900 9 || skip "another package test holds the lock"
status=$(dpkg-query -W -f='${db:Status-Status}' setupreel 2>/dev/null || true)
case "$status" in
    "" | not-installed) ;;
    *) skip "a setupreel package is on this machine already ($status); this test would replace it" ;;
esac

work=$(mktemp -d)
chmod 0755 "$work"
installed=no
cleanup() {
    if [ "$installed" = yes ]; then
        DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq setupreel >/dev/null 2>&1 || dpkg --purge setupreel >/dev/null 2>&1 || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# --- The package ----------------------------------------------------------------
deb=$(sh "$top/packaging/tests/make-deb.sh" "$build" "$work")
version=$(dpkg-deb -f "$deb" Version)
echo "built $(basename "$deb")"

dpkg-deb -f "$deb" Depends | grep -q 'libqt6core6' || fail "Depends does not come from the binaries: $(dpkg-deb -f "$deb" Depends)"
[ "$(dpkg-deb -f "$deb" Recommends)" = "wine" ] || fail "Recommends is \"$(dpkg-deb -f "$deb" Recommends)\", not wine"
[ "$(dpkg-deb -f "$deb" Homepage)" = "https://setupreel.org/" ] || fail "the homepage is \"$(dpkg-deb -f "$deb" Homepage)\""
mkdir "$work/control"
dpkg-deb -e "$deb" "$work/control"
# No maintainer script may start anything. CPack adds an ldconfig call for a
# shared object right below /usr/lib (a module beside the program); that is all
# a script may do.
for script in preinst postinst prerm postrm config; do
    [ -e "$work/control/$script" ] || continue
    if grep -v -x -E '#!/bin/sh|set -e|if \[ "\$1" = "(configure|remove)" \]; then|[[:space:]]*ldconfig|fi|' \
            "$work/control/$script" > "$work/script-lines"; then
        cat "$work/script-lines"
        fail "the package's $script does more than call ldconfig"
    fi
done
dpkg-deb -c "$deb" | grep ' \./usr/lib/setupreel/setupreel\.exe\.manifest$' >/dev/null || fail "the manifest is not in the package"
mkdir "$work/content"
dpkg-deb -x "$deb" "$work/content"
find "$work/content" -type f -exec file {} + | grep 'ELF' | grep -v ', stripped' | sed 's/^/not stripped: /' > "$work/unstripped" || true
[ ! -s "$work/unstripped" ] || { cat "$work/unstripped"; fail "debug information was shipped"; }

# (lintian warns that it runs as root; this test has to.)
lintian --fail-on error,warning --tag-display-limit 0 "$deb" 2>/dev/null > "$work/lintian" || { cat "$work/lintian"; fail "lintian found errors or warnings"; }
[ -s "$work/lintian" ] && { echo "lintian says:"; cat "$work/lintian"; }

# Installing must not need anything the machine does not have already.
apt-get install -s --no-install-recommends "$deb" > "$work/plan" 2>&1 || { cat "$work/plan"; exit 1; }
others=$(sed -n 's/^Inst \([^ ]*\).*/\1/p' "$work/plan" | grep -vx setupreel || true)
[ -z "$others" ] || skip "installing would also install: $(echo $others)"

# --- Installed --------------------------------------------------------------------
installed=yes
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" > "$work/install.log" 2>&1 \
    || { cat "$work/install.log"; echo "FAIL: apt-get could not install the package"; exit 1; }
dpkg -L setupreel | sort > "$work/files"

out=$(/usr/bin/setupreel --version 2>&1) || fail "setupreel --version failed: $out"
echo "$out" | grep -q "setupreel $version" || fail "setupreel --version says \"$out\""
page=$(man -w setupreel 2>&1) || fail "man finds no page for setupreel: $page"
[ "$page" = /usr/share/man/man1/setupreel.1.gz ] || fail "man setupreel finds \"$page\""
MANWIDTH=80 man setupreel 2>&1 | grep -q -e '--install' || fail "man setupreel shows no --install"

desktop_query() {
    env -i PATH="$PATH" HOME="$work/home" XDG_DATA_DIRS=/usr/local/share:/usr/share xdg-mime query "$@"
}
mkdir -p "$work/home"
printf '>Tools\r\n/opt/setups/tool.sh /S\r\n' > "$work/x.SR"
type=$(desktop_query filetype "$work/x.SR")
[ "$type" = application/x-setupreel-list ] || fail "x.SR is seen as \"$type\""
app=$(desktop_query default application/x-setupreel-list)
[ "$app" = org.setupreel.Setupreel.desktop ] || fail "list files open with \"$app\""

xvfb-run -a -s "-screen 0 1024x768x24 -ac" \
    sh "$top/packaging/tests/start-without-writing.sh" /usr/bin/setupreel /usr/lib/setupreel || failed=1
xvfb-run -a -s "-screen 0 1024x768x24" \
    sh "$top/packaging/tests/open-list-from-desktop.sh" /usr/bin/setupreel || failed=1

# Over itself, as an upgrade to the same version: the same files, nothing more.
DEBIAN_FRONTEND=noninteractive dpkg -i "$deb" > "$work/upgrade.log" 2>&1 || { cat "$work/upgrade.log"; fail "installing over itself failed"; }
dpkg -L setupreel | sort | cmp -s - "$work/files" || fail "installing over itself changed the file list"
find /usr/lib/setupreel | sort > "$work/app-files"
grep '^/usr/lib/setupreel' "$work/files" > "$work/listed-app-files"
if ! cmp -s "$work/listed-app-files" "$work/app-files"; then
    diff "$work/listed-app-files" "$work/app-files" || true
    fail "/usr/lib/setupreel holds other files than the package lists"
fi

# --- Removed ----------------------------------------------------------------------
DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq setupreel > "$work/remove.log" 2>&1 || { cat "$work/remove.log"; fail "removing failed"; }
dpkg --purge setupreel > "$work/purge.log" 2>&1 || { cat "$work/purge.log"; fail "purging failed"; }
installed=no
status=$(dpkg-query -W -f='${db:Status-Status}' setupreel 2>/dev/null || true)
case "$status" in
    "" | not-installed) ;;
    *) fail "dpkg still knows setupreel after the purge ($status)" ;;
esac
while IFS= read -r path; do
    [ -e "$path" ] || [ -L "$path" ] || continue
    # Folders such as /usr/share/applications stay for the packages that own them.
    if [ -d "$path" ] && [ ! -L "$path" ] && dpkg -S "$path" >/dev/null 2>&1; then
        continue
    fi
    fail "$path remains"
done < "$work/files"
[ ! -e /usr/lib/setupreel ] || fail "/usr/lib/setupreel remains"
type=$(desktop_query filetype "$work/x.SR")
[ "$type" != application/x-setupreel-list ] || fail "the list file type is still known after removal"

[ "$failed" -eq 0 ] && echo "the package installs, starts, installs over itself and leaves nothing behind"
exit "$failed"
