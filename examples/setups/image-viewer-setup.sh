#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Demo setup program: "Image Viewer".
exec sh "$(dirname "$0")/demo-install.sh" "Image Viewer" 4 "$@"
