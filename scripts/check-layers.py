#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Reads the #include lines of app/ and fails when
- a file of app/core includes a header of app/windows or app/cli, or a Qt
  module other than QtCore (the core links QtCore only);
- the folders include each other in a circle (app/core/lists -> app/core/install
  -> app/core/lists), on either side.
A folder is a directory holding sources; tests/ folders count as their parent's
users and are left out of the circles."""
import os
import re
import sys

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir)
APP = os.path.join(ROOT, 'app')
INCLUDE = re.compile(r'^\s*#\s*include\s*[<"]([^">]+)[">]', re.M)
WIDGET_HEADERS = re.compile(r'^(QtWidgets|QtGui)/|^Q(Widget|Dialog|Label|PushButton|LineEdit|ListWidget|'
                            r'Application|MessageBox|FileDialog|Pixmap|Image|Painter|Font|Icon|Window)\b')


def folder_of(path):
    """app/core/lists/ListFile.h -> core/lists"""
    return os.path.dirname(os.path.relpath(path, APP)).replace(os.sep, '/')


def sources():
    for base, dirs, files in os.walk(APP):
        dirs[:] = [d for d in dirs if d != 'tests']
        for f in files:
            if f.endswith(('.h', '.cpp')):
                yield os.path.join(base, f)


def main():
    errors = []
    edges = {}
    for path in sources():
        here = folder_of(path)
        text = open(path, encoding='utf-8').read()
        for inc in INCLUDE.findall(text):
            target = os.path.join(APP, inc)
            if here.startswith('core') or here == 'core':
                if inc.startswith(('windows/', 'cli/')):
                    errors.append(f'{os.path.relpath(path, ROOT)}: the core includes "{inc}"')
                elif WIDGET_HEADERS.match(inc):
                    errors.append(f'{os.path.relpath(path, ROOT)}: the core includes <{inc}>')
            if os.path.isfile(target):
                there = folder_of(target)
                if there != here:
                    edges.setdefault(here, set()).add(there)
    # Circles between folders: a depth-first search that reports each once.
    state, stack, seen = {}, [], set()

    def visit(node):
        state[node] = 'open'
        stack.append(node)
        for nxt in sorted(edges.get(node, ())):
            if state.get(nxt) == 'open':
                circle = stack[stack.index(nxt):] + [nxt]
                key = frozenset(circle)
                if key not in seen:
                    seen.add(key)
                    errors.append('folders include each other: ' + ' -> '.join(circle))
            elif nxt not in state:
                visit(nxt)
        stack.pop()
        state[node] = 'done'

    for node in sorted(edges):
        if node not in state:
            visit(node)
    for e in errors:
        print(e)
    if errors:
        print(f'{len(errors)} layering error(s)')
        return 1
    print('layers: no core file includes a window, no folders include each other in a circle')
    return 0


if __name__ == '__main__':
    sys.exit(main())
