#!/usr/bin/python
# SPDX-License-Identifier: GPL-3.0-or-later
# -*- coding: utf-8 -*-
# Copyright: the Setupreel authors
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
---
module: install_list
short_description: Install a Setupreel list of setup programs on the managed machine
description:
  - Runs C(setupreel --install LIST) on the managed machine as the connecting user and
    returns what the run did, read from the run's JSON report.
  - A list whose programs all succeeded but need a restart (exit status 3) is not a
    failure; I(reboot_required) is then true. Exit statuses 1 (some program did not
    succeed), 2 (the list was refused or the command line was wrong), 4 (the report could
    not be written) and 128 and above (the run was interrupted) fail the task.
  - In check mode nothing is started or written on the machine; the module runs
    C(setupreel --check LIST --json) and C(setupreel --status LIST --json) and returns
    the lines that would run.
version_added: "1.0.0"
author: the Setupreel authors
options:
  list:
    description:
      - The list file (C(*.SR)) on the managed machine. Its setup files are looked for
        relative to the list's own folder, so copy the folder with the list.
    type: path
    required: true
  prefix:
    description:
      - The Wine prefix for the list's Windows setups, passed as C(--prefix). A name is
        C($XDG_DATA_HOME/wineprefixes/NAME); anything with a slash is a folder. A missing
        prefix is made. Without it C($WINEPREFIX), else C(~/.wine).
    type: str
  skip_done:
    description:
      - Do not start a line that last succeeded with its file as it is now (C(--skip-done)).
    type: bool
    default: true
  resume:
    description:
      - Continue the list's last run where it stopped (C(--resume)), e.g. after a restart
        of the machine. When there is nothing to resume nothing is started.
    type: bool
    default: false
  verify_lock:
    description:
      - The list must have its lock (C(LIST.lock), written by C(setupreel --lock)); without
        it the task fails before anything starts. The run checks every setup file against
        the lock (a run always does when the lock exists).
    type: bool
    default: false
  restart:
    description:
      - What to do after a Windows setup that needs a restart (C(--restart)). C(off) goes
        on, C(wine) restarts the setups' Wine prefix, C(stop) stops the run so the machine
        can be restarted (see the role C(install_lists)).
    type: str
    choices: [off, wine, stop]
    default: 'off'
  timeout:
    description:
      - Seconds one program is waited for (C(--timeout), 1 to 604800); a program still
        running then is left running and counts as not succeeded.
    type: int
  setupreel:
    description:
      - The Setupreel command on the managed machine, a path or a name looked for on C(PATH).
    type: str
    default: setupreel
  report_dir:
    description:
      - The folder on the managed machine that receives each run's JSON report (through
        C(--report)); made for the user only. The 100 newest reports are kept.
      - Default C($XDG_STATE_HOME/setupreel/ansible), else C(~/.local/state/setupreel/ansible).
    type: path
  staged:
    description:
      - Check mode only. A copy of the list (in a copy of its folder) that is not yet in
        place at I(list), e.g. one the role has not copied yet. Its files are checked, and a
        line counts as done when I(list) last ran it successfully with a file of the same
        SHA-256.
    type: path
notes:
  - Runs as the connecting user; no privilege is needed.
  - Supports check mode.
  - A run's result names the lines skipped as done I(skipped_lines), not C(skipped) -
    Ansible takes a true C(skipped) in a result as the task itself being skipped.
seealso:
  - module: setupreel.setupreel.setupreel_facts
'''

EXAMPLES = r'''
- name: Install the office list, starting only what is not done yet
  setupreel.setupreel.install_list:
    list: ~/lists/office/Office.SR
    prefix: office
    timeout: 1800
  register: office

- name: Install a locked list from a command outside PATH
  setupreel.setupreel.install_list:
    list: /srv/lists/lab/Lab.SR
    verify_lock: true
    restart: stop
    setupreel: /opt/setupreel/setupreel

