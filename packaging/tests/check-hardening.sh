#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Every ELF file of the package (the program, the windows' module, the control
# libraries) is built with the distribution's hardening: PIE, stack protector,
# _FORTIFY_SOURCE, full RELRO and BIND_NOW, as hardening-check finds them.
# Control flow protection is not asked for: Debian 12's dpkg-buildflags gives no
# -fcf-protection, and its C start files carry no IBT/SHSTK note, so no program
# of the distribution has it.
# Two findings say only that a small library has nothing to show: "Stack
# protected: no, not found!" where no function has a local array or a local
# whose address is taken (the 48 lines of the progress bar), and "Fortify Source
# functions: no, only unprotected functions found!" where every call of a
# checkable libc function is proven safe when compiled (readlink into an array
# of known size) or writes where no size is known. Such a library passes only
# when every compile of the build (compile_commands.json) had the distribution's
# stack protector and _FORTIFY_SOURCE flags.
# Usage: check-hardening.sh BUILD-DIR
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
for tool in hardening-check dpkg-buildflags cpack dpkg-deb dpkg-shlibdeps file; do
    command -v "$tool" >/dev/null 2>&1 || { echo "$tool is missing (sh scripts/setup.sh installs it): not checked"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# Every compile carries the flags hardening-check cannot always see.
compiled=no
commands="$build/compile_commands.json"
if [ -f "$commands" ]; then
    compiled=yes
    grep '"command":' "$commands" > "$work/commands" || true
    total=$(wc -l < "$work/commands")
    [ "$total" -gt 0 ] || fail "$commands holds no compile"
    for flag in $(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get CPPFLAGS) \
                $(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get CXXFLAGS); do
        case "$flag" in -D_FORTIFY_SOURCE=* | -fstack-protector*) ;; *) continue ;; esac
        with=$(grep -c -F -e " $flag " "$work/commands" || true)
        [ "$with" -eq "$total" ] || { fail "$((total - with)) of $total compiles lack $flag"; compiled=no; }
    done
fi

deb=$(sh "$here/make-deb.sh" "$build" "$work")
dpkg-deb -x "$deb" "$work/content"
find "$work/content" -type f -exec file {} + | sed -n 's/^\([^:]*\): *ELF .*/\1/p' | sort > "$work/elf"
[ -s "$work/elf" ] || fail "the package holds no ELF file"
while IFS= read -r elf; do
    name=${elf#"$work/content"}
    if hardening-check --nocfprotection "$elf" > "$work/report" 2>&1; then
        echo "hardened: $name"
        continue
    fi
    hardening-check --verbose --nocfprotection "$elf" > "$work/report" 2>&1 || true
    # Only the two findings that may mean "nothing to show" (hardening-check
    # calls the second one vague itself), and every compile had the flags.
    if [ "$compiled" = yes ] && hardening-check --nocfprotection --nostackprotector --nofortify "$elf" > /dev/null 2>&1; then
        unchecked=$(sed -n 's/^\tunprotected: //p' "$work/report" | tr '\n' ' ')
        echo "hardened: $name ($(grep -E '^ (Stack protected|Fortify Source functions): no' "$work/report" \
            | sed 's/^ //; s/!$//' | tr '\n' ';' | sed 's/;$//')${unchecked:+: ${unchecked% }}; every compile had the flags)"
        continue
    fi
    sed "1s|.*|$name:|" "$work/report"
    fail "$name is not hardened"
done < "$work/elf"
exit "$failed"
