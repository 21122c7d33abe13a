#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when a C++ file of the tree is not as .clang-format writes it, or a
# source file does not name its licence, and names the files.
# `sh scripts/check-format.sh --fix` rewrites them instead.
set -eu
cd "$(dirname "$0")/.."
files=$(git ls-files '*.cpp' '*.h' '*.c')
if [ "${1:-}" = "--fix" ]; then
    # shellcheck disable=SC2086 # one name a word: the tree has no blanks in C++ file names
    clang-format -i $files
    exec python3 scripts/spdx.py --fix
fi
bad=""
for f in $files; do
    clang-format --dry-run -Werror "$f" >/dev/null 2>&1 || bad="$bad $f"
done
if [ -n "$bad" ]; then
    echo "Not formatted as .clang-format says (sh scripts/check-format.sh --fix):"
    for f in $bad; do echo "  $f"; done
    exit 1
fi
echo "format: $(echo "$files" | wc -l) files as .clang-format says"
python3 scripts/spdx.py
