#!/bin/sh
# Demo setup program: "Image Viewer".
exec sh "$(dirname "$0")/demo-install.sh" "Image Viewer" 4 "$@"
