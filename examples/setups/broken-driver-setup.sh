#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Demo setup program: "Broken Driver", which fails the way a real setup does:
# it says why on its error output and ends with a non-zero exit code.
echo "[Broken Driver] Setup started, switch: ${*:-(none)}"
sleep 1
echo "[Broken Driver] cannot install: this demo driver fits no device here" >&2
exit 1
