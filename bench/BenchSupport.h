#pragma once
// What the benchmarks share: the median of their rounds and the files they
// make to measure on.
#include <QFile>
#include <QList>
#include <QString>

#include <algorithm>

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
