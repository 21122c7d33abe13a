// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The project-wide variables, alive for the whole run and shared by the windows.
// They keep their original names and 16-bit types.
#include <QString>
#include <QtGlobal>

namespace Globals {
extern qint16 ListHasTitle;     // row 0 of the editor list is the loaded list's title
extern qint16 ItemClicked;      // a row of the editor list was selected at least once
extern QString LoadedListText;  // whole text of the list loaded for installing
extern QString LoadedLineCount; // carriage returns in LoadedListText, as decimal digits
extern qint16 InstallIndex;     // program step of the install run; Cancel sets it past the end
extern qint16 SearchFileCount;  // found-file counter of every folder search; never reset

// Back to the values at program start (for tests).
void reset();
}
