// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/common/Globals.h"

namespace Globals {
qint16 ListHasTitle = 0;
qint16 ItemClicked = 0;
QString LoadedListText;
QString LoadedLineCount;
qint16 InstallIndex = 0;
qint16 SearchFileCount = 0;

void reset()
{
    ListHasTitle = 0;
    ItemClicked = 0;
    LoadedListText.clear();
    LoadedLineCount.clear();
    InstallIndex = 0;
    SearchFileCount = 0;
}
}
