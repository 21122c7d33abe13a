// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's own font, seguibk.ttf of the fonts folder, made known to the
// windows at start.
#include <QString>

// Registers the font for this process; its family, or empty when the file is
// missing or no font.
QString registerProgramFont();
