#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Every source file of the tree names its licence in an SPDX line near its top.

Usage: python3 scripts/spdx.py [--fix]; without --fix it names the files that
lack the line and fails, with --fix it adds the line (after a #! line)."""
import pathlib
import subprocess
import sys

TAG = "SPDX-License-Identifier: GPL-3.0-or-later"
COMMENT = {".cpp": "//", ".h": "//", ".c": "//", ".cmake": "#", ".txt": "#", ".sh": "#", ".py": "#",
           ".yml": "#", ".yaml": "#", ".nsi": ";", ".in": None}


def comment_for(path):
    if path.name == "CMakeLists.txt":
        return "#"
    if path.suffix == ".txt":
        return None
    return COMMENT.get(path.suffix)


def main():
    fix = sys.argv[1:] == ["--fix"]
    top = pathlib.Path(__file__).resolve().parent.parent
    names = subprocess.run(["git", "ls-files", "-z"], cwd=top, check=True, capture_output=True).stdout
    missing = []
    for name in names.decode().split("\0"):
        path = top / name
        lead = comment_for(path) if name else None
        if lead is None or not path.is_file():
            continue
        text = path.read_text(encoding="utf-8")
        if TAG in "\n".join(text.split("\n")[:3]):
            continue
        missing.append(name)
        if fix:
            lines = text.split("\n")
            at = 1 if lines and lines[0].startswith("#!") else 0
            lines.insert(at, f"{lead} {TAG}")
            path.write_text("\n".join(lines), encoding="utf-8")
    if missing and not fix:
        print("No SPDX licence line near the top (python3 scripts/spdx.py --fix):")
        for name in missing:
            print("  " + name)
        return 1
    print(f"spdx: {'added to ' + str(len(missing)) + ' files' if fix else 'every source file names its licence'}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
