#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# A fleet on one machine: three users, each with its own home (Wine prefix,
# state folder) and its own sshd on 127.0.0.1 in its own UTS namespace (its own
# host name), managed over real SSH by ansible-playbook with the collection's
# role. The playbook runs five times: check mode, an install, the same again,
# one setup changed on one machine, one machine's list with a failing setup.
# Needs root, ansible-core, openssh-server, Wine and makensis; without them it
# skips (77), and under CI (CI set) that is a failure.
# Usage: sh fleet-test.sh BUILD-DIR
set -eu
here=$(cd "$(dirname "$0")" && pwd)
collections=$(cd "$here/.." && pwd)
build=$(cd "${1:?usage: fleet-test.sh BUILD-DIR}" && pwd)
in_ci() { [ -n "${CI:-}" ] && [ "$CI" != false ] && [ "$CI" != 0 ]; }
skip() {
    if in_ci; then echo "FAIL: the fleet test cannot run under CI: $*"; exit 1; fi
    echo "fleet test skipped: $*"; exit 77
}
[ "$(id -u)" -eq 0 ] || skip "making users and sshd's needs root"
for tool in ansible-playbook ansible-doc ssh ssh-keygen /usr/sbin/sshd unshare useradd userdel runuser \
            pkill flock python3 makensis wine wineserver; do
    command -v "$tool" >/dev/null 2>&1 || skip "$tool is missing (sh scripts/setup.sh installs it)"
done
[ -x "$build/setupreel/setupreel" ] || skip "$build/setupreel/setupreel is not built"

# One fleet at a time on a machine: the users' names are fixed.
exec 9> /run/lock/setupreel-fleet-test.lock
flock -w 900 9 || { echo "FAIL: another fleet test holds the lock"; exit 1; }
root=/tmp/setupreel-fleet
machines="1 2 3"
started=$(date +%s)

as_user() { # user command... : in the user's own environment, as ssh gives it
    u=$1; shift
    runuser -u "$u" -- env -i HOME="$(getent passwd "$u" | cut -d: -f6)" USER="$u" LOGNAME="$u" \
        PATH=/usr/bin:/bin WINEDEBUG=-all "$@"
}

# Ends what a run (this one, or one killed before) started, and removes it.
cleanup() {
    # A playbook a killed run left going (checked by name: its id may be reused).
    if [ -f "$root/playbook.pid" ] && grep -q ansible-playbook "/proc/$(cat "$root/playbook.pid")/cmdline" 2>/dev/null; then
        kill "$(cat "$root/playbook.pid")" 2>/dev/null || true
    fi
    for n in $machines; do
        [ -f "$root/sshd$n/sshd.pid" ] && kill "$(cat "$root/sshd$n/sshd.pid")" 2>/dev/null || true
    done
    for sock in "$root"/cp/*; do
        [ -S "$sock" ] && ssh -F /dev/null -o ControlPath="$sock" -O exit fleet >/dev/null 2>&1 || true
    done
    for n in $machines; do
        u=srfleet$n
        id "$u" >/dev/null 2>&1 || continue
        home=$(getent passwd "$u" | cut -d: -f6)
        for prefix in "$home/.wine" "$home"/.local/share/wineprefixes/*; do
            [ -d "$prefix" ] && as_user "$u" env WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
        done
        # Anything left of the test's own users (a setup, a control master's shell).
        pkill -KILL -u "$u" 2>/dev/null || true
        userdel -r -f "$u" >/dev/null 2>&1 || true
    done
    rm -rf "$root"
}
cleanup
# What the playbooks printed stays in the build folder when the test fails.
keep_logs() {
    rm -rf "$build/fleet-test-logs"
    mkdir -p "$build/fleet-test-logs"
    cp "$root"/play-* "$root"/sshd*/sshd.log "$build/fleet-test-logs/" 2>/dev/null || true
}
trap 'status=$?; [ "$status" -eq 0 ] || keep_logs; cleanup; exit $status' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

failed=0
fail() { echo "FAIL: $*"; failed=1; }
mkdir -p "$root/home" "$root/cp" "$root/ansible/tmp" "$root/reports" /run/sshd
chmod 0755 "$root" "$root/home"
chmod 0700 "$root/cp" "$root/ansible"

# --- The controller's key, the Setupreel command the users run -----------------
mkdir -m 0700 "$root/controller"
ssh-keygen -q -t ed25519 -N '' -C fleet-controller -f "$root/controller/id"
cp -a "$build/setupreel" "$root/app"
chmod -R a+rX "$root/app"

