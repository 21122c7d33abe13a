#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The README's Puppet and Salt examples, taken from the README itself: Puppet's
# own parser, then `puppet apply` of the resource on a real list (it runs, a
# second apply runs nothing, a failing program fails it); Salt is not in Debian
# 12, so its state is read as YAML and run the way cmd.run runs it.
# Usage: config-managers.sh README BINDIR (BINDIR holds the built setupreel)
set -eu
readme=$1 bindir=$2
if ! command -v puppet >/dev/null 2>&1 || ! /usr/bin/python3 -c 'import yaml' 2>/dev/null; then
    echo "puppet or python3-yaml is missing: not checked"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# The fenced block of the given language that follows the line "A Puppet..." / "A Salt...".
block() {
    awk -v after="$1" -v lang="$2" '
        index($0, after) == 1 { found = 1; next }
        found && !inside && $0 == "```" lang { inside = 1; next }
        inside && $0 == "```" { exit }
        inside { print }' "$readme"
}
block 'A Puppet `exec` resource' puppet > "$work/readme.pp"
block 'A Salt `cmd.run` state' yaml > "$work/readme.sls"
[ -s "$work/readme.pp" ] || { echo "FAIL: no Puppet example in $readme"; exit 1; }
[ -s "$work/readme.sls" ] || { echo "FAIL: no Salt example in $readme"; exit 1; }

# A real list in place of the lab's: its one setup counts its runs.
mkdir -p "$work/lab" "$work/home"
cat > "$work/lab/setup.sh" <<'SETUP'
#!/bin/sh
echo run >> "$(dirname "$0")/runs"
SETUP
chmod +x "$work/lab/setup.sh"
printf '>Lab\r\nsetup.sh\r\n' > "$work/lab/Lab.SR"
me=$(id -un)
runs() { [ -f "$work/lab/runs" ] && wc -l < "$work/lab/runs" || echo 0; }

mine() {
    sed -e "s|/srv/setupreel/lab/Lab.SR|$work/lab/Lab.SR|g" -e "s|/home/lab|$work/home|g" \
        -e "s|'lab'|'$me'|g" -e "s|runas: lab|runas: $me|" -e "s|\['/usr/bin'|['$bindir', '/usr/bin'|" "$1"
}
mine "$work/readme.pp" > "$work/lab.pp"
grep -q "$work/lab/Lab.SR" "$work/lab.pp" || fail "the Puppet example names no list to replace"

mkdir -p "$work/puppet"
pp() {
    puppet "$@" --confdir "$work/puppet/conf" --vardir "$work/puppet/var" --codedir "$work/puppet/code" \
        --logdir "$work/puppet/log" --rundir "$work/puppet/run" --publicdir "$work/puppet/public"
}
pp parser validate "$work/readme.pp" || fail "puppet parser validate refused the README's resource"

apply() {
    status=0
    pp apply --detailed-exitcodes "$work/lab.pp" > "$work/apply.log" 2>&1 || status=$?
    echo "$status"
}
# --detailed-exitcodes: 2 changes made, 0 nothing to do, 4 or 6 a failure.
[ "$(apply)" = 2 ] || { cat "$work/apply.log"; fail "the first apply did not run the list"; }
[ "$(runs)" = 1 ] || fail "the setup ran $(runs) times in the first apply"
[ "$(apply)" = 0 ] || { cat "$work/apply.log"; fail "the second apply was not idle"; }
[ "$(runs)" = 1 ] || fail "the second apply ran the setup again"
printf '#!/bin/sh\necho run >> "$(dirname "$0")/runs"\nexit 5\n' > "$work/lab/setup.sh"
status=$(apply)
[ "$status" = 4 ] || [ "$status" = 6 ] || { cat "$work/apply.log"; fail "a failing program did not fail the resource ($status)"; }
[ "$(runs)" = 2 ] || fail "the changed setup was not run"

# Salt: the state as cmd.run reads it, then its unless and name through the shell.
mine "$work/readme.sls" > "$work/lab.sls"
/usr/bin/python3 - "$work/lab.sls" > "$work/salt.env" <<'PY' || fail "the Salt state is not a cmd.run state"
import shlex, sys, yaml
states = yaml.safe_load(open(sys.argv[1]))
(sid, body), = states.items()
args = {}
for item in body['cmd.run']:
    args.update(item)
assert set(args) >= {'name', 'unless', 'success_retcodes', 'runas'}, args
assert 3 in args['success_retcodes'], args
print('name=' + shlex.quote(args['name']))
print('unless=' + shlex.quote(args['unless']))
print('codes=' + shlex.quote(' '.join(str(c) for c in [0] + args['success_retcodes'])))
PY
printf '#!/bin/sh\necho run >> "$(dirname "$0")/runs"\n' > "$work/lab/setup.sh"
. "$work/salt.env"
salt() {
    # cmd.run: nothing when unless succeeds, else name, a success when its code is listed.
    if HOME="$work/home" PATH="$bindir:$PATH" sh -c "$unless" >/dev/null 2>&1; then echo unchanged; return; fi
    code=0
    HOME="$work/home" PATH="$bindir:$PATH" sh -c "$name" >/dev/null 2>&1 || code=$?
    case " $codes " in *" $code "*) echo changed ;; *) echo "failed $code" ;; esac
}
[ "$(salt)" = changed ] || fail "the Salt state did not run the changed list"
[ "$(salt)" = unchanged ] || fail "the Salt state ran a done list again"
[ "$(runs)" = 3 ] || fail "the setup ran $(runs) times in all, not 3"
exit $failed