- name: What would run (nothing is started or written)
  setupreel.setupreel.install_list:
    list: ~/lists/office/Office.SR
  check_mode: true
  register: plan
'''

RETURN = r'''
rc:
  description: The exit status of C(setupreel --install) (in check mode, of C(--check)).
  returned: when the command ran
  type: int
  sample: 0
changed:
  description: Some program was started (not every line was skipped as done); in check mode,
    some line would run.
  returned: always
  type: bool
failed:
  description: The run did not succeed; false for exit status 3 (a restart is needed).
  returned: always
  type: bool
reboot_required:
  description: A program needs a restart of the machine to finish, or the run stopped for one.
  returned: success
  type: bool
stopped_for_restart:
  description: The run stopped for a restart (C(restart=stop)); resume it after the restart.
  returned: when the command ran
  type: bool
skipped_lines:
  description: The lines not started because they were done (or ended in the run resumed).
  returned: when the command ran
  type: list
  elements: dict
  sample: [{"number": 1, "line": "setups/office.exe /S", "meaning": "done before: ..."}]
programs:
  description: The JSON report's C(programs), one object per program the run reached
    (C(line), C(file), C(outcome), C(exitCode), C(start), C(end), C(sha256), ...).
  returned: when the command ran
  type: list
  elements: dict
summary:
  description: The JSON report's C(summary) (C(succeeded), C(notSucceeded), C(restartNeeded),
    C(skipped), C(neverStarted), C(running)).
  returned: when the command ran
  type: dict
host:
  description: The host name the run's report names.
  returned: when the command ran
  type: str
report:
  description: The path of the run's JSON report on the managed machine (in I(report_dir)).
  returned: when the command ran
  type: str
  sample: /home/lab/.local/state/setupreel/ansible/Office-20260131T140509Z-4242.json
would_run:
  description: Check mode only. The lines that would be started, each with C(number), C(line),
    C(file) (null when not found), C(state) (C(done), C(changed), C(failed), C(never-run)),
    C(can_run) and C(problem) (why it cannot start here, else null).
  returned: check mode
  type: list
  elements: dict
lines:
  description: Check mode only. Every line with the same keys and C(would_run).
  returned: check mode
  type: list
  elements: dict
cmd:
  description: The command that was run.
  returned: when the command ran
  type: list
  elements: str
stdout:
  description: What the command printed on its standard output.
  returned: when the command ran
  type: str
stderr:
  description: What the command printed on its standard error.
  returned: when the command ran
  type: str
