// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/common/Folders.h"

#include "core/common/Seams.h"

#include <QDir>
#include <QFileInfo>

namespace Folders {

QString appDir() { return Seams::appDir(); }

QString systemDir()
{
    QString env = qEnvironmentVariable("SETUPREEL_SYSTEM_DIR");
    if (!env.isEmpty())
        return env;
    return appDir() + QLatin1String("/system32");
}

QString fontsDirOf(const QString &system) { return system.left(qMax(0, system.size() - 8)) + QLatin1String("Fonts"); }

QString fontsDir() { return fontsDirOf(systemDir()); }

QString join(const QString &folder, const QString &name)
{
    QString bare = name;
    while (bare.startsWith(QLatin1Char('\\')) || bare.startsWith(QLatin1Char('/')))
        bare.remove(0, 1);
    QString base = folder;
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    QString exact = base + bare;
    if (QFileInfo::exists(exact))
        return exact;
    // The original platform ignores letter case in file names.
    const QStringList entries =
            QDir(folder).entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        if (entry.compare(bare, Qt::CaseInsensitive) == 0)
            return base + entry;
    }
    return exact;
}

QString appFile(const QString &name) { return join(appDir(), name); }

}
