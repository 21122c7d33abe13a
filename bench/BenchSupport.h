// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the benchmarks share: the median of their rounds, the files they make
// to measure on, and the table row each result prints.
#include <QFile>
#include <QList>
#include <QLocale>
#include <QString>

#include <algorithm>
#include <cstdio>

inline double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Writes bytes as a new file; size: the file's size when larger (the rest a
// hole, as a large setup's payload), executable: runnable by its owner.
inline bool writeFile(const QString &path, const QByteArray &bytes, bool executable = false, qint64 size = -1)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        return false;
    if (size > bytes.size() && !f.resize(size))
        return false;
    f.close();
    return !executable || f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
}

// A count as the table writes it: 32,767.
inline QString number(qint64 n) { return QLocale(QLocale::English).toString(n); }

// One result: the human line, then the README table's row (markdown; the
// rows of every benchmark make the table, see scripts/bench.sh).
inline void printResult(const QString &benchmark, const QString &against, const QString &figure, const QString &target,
                        bool met)
{
    std::printf("  %s: %s  (target: %s)  %s\n", qPrintable(benchmark), qPrintable(figure), qPrintable(target),
                met ? "met" : "MISSED");
    std::printf("| %s | %s | %s | %s | %s |\n", qPrintable(benchmark), qPrintable(against), qPrintable(figure),
                qPrintable(target), met ? "yes" : "**no**");
    std::fflush(stdout);
}

// A figure shown for what it explains, with no target of its own.
inline void printFigure(const QString &benchmark, const QString &against, const QString &figure)
{
    std::printf("  %s: %s\n", qPrintable(benchmark), qPrintable(figure));
    std::printf("| %s | %s | %s | — | — |\n", qPrintable(benchmark), qPrintable(against), qPrintable(figure));
    std::fflush(stdout);
}

// A ratio against its reference, met when at most the target.
inline void printRatio(const QString &benchmark, const QString &against, double ms, double referenceMs, double target)
{
    const double ratio = ms / referenceMs;
    const QString figure =
            QStringLiteral("%1 ms / %2 ms = %3×").arg(ms, 0, 'f', 2).arg(referenceMs, 0, 'f', 2).arg(ratio, 0, 'f', 2);
    printResult(benchmark, against, figure, QStringLiteral("≤ %1×").arg(target, 0, 'f', 2), ratio <= target);
}
