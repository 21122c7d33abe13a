#!/bin/sh
# Demo setup program: "Notepad Deluxe".
exec sh "$(dirname "$0")/demo-install.sh" "Notepad Deluxe" 3 "$@"
