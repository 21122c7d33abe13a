// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/startup/SysInfo.h"

#include "core/common/Folders.h"
#include "core/startup/Registry.h"

#include <QFileInfo>
#include <QStandardPaths>

namespace SysInfo {

QStringList toolNames()
{
    return {QStringLiteral("hardinfo"), QStringLiteral("hardinfo2"), QStringLiteral("gnome-system-monitor"),
            QStringLiteral("kinfocenter"), QStringLiteral("xfce4-taskmanager")};
}

void registerTool(Registry &registry, const QStringList &searchFolders)
{
    // An empty list of folders would make the lookup search PATH instead.
    if (searchFolders.isEmpty())
        return;
    for (const QString &name : toolNames()) {
        const QString path = QStandardPaths::findExecutable(name, searchFolders);
        if (path.isEmpty())
            continue;
        registry.setString(Reg::HKEY_LOCAL_MACHINE, PathKey, PathValue, path);
        registry.setString(Reg::HKEY_LOCAL_MACHINE, LocationKey, LocationValue, QFileInfo(path).absolutePath());
        return;
    }
}

QString toolPath()
{
    qint32 root = Reg::HKEY_LOCAL_MACHINE;
    QString key = PathKey;
    QString value = PathValue;
    QString text;
    // Whatever try 1 names is started as it is.
    if (GetKeyValue(root, key, value, text))
        return text;

    key = LocationKey;
    value = LocationValue;
    if (!GetKeyValue(root, key, value, text))
        return QString();
    const QString file = Folders::join(text, QStringLiteral("\\MSINFO32.EXE"));
    return QFileInfo(file).isFile() ? file : QString();
}

}
