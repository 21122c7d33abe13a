#!/bin/sh
# Builds Setupreel and runs every test (windows under a virtual X server).
set -eu
cd "$(dirname "$0")/.."
sh scripts/setup.sh
cd "${BUILD_DIR:-build}"
exec xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j2 --timeout 600
