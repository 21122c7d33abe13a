#!/bin/sh
# Demo setup program: "Office Fonts".
exec sh "$(dirname "$0")/demo-install.sh" "Office Fonts" 2 "$@"
