#!/usr/bin/python
# SPDX-License-Identifier: GPL-3.0-or-later
# -*- coding: utf-8 -*-
# Copyright: the Setupreel authors
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
---
module: setupreel_facts
short_description: The last Setupreel install runs of each list on the managed machine
description:
  - Reads the connecting user's Setupreel run reports
    (C($XDG_STATE_HOME/setupreel/runs/*.json), by default C(~/.local/state/setupreel/runs))
    and returns the newest runs of each list as the fact C(setupreel_runs).
  - Nothing is started or written; reports that cannot be read are left out with a warning.
version_added: "1.0.0"
author: the Setupreel authors
options:
  state_dir:
    description:
      - The state folder holding C(setupreel/runs). Default C($XDG_STATE_HOME), else
        C(~/.local/state).
    type: path
  runs:
    description:
      - How many of the newest runs to return per list.
    type: int
    default: 1
  programs:
    description:
      - Return each run's C(programs) too (one object per program, as in the report).
    type: bool
    default: false
notes:
  - Supports check mode (it changes nothing).
seealso:
  - module: setupreel.setupreel.install_list
'''

EXAMPLES = r'''
- name: Read the last runs
  setupreel.setupreel.setupreel_facts:
    runs: 3

- name: Show how the office list last ended
  ansible.builtin.debug:
    msg: "{{ setupreel_runs[ansible_env.HOME ~ '/lists/office/Office.SR'][0].summary }}"
'''

RETURN = r'''
ansible_facts:
  description: The facts.
  returned: always
  type: complex
  contains:
    setupreel_runs:
      description: For each list file (its full path as the report names it), its newest
        runs first, each with C(report) (the JSON report's path), C(title), C(host), C(prefix),
        C(start), C(end), C(finished), C(cancelled), C(stoppedForRestart), C(programCount),
        C(summary), C(succeeded) (every program succeeded or was skipped as done, none needs
        a restart) and, with I(programs), C(programs).
      type: dict
      sample: {"/home/lab/lists/office/Office.SR": [{"report": "/home/lab/.local/state/setupreel/runs/run-2026-01-31T14-05-09-123Z.json",
               "start": "2026-01-31T15:05:09.123+01:00", "finished": true, "succeeded": true,
               "summary": {"succeeded": 3, "notSucceeded": 0}}]}
    setupreel_runs_folder:
      description: The folder the reports were read from.
      type: str
'''

import json
import os

from ansible.module_utils.basic import AnsibleModule

KEYS = ('title', 'host', 'prefix', 'start', 'end', 'finished', 'cancelled', 'stoppedForRestart',
        'programCount', 'summary')


def started(run):
    # run-<UTC time>Z[-N].json: a second run in the same millisecond gets -2, -3, ...
    base = os.path.basename(run['report'])[len('run-'):-len('.json')]
    time, _, n = base.partition('Z-')
    return (time.rstrip('Z'), int(n) if n.isdigit() else 1)


def main():
    module = AnsibleModule(
        argument_spec=dict(
            state_dir=dict(type='path'),
            runs=dict(type='int', default=1),
            programs=dict(type='bool', default=False),
        ),
        supports_check_mode=True,
    )
    p = module.params
    if p['runs'] < 1:
        module.fail_json(msg='runs must be at least 1')
    state = p['state_dir'] or os.environ.get('XDG_STATE_HOME', '')
    if not os.path.isabs(state):
        state = os.path.join(os.path.expanduser('~'), '.local', 'state')
    folder = os.path.join(state, 'setupreel', 'runs')
    by_list = {}
    try:
        names = [n for n in os.listdir(folder) if n.startswith('run-') and n.endswith('.json')]
    except FileNotFoundError:
        names = []
    except OSError as e:
        module.fail_json(msg='cannot read %s: %s' % (folder, e))
    for name in names:
        path = os.path.join(folder, name)
        try:
            with open(path, 'rb') as f:
                report = json.loads(f.read().decode('utf-8', 'surrogateescape'))
        except (OSError, ValueError) as e:
            module.warn('left out %s: %s' % (path, e))
            continue
        if not isinstance(report, dict) or report.get('format') != 'setupreel-run/1':
            continue
        run = dict((k, report.get(k)) for k in KEYS)
        run['report'] = path
        summary = report.get('summary') or {}
        run['succeeded'] = bool(report.get('finished')) and not report.get('cancelled') and \
            not summary.get('notSucceeded') and not summary.get('restartNeeded') and \
            not summary.get('neverStarted')
        if p['programs']:
            run['programs'] = report.get('programs') or []
        by_list.setdefault(report.get('listFile') or '', []).append(run)
    for runs in by_list.values():
        runs.sort(key=started, reverse=True)
        del runs[p['runs']:]
    module.exit_json(changed=False, ansible_facts=dict(setupreel_runs=by_list, setupreel_runs_folder=folder))


if __name__ == '__main__':
    main()
