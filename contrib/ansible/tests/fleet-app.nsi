; SPDX-License-Identifier: GPL-3.0-or-later
; The fleet test's Windows setup: a 64-bit installer that writes its marker
; into the user's local application data, so the test sees it ran in Wine.
Target amd64-unicode
Name "Fleet App"
SilentInstall silent
RequestExecutionLevel user
Section
  SetOutPath "$LOCALAPPDATA\FleetApp"
  FileOpen $0 "$LOCALAPPDATA\FleetApp\installed.txt" w
  FileWrite $0 "Fleet App installed"
  FileClose $0
SectionEnd