'''

import json
import os
import time

from ansible.module_utils.basic import AnsibleModule

# What a non-zero exit status of --install means (README, "Exit status").
FAILURES = {
    1: 'some program did not succeed',
    2: 'the list was refused or could not be read (or changed since it was locked), '
       'or the command line was wrong',
    4: 'every program succeeded, but the report could not be written completely',
}
SIGNALS = {129: 'SIGHUP', 130: 'SIGINT', 143: 'SIGTERM'}
KEEP_REPORTS = 100


def default_report_dir():
    state = os.environ.get('XDG_STATE_HOME', '')
    if not os.path.isabs(state):
        state = os.path.join(os.path.expanduser('~'), '.local', 'state')
    return os.path.join(state, 'setupreel', 'ansible')


def make_private_dir(module, path):
    try:
        os.makedirs(path, mode=0o700, exist_ok=True)
    except OSError as e:
        module.fail_json(msg='cannot make the report folder %s: %s' % (path, e))
    if not os.path.isdir(path) or os.path.islink(path):
        module.fail_json(msg='the report folder %s is not a folder' % path)


def prune_reports(folder):
    entries = []
    try:
        for name in os.listdir(folder):
            if name.endswith('.json'):
                path = os.path.join(folder, name)
                entries.append((os.lstat(path).st_mtime, path))
    except OSError:
        return
    for _, path in sorted(entries)[:-KEEP_REPORTS]:
        try:
            os.unlink(path)
        except OSError:
            pass


def run_json(module, cmd):
    rc, out, err = module.run_command(cmd, errors='surrogate_or_replace')
    try:
        data = json.loads(out)
    except ValueError:
        data = None
    return rc, out, err, data


def interrupted(rc):
    if rc < 0:
        return 'the run was ended by signal %d' % -rc
    if rc >= 128:
        return 'the run was interrupted (%s)' % SIGNALS.get(rc, 'signal %d' % (rc - 128))
    return None


def check_mode(module, command):
    p = module.params
    checked = p['staged'] or p['list']
    cmd = [command, '--check', checked, '--json']
    if p['prefix']:
        cmd += ['--prefix', p['prefix']]
    rc, out, err, check = run_json(module, cmd)
    # The JSON read is returned as would_run and lines, not again as text.
    result = dict(cmd=cmd, rc=rc, stderr=err)
    if check is None or rc == 2 or interrupted(rc):
        module.fail_json(msg='setupreel --check could not check the list: %s' % err.strip(), stdout=out, **result)
    status = None
    if not p['staged'] or os.path.exists(p['list']):
        scmd = [command, '--status', p['list'], '--json']
        srv, sout, serr, status = run_json(module, scmd)
        if status is None or srv == 2:
            module.fail_json(msg='setupreel --status could not read the list: %s' % serr.strip(),
                             status_cmd=scmd, status_stderr=serr, **result)
    # The record of the list in place, by line text: a staged copy's lines are
    # done when the list in place last ran them successfully with the same file.
    last_by_line = {}
    if status is not None:
        for entry in status.get('lines', []):
            last_by_line.setdefault(entry.get('line'), entry)
    lines = []
    for entry in check.get('lines', []):
        if p['staged']:
            known = last_by_line.get(entry.get('line')) or {}
            last = known.get('last') or {}
            done = (last.get('outcome') in ('succeeded', 'restart-needed')
                    and last.get('sha256') is not None and last.get('sha256') == entry.get('sha256'))
            state = 'done' if done else ('never-run' if not last else
                                         ('changed' if last.get('outcome') in ('succeeded', 'restart-needed')
                                          else 'failed'))
        else:
            known = last_by_line.get(entry.get('line')) or entry
            done = bool(known.get('done'))
            state = known.get('state', entry.get('state'))
        line = dict(number=entry.get('number'), line=entry.get('line'), file=entry.get('file'),
                    state=state, can_run=bool(entry.get('canRun')), problem=entry.get('problem'),
                    lock=entry.get('lock'))
        line['would_run'] = not (p['skip_done'] and done)
        lines.append(line)
    would_run = [dict((k, v) for k, v in line.items() if k != 'would_run') for line in lines if line['would_run']]
    for line in would_run:
        if not line['can_run']:
            module.warn('line %s would not start: %s' % (line['number'], line['problem'] or 'not found'))
        if line['lock'] == 'mismatch':
            module.warn('line %s: its file differs from the list\'s lock' % line['number'])
    module.exit_json(changed=bool(would_run), failed=False, would_run=would_run, lines=lines,
                     reboot_required=False, **result)


def main():
    module = AnsibleModule(
        argument_spec=dict(
            list=dict(type='path', required=True),
            prefix=dict(type='str'),
            skip_done=dict(type='bool', default=True),
            resume=dict(type='bool', default=False),
            verify_lock=dict(type='bool', default=False),
            restart=dict(type='str', choices=['off', 'wine', 'stop'], default='off'),
            timeout=dict(type='int'),
            setupreel=dict(type='str', default='setupreel'),
            report_dir=dict(type='path'),
            staged=dict(type='path'),
        ),
        supports_check_mode=True,
    )
    p = module.params
    for key in ('list', 'staged'):
        if p[key]:
            p[key] = os.path.abspath(p[key])
    if p['timeout'] is not None and not 1 <= p['timeout'] <= 604800:
        module.fail_json(msg='timeout must be 1 to 604800 seconds, not %d' % p['timeout'])
    command = p['setupreel']
    if os.sep not in command:
        found = module.get_bin_path(command)
        if not found:
            module.fail_json(msg='the Setupreel command "%s" is not on PATH (%s); install it or '
                             'give its path as setupreel' % (command, os.environ.get('PATH', '')))
        command = found
    elif not os.access(command, os.X_OK):
        module.fail_json(msg='the Setupreel command %s does not exist or may not be run' % command)
    lock = (p['staged'] or p['list']) + '.lock'
    if p['verify_lock'] and not os.path.isfile(lock):
        module.fail_json(msg='verify_lock: the list has no lock %s (write it with setupreel --lock); '
                         'nothing was started' % lock)
    if module.check_mode:
        check_mode(module, command)
    if p['staged']:
        module.fail_json(msg='staged is for check mode only')

    folder = p['report_dir'] or default_report_dir()
    make_private_dir(module, folder)
    stem = os.path.splitext(os.path.basename(p['list']))[0] or 'list'
    report = os.path.join(folder, '%s-%s-%d.json' % (stem, time.strftime('%Y%m%dT%H%M%SZ', time.gmtime()),
                                                      os.getpid()))
    cmd = [command, '--install', p['list'], '--report', report]
    if p['skip_done']:
        cmd.append('--skip-done')
    if p['resume']:
        cmd.append('--resume')
    if p['prefix']:
        cmd += ['--prefix', p['prefix']]
    if p['restart'] != 'off':
        cmd.append('--restart=%s' % p['restart'])
    if p['timeout'] is not None:
        cmd += ['--timeout', str(p['timeout'])]
    rc, out, err = module.run_command(cmd, errors='surrogate_or_replace')
    prune_reports(folder)

    data = None
    if os.path.exists(report):
        try:
            with open(report, 'rb') as f:
                data = json.loads(f.read().decode('utf-8', 'surrogateescape'))
        except (OSError, ValueError) as e:
            module.warn('the report %s could not be read: %s' % (report, e))
    programs = (data or {}).get('programs') or []
    summary = (data or {}).get('summary') or {}
    stopped = bool((data or {}).get('stoppedForRestart'))
    skipped_lines = []
    for number, program in enumerate(programs, 1):
        if program.get('outcome') == 'skipped':
            skipped_lines.append(dict(number=number, line=program.get('line'), meaning=program.get('meaning')))
    started = any(pr.get('outcome') not in ('skipped', 'not-started') for pr in programs)
    result = dict(
        cmd=cmd, rc=rc, stdout=out, stderr=err,
        changed=started,
        reboot_required=bool(rc == 3 or stopped or summary.get('restartNeeded')),
        stopped_for_restart=stopped,
        skipped_lines=skipped_lines,
        programs=programs,
        summary=summary,
        host=(data or {}).get('host'),
        report=report if data is not None else None,
    )
    if rc in (0, 3):
        result['failed'] = False
        if data is None:
            module.warn('the run ended with status %d but left no report at %s' % (rc, report))
        module.exit_json(**result)
    why = interrupted(rc) or FAILURES.get(rc, 'setupreel ended with status %d' % rc)
    if rc == 1:
        bad = ['%s (%s)' % (pr.get('line'), pr.get('outcome')) for pr in programs
               if pr.get('outcome') not in ('succeeded', 'restart-needed', 'skipped')]
        if bad:
            why += ': ' + '; '.join(bad[:20]) + ('; and %d more' % (len(bad) - 20) if len(bad) > 20 else '')
    elif err.strip():
        why += ': ' + err.strip().splitlines()[-1]
    result['failed'] = True
    module.fail_json(msg=why, **result)


if __name__ == '__main__':
    main()
