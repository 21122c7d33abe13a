// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the fuzz targets share: a property that must hold, and a folder of
// their own for the files a target writes.
#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

// A property that failed ends the run, so libFuzzer keeps the input.
inline void check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "property failed: %s\n", what);
        std::abort();
    }
}

// A temporary folder for this run (target names it), removed at its end.
inline const QString &scratchFolder(const char *target)
{
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/fuzz-%1-XXXXXX").arg(QLatin1String(target)));
    static const QString path = dir.path();
    return path;
}
