#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Setupreel and starts it from the build's application folder.
set -eu
cd "$(dirname "$0")/.."
sh scripts/setup.sh
exec "${BUILD_DIR:-build}/setupreel/setupreel" "$@"
