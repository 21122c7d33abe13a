// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A fresh copy of the build's application folder, for starting the real program
// as a first start: the manifest of earlier starts is left behind.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

inline bool copyAppFolder(const QString &from, const QString &to)
{
    QDirIterator it(from, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        const QString relative = QDir(from).relativeFilePath(file);
        if (relative.endsWith(QLatin1String(".exe.manifest")))
            continue;
        const QString target = to + QLatin1Char('/') + relative;
        QDir().mkpath(QFileInfo(target).path());
        if (!QFile::copy(file, target))
            return false;
        QFile::setPermissions(target, QFileInfo(file).permissions());
    }
    return true;
}
