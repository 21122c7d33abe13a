// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/startup/ProgramFont.h"

#include "core/common/Folders.h"

#include <QFontDatabase>
#include <QStringList>

QString registerProgramFont()
{
    const int id = QFontDatabase::addApplicationFont(Folders::join(Folders::fontsDir(), QStringLiteral("seguibk.ttf")));
    if (id < 0)
        return {};
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    return families.isEmpty() ? QString() : families.first();
}
