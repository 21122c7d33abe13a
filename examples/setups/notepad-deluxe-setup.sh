#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Demo setup program: "Notepad Deluxe".
exec sh "$(dirname "$0")/demo-install.sh" "Notepad Deluxe" 3 "$@"
