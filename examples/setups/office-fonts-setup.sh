#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Demo setup program: "Office Fonts".
exec sh "$(dirname "$0")/demo-install.sh" "Office Fonts" 2 "$@"
