#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a validator on a file; 77 (skipped) when the validator is not installed.
# Usage: run-validator.sh PACKAGE COMMAND [ARGUMENT...]
set -u
package=$1
shift
if ! command -v "$1" >/dev/null 2>&1; then
    echo "$1 is missing (package $package): not checked"
    exit 77
fi
exec "$@"
