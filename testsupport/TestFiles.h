// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A file's bytes read and written whole, for the tests that check what the
// program wrote or hand it what to read.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTest>

// The file's bytes; a marker no file of a test holds when it cannot be read.
inline QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// Replaces the file's content by bytes; fails the calling test when it cannot.
inline void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(f.write(bytes), bytes.size());
}