# --- Three machines: a user, a host name, an sshd each -------------------------
free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
: > "$root/known_hosts"
: > "$root/inventory"
echo "[fleet]" >> "$root/inventory"
for n in $machines; do
    u=srfleet$n
    home=$root/home/$u
    useradd -m -d "$home" -s /bin/sh -p '*' "$u"
    chmod 0700 "$home"
    install -d -m 0700 -o "$u" -g "$u" "$home/.ssh"
    install -m 0600 -o "$u" -g "$u" "$root/controller/id.pub" "$home/.ssh/authorized_keys"
    dir=$root/sshd$n
    mkdir -m 0700 "$dir"
    ssh-keygen -q -t ed25519 -N '' -f "$dir/host_key"
    port=$(free_port)
    cat > "$dir/sshd_config" <<EOF
ListenAddress 127.0.0.1
Port $port
HostKey $dir/host_key
PidFile $dir/sshd.pid
AllowUsers $u
PasswordAuthentication no
KbdInteractiveAuthentication no
PubkeyAuthentication yes
AuthorizedKeysFile .ssh/authorized_keys
UsePAM no
StrictModes yes
Subsystem sftp /usr/lib/openssh/sftp-server
EOF
    unshare --uts sh -c 'hostname "$0" && exec /usr/sbin/sshd -D -e -f "$1"' "fleet-host-$n" "$dir/sshd_config" \
        > "$dir/sshd.log" 2>&1 &
    echo "$!" > "$dir/sshd.pid"
    echo "[127.0.0.1]:$port $(cut -d' ' -f1,2 "$dir/host_key.pub")" >> "$root/known_hosts"
    echo "machine$n ansible_host=127.0.0.1 ansible_port=$port ansible_user=$u" >> "$root/inventory"
done
cat >> "$root/inventory" <<EOF
[fleet:vars]
ansible_ssh_private_key_file=$root/controller/id
ansible_python_interpreter=/usr/bin/python3
EOF
for n in $machines; do
    port=$(sed -n "s/^Port //p" "$root/sshd$n/sshd_config")
    tries=0
    until python3 -c "import socket,sys; socket.create_connection(('127.0.0.1', $port), 1)" 2>/dev/null; do
        tries=$((tries + 1))
        [ "$tries" -lt 50 ] || { cat "$root/sshd$n/sshd.log"; echo "FAIL: sshd $n does not listen"; exit 1; }
        sleep 0.1
    done
done

# --- Each machine's list, on the controller -------------------------------------
makensis -V2 "-XOutFile $root/fleet-app.exe" "$here/fleet-app.nsi"
make_list() { # n: the list folder of machine n, as the controller keeps it
    lab=$root/lists/machine$1/lab
    mkdir -p "$lab/setups"
    printf '>Fleet lab %s\r\nsetups/tool.sh\r\nsetups/viewer.sh /S\r\nsetups/fleet-app.exe /S\r\n' "$1" > "$lab/Lab.SR"
    printf '#!/bin/sh\necho "tool $*" >> "$HOME/installed.log"\n' > "$lab/setups/tool.sh"
    printf '#!/bin/sh\necho "viewer $*" >> "$HOME/installed.log"\n' > "$lab/setups/viewer.sh"
    cp "$root/fleet-app.exe" "$lab/setups/fleet-app.exe"
    chmod -R a+rX "$root/lists"
}
for n in $machines; do make_list "$n"; done

export ANSIBLE_HOME="$root/ansible" ANSIBLE_LOCAL_TEMP="$root/ansible/tmp" \
    ANSIBLE_SSH_CONTROL_PATH_DIR="$root/cp" ANSIBLE_COLLECTIONS_PATH="$collections" \
    ANSIBLE_HOST_KEY_CHECKING=True ANSIBLE_RETRY_FILES_ENABLED=False ANSIBLE_NOCOLOR=1 \
    ANSIBLE_SSH_ARGS="-F /dev/null -o UserKnownHostsFile=$root/known_hosts -o StrictHostKeyChecking=yes -o ControlMaster=auto -o ControlPersist=60s" \
    ANSIBLE_FORKS=3 ANSIBLE_STDOUT_CALLBACK=json
play() { # step [ansible-playbook options]: runs the playbook and checks its result
    step=$1; shift
    t0=$(date +%s)
    (cd "$root" && exec ansible-playbook -i "$root/inventory" "$here/fleet.yml" \
        -e "fleet_setupreel=$root/app/setupreel fleet_reports=$root/reports fleet_lists=$root/lists" "$@" \
        > "$root/play-$step.json" 2> "$root/play-$step.err") &
    echo "$!" > "$root/playbook.pid"
    wait "$!" || true
    echo "playbook $step: $(($(date +%s) - t0)) s"
    python3 "$here/check-play.py" "$step" "$root/play-$step.json" || { cat "$root/play-$step.err"; failed=1; }
}
log_lines() { # n: how many programs machine n's shell setups ran
    f=$root/home/srfleet$1/installed.log
    if [ -f "$f" ]; then wc -l < "$f"; else echo 0; fi
}

