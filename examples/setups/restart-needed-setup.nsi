; SPDX-License-Identifier: GPL-3.0-or-later
; Demo setup program: "Restart Demo", a 64-bit Windows installer that installs
; nothing and ends as a setup does that needs a restart to finish (3010).
; Built with makensis; the build gives it its output file. Runs under Wine.
Target amd64-unicode
Name "Restart Demo"
SilentInstall silent
RequestExecutionLevel user
Section
  SetErrorLevel 3010
SectionEnd
