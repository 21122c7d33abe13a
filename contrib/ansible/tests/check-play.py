#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks one fleet playbook run from the json callback's output.

Usage: check-play.py STEP PLAY.json   (STEP: check, install, again, one-changed, one-fails)
Prints what is wrong and exits 1, or exits 0.
"""
import json
import sys

MACHINES = ['machine1', 'machine2', 'machine3']
LINES = ['setups/tool.sh', 'setups/viewer.sh /S', 'setups/fleet-app.exe /S']

step, path = sys.argv[1], sys.argv[2]
with open(path, encoding='utf-8') as f:
    text = f.read()
# Warnings may come before the callback's JSON document.
play = json.loads(text[text.index('{'):])
stats = play['stats']
problems = []


def expect(cond, what):
    if not cond:
        problems.append(what)


def results(task_name):
    """Each machine's result of the task of that name (the last one run)."""
    found = {}
    for p in play['plays']:
        for task in p['tasks']:
            # A role's tasks are named "<role> : <name>".
            if task['task']['name'].split(' : ')[-1] == task_name:
                for host, result in task['hosts'].items():
                    found[host] = result
    return found


def outcomes(result):
    return [(pr['line'], pr['outcome']) for pr in result.get('programs', [])]


for m in MACHINES:
    expect(m in stats, '%s: not in the play\'s stats' % m)
    expect(stats.get(m, {}).get('unreachable', 1) == 0, '%s: unreachable' % m)
changed = dict((m, stats.get(m, {}).get('changed', -1)) for m in MACHINES)
failures = dict((m, stats.get(m, {}).get('failures', -1)) for m in MACHINES)
run = results('Install the list')

if step == 'check':
    checked = results('Check the list')
    for m in MACHINES:
        expect(failures[m] == 0, '%s: %d failures' % (m, failures[m]))
        would = [line['line'] for line in checked.get(m, {}).get('would_run', [])]
        expect(would == LINES, '%s: would run %s, not %s' % (m, would, LINES))
        expect(checked.get(m, {}).get('changed') is True, '%s: the check says nothing would change' % m)
        expect(run.get(m, {}).get('skipped') is True, '%s: the install task was not skipped' % m)
elif step == 'install':
    for m in MACHINES:
        expect(failures[m] == 0 and changed[m] > 0, '%s: failures %d, changed %d' % (m, failures[m], changed[m]))
        r = run.get(m, {})
        expect(r.get('changed') is True and r.get('rc') == 0, '%s: install changed %s, rc %s' % (m, r.get('changed'), r.get('rc')))
        expect(outcomes(r) == [(line, 'succeeded') for line in LINES], '%s: %s' % (m, outcomes(r)))
        expect(r.get('report', '').endswith('.json'), '%s: no report path: %s' % (m, r.get('report')))
elif step == 'again':
    for m in MACHINES:
        expect(failures[m] == 0 and changed[m] == 0, '%s: failures %d, changed %d' % (m, failures[m], changed[m]))
        r = run.get(m, {})
        expect([s['line'] for s in r.get('skipped_lines', [])] == LINES, '%s: skipped %s' % (m, r.get('skipped_lines')))
        expect(r.get('rc') == 0, '%s: rc %s' % (m, r.get('rc')))
elif step == 'one-changed':
    for m in MACHINES:
        expect(failures[m] == 0, '%s: %d failures' % (m, failures[m]))
    expect(changed['machine2'] > 0 and changed['machine1'] == 0 and changed['machine3'] == 0, 'changed: %s' % changed)
    expect(outcomes(run.get('machine2', {})) == [(LINES[0], 'succeeded'), (LINES[1], 'skipped'), (LINES[2], 'skipped')],
           'machine2: %s' % outcomes(run.get('machine2', {})))
    for m in ('machine1', 'machine3'):
        expect(run.get(m, {}).get('changed') is False, '%s: the install changed' % m)
elif step == 'one-fails':
    expect(failures == {'machine1': 0, 'machine2': 0, 'machine3': 1}, 'failures: %s' % failures)
    expect(changed['machine1'] == 0 and changed['machine2'] == 0, 'changed: %s' % changed)
    r = run.get('machine3', {})
    expect(r.get('rc') == 1 and r.get('failed') is True, 'machine3: rc %s, failed %s' % (r.get('rc'), r.get('failed')))
    expect('setups/broken.sh (failed)' in r.get('msg', ''), 'machine3: the message does not name the failure: %s' % r.get('msg'))
    expect(outcomes(r) == [(line, 'skipped') for line in LINES] + [('setups/broken.sh', 'failed')], 'machine3: %s' % outcomes(r))
    failed = results('Fail when the list did not install')
    expect(failed.get('machine3', {}).get('failed') is True, 'machine3: the role did not fail the host')
else:
    sys.exit('unknown step ' + step)

for p in problems:
    print('FAIL (%s): %s' % (step, p))
sys.exit(1 if problems else 0)