# 1. Check mode: the lines that would run are listed, nothing on a machine changes.
play check --check
for n in $machines; do
    home=$root/home/srfleet$n
    for what in .local/state/setupreel .local/share/wineprefixes setupreel-lists installed.log; do
        [ ! -e "$home/$what" ] || fail "check mode left $home/$what"
    done
done
[ -z "$(ls "$root/reports")" ] || fail "check mode fetched reports: $(ls -R "$root/reports")"

# 2. Every machine installs its list, the Windows setup through real Wine.
play install
for n in $machines; do
    [ "$(log_lines "$n")" -eq 2 ] || fail "machine $n: its shell setups ran $(log_lines "$n") times, not 2"
    marker=$root/home/srfleet$n/.local/share/wineprefixes/fleet/drive_c/users/srfleet$n/AppData/Local/FleetApp/installed.txt
    [ -f "$marker" ] || fail "machine $n: the Windows setup left no $marker"
    [ -d "$root/home/srfleet$n/.local/state/setupreel/done" ] || fail "machine $n: no record of what is done"
done

# 3. The same again: nothing runs anywhere.
play again
for n in $machines; do
    [ "$(log_lines "$n")" -eq 2 ] || fail "machine $n: a setup ran again ($(log_lines "$n") runs)"
done

# 4. One setup file changed on machine 2's list: only machine 2 runs it.
echo '# version 2' >> "$root/lists/machine2/lab/setups/tool.sh"
play one-changed
[ "$(log_lines 2)" -eq 3 ] && [ "$(log_lines 1)" -eq 2 ] && [ "$(log_lines 3)" -eq 2 ] \
    || fail "after one changed setup the machines ran $(log_lines 1), $(log_lines 2), $(log_lines 3) programs"

# 5. Machine 3's list gains a failing setup: only machine 3 fails.
printf '#!/bin/sh\necho "broken: cannot install" >&2\nexit 1\n' > "$root/lists/machine3/lab/setups/broken.sh"
printf 'setups/broken.sh\r\n' >> "$root/lists/machine3/lab/Lab.SR"
chmod -R a+rX "$root/lists"
play one-fails

# The fetched reports: each machine's under its name, each naming its own host.
python3 - "$root/reports" <<'EOF' || failed=1
import glob, json, os, sys
hosts = {}
for path in glob.glob(os.path.join(sys.argv[1], '*', '*.json')):
    with open(path, encoding='utf-8') as f:
        hosts.setdefault(os.path.basename(os.path.dirname(path)), set()).add(json.load(f)['host'])
want = dict(('machine%d' % n, {'fleet-host-%d' % n}) for n in (1, 2, 3))
if hosts != want:
    print('FAIL: the fetched reports name the hosts %s, not %s' % (hosts, want))
    sys.exit(1)
# Runs 2 to 5, one report each.
counts = dict((m, len(glob.glob(os.path.join(sys.argv[1], m, '*.json')))) for m in want)
if counts != dict((m, 4) for m in want):
    print('FAIL: reports fetched per machine: %s, not 4 each' % counts)
    sys.exit(1)
EOF
# One page of results from the fetched reports: all three hosts, machine 3's failure.
status=0
"$build/setupreel/setupreel" --summarize "$root/reports" --html "$root/results.html" \
    > "$root/summary.txt" 2> "$root/summary.err" || status=$?
[ "$status" -eq 1 ] || fail "--summarize exited $status, not 1 for machine 3's failure: $(cat "$root/summary.err")"
for n in 1 2 3; do
    grep -q "fleet-host-$n" "$root/summary.txt" || fail "the summary does not name fleet-host-$n"
    grep -q "fleet-host-$n" "$root/results.html" || fail "the page does not name fleet-host-$n"
done
grep "broken.sh" "$root/summary.txt" | grep "fleet-host-3" | grep -q failed \
    || fail "the summary shows no failure of broken.sh on fleet-host-3: $(cat "$root/summary.txt")"

# The module's documentation, as ansible-doc shows it.
doc=$(ansible-doc setupreel.setupreel.install_list 2>&1) || fail "ansible-doc failed: $doc"
for word in skip_done verify_lock reboot_required would_run EXAMPLES; do
    case $doc in *"$word"*) ;; *) fail "ansible-doc setupreel.setupreel.install_list does not show $word" ;; esac
done

echo "fleet test: $(($(date +%s) - started)) s in all"
[ "$failed" -eq 0 ] || exit 1
echo "fleet test passed"
