// SPDX-License-Identifier: GPL-3.0-or-later
// The registry of the program's own, the value decoding of GetKeyValue and the
// two lookups of the system information tool.
#include "core/startup/Registry.h"
#include "core/startup/SysInfo.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QString Key = QStringLiteral("SOFTWARE\\Setupreel\\Test");

bool read(const QString &key, const QString &name, QString &val, qint32 root = Reg::HKEY_LOCAL_MACHINE)
{
    QString k = key;
    QString n = name;
    return GetKeyValue(root, k, n, val);
}

QString makeFile(const QString &path, bool executable)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write("#!/bin/sh\n");
    f.close();
    if (executable)
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
    return path;
}
}

class TestAboutRegistry : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    Registry &reg = Registry::instance();

private slots:
    // Runs first: nothing has touched the store yet.
    void fillsItselfFromPathOnFirstLookup()
    {
        QVERIFY(m_dir.isValid());
        const QString bin = m_dir.filePath(QStringLiteral("bin"));
        QDir().mkpath(bin);
        const QString tool = makeFile(bin + QStringLiteral("/kinfocenter"), true);
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin));
        QString val;
        const bool found = read(SysInfo::PathKey, SysInfo::PathValue, val);
        qputenv("PATH", oldPath);
        QVERIFY(found);
        QCOMPARE(val, tool);
        QCOMPARE(reg.openKeyCount(), 0);
    }

    void init()
    {
        if (qstrcmp(QTest::currentTestFunction(), "fillsItselfFromPathOnFirstLookup") != 0)
            reg.clear();
    }

    void stringsLoseOneTerminator_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("terminated") << QByteArray("C:\\Tools\\info.exe", 18) << QStringLiteral("C:\\Tools\\info.exe");
        QTest::newRow("unterminated") << QByteArray("abc") << QStringLiteral("abc");
        QTest::newRow("two zeros, one cut") << QByteArray("ab\0\0", 4) << QString::fromLatin1("ab\0", 3);
        QTest::newRow("only a terminator") << QByteArray("\0", 1) << QString();
        QTest::newRow("8-bit text") << QByteArray("Caf\xc3\xa9\0", 6) << QString::fromUtf8("Caf\xc3\xa9");
    }

    void stringsLoseOneTerminator()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        reg.setValue(Reg::HKEY_LOCAL_MACHINE, Key, QStringLiteral("Path"), Reg::REG_SZ, bytes);
        QString val = QStringLiteral("before");
        QVERIFY(read(Key, QStringLiteral("Path"), val));
        QCOMPARE(val, expected);
        QCOMPARE(reg.openKeyCount(), 0);
    }

    void numbersAsHexHighestByteFirst_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("03 02 01 00") << QByteArray("\x03\x02\x01\x00", 4) << QStringLiteral("&h123");
        QTest::newRow("zero bytes") << QByteArray(4, '\0') << QStringLiteral("&h000");
        QTest::newRow("no zero at the end") << QByteArray("\x0a\xff\x10\x7f", 4) << QStringLiteral("&h7F10FFA");
        QTest::newRow("zero inside") << QByteArray("\x01\x00\x02\x00", 4) << QStringLiteral("&h201");
    }

    void numbersAsHexHighestByteFirst()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        reg.setValue(Reg::HKEY_LOCAL_MACHINE, Key, QStringLiteral("Count"), Reg::REG_DWORD, bytes);
        QString val;
        QVERIFY(read(Key, QStringLiteral("Count"), val));
        QCOMPARE(val, expected);
    }

    void otherTypesLeaveTheTextAsPassed()
    {
        reg.setValue(Reg::HKEY_LOCAL_MACHINE, Key, QStringLiteral("Blob"), Reg::REG_BINARY, "\x01\x02");
        QString val = QStringLiteral("as passed");
        QVERIFY(read(Key, QStringLiteral("Blob"), val));
        QCOMPARE(val, QStringLiteral("as passed"));
        QCOMPARE(reg.openKeyCount(), 0);
    }

    void failuresEmptyTheText_data()
    {
        QTest::addColumn<qint32>("root");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("size");
        QTest::newRow("no such key") << Reg::HKEY_LOCAL_MACHINE << QStringLiteral("SOFTWARE\\Nobody")
                                     << QStringLiteral("Path") << 4;
        QTest::newRow("other root") << Reg::HKEY_CURRENT_USER << Key << QStringLiteral("Path") << 4;
        QTest::newRow("not a root") << qint32(12345) << Key << QStringLiteral("Path") << 4;
        QTest::newRow("no such value") << Reg::HKEY_LOCAL_MACHINE << Key << QStringLiteral("Other") << 4;
        QTest::newRow("larger than the buffer") << Reg::HKEY_LOCAL_MACHINE << Key << QStringLiteral("Path") << 1025;
    }

    void failuresEmptyTheText()
    {
        QFETCH(qint32, root);
        QFETCH(QString, key);
        QFETCH(QString, name);
        QFETCH(int, size);
        reg.setValue(Reg::HKEY_LOCAL_MACHINE, Key, QStringLiteral("Path"), Reg::REG_SZ, QByteArray(size, 'x'));
        QString val = QStringLiteral("before");
        QVERIFY(!read(key, name, val, root));
        QCOMPARE(val, QString());
        QCOMPARE(reg.openKeyCount(), 0);
    }

    void aFullBufferIsRead()
    {
        reg.setValue(Reg::HKEY_LOCAL_MACHINE, Key, QStringLiteral("Path"), Reg::REG_SZ, QByteArray(1024, 'x'));
        QString val;
        QVERIFY(read(Key, QStringLiteral("Path"), val));
        QCOMPARE(val.size(), 1024);
    }

    void namesIgnoreLetterCase()
    {
        reg.setString(Reg::HKEY_LOCAL_MACHINE, Key, QStringLiteral("Path"), QStringLiteral("x"));
        QString val;
        QVERIFY(read(Key.toUpper(), QStringLiteral("PATH"), val));
        QCOMPARE(val, QStringLiteral("x"));
    }

    void theFirstInstalledToolIsRegistered()
    {
        const QString bin = m_dir.filePath(QStringLiteral("tools"));
        const QString other = m_dir.filePath(QStringLiteral("other"));
        QDir().mkpath(bin);
        QDir().mkpath(other);
        makeFile(bin + QStringLiteral("/hardinfo"), false); // not a program
        makeFile(bin + QStringLiteral("/xfce4-taskmanager"), true);
        const QString wanted = makeFile(other + QStringLiteral("/hardinfo2"), true);

        reg.populate({bin, other});
        QString val;
        QVERIFY(read(SysInfo::PathKey, SysInfo::PathValue, val));
        QCOMPARE(val, wanted);
        QVERIFY(read(SysInfo::LocationKey, SysInfo::LocationValue, val));
        QCOMPARE(val, other);
        QCOMPARE(SysInfo::toolPath(), wanted);
    }

    void withoutAToolNeitherKeyExists()
    {
        reg.setString(Reg::HKEY_LOCAL_MACHINE, SysInfo::PathKey, SysInfo::PathValue, QStringLiteral("stale"));
        reg.populate({m_dir.filePath(QStringLiteral("empty"))});
        QVERIFY(!reg.keyExists(Reg::HKEY_LOCAL_MACHINE, SysInfo::PathKey));
        QVERIFY(!reg.keyExists(Reg::HKEY_LOCAL_MACHINE, SysInfo::LocationKey));
        QCOMPARE(SysInfo::toolPath(), QString());
        reg.populate({});
        QVERIFY(!reg.keyExists(Reg::HKEY_LOCAL_MACHINE, SysInfo::PathKey));
    }

    void toolPathTakesTryOneAsItIs()
    {
        reg.setString(Reg::HKEY_LOCAL_MACHINE, SysInfo::PathKey, SysInfo::PathValue,
                      QStringLiteral("/nowhere/msinfo32"));
        reg.setString(Reg::HKEY_LOCAL_MACHINE, SysInfo::LocationKey, SysInfo::LocationValue, m_dir.path());
        QCOMPARE(SysInfo::toolPath(), QStringLiteral("/nowhere/msinfo32"));
    }

    void toolPathByTryTwoNeedsTheFile()
    {
        const QString folder = m_dir.filePath(QStringLiteral("msinfo"));
        QDir().mkpath(folder);
        reg.setString(Reg::HKEY_LOCAL_MACHINE, SysInfo::LocationKey, SysInfo::LocationValue, folder);
        QCOMPARE(SysInfo::toolPath(), QString());

        // A folder of that name is not the tool.
        QDir().mkpath(folder + QStringLiteral("/MSINFO32.EXE"));
        QCOMPARE(SysInfo::toolPath(), QString());
        QDir(folder + QStringLiteral("/MSINFO32.EXE")).removeRecursively();

        // The original platform ignores letter case in file names.
        const QString file = makeFile(folder + QStringLiteral("/msinfo32.exe"), true);
        QCOMPARE(SysInfo::toolPath(), file);
    }
};

QTEST_GUILESS_MAIN(TestAboutRegistry)
#include "tst_about_registry.moc"
