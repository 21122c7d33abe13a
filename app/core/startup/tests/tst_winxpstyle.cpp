// SPDX-License-Identifier: GPL-3.0-or-later
// The manifest routine with its folder, program and restart injected: what it
// writes, when it restarts, and what the caller's variables hold afterwards.
#include "SmallFileSystem.h"
#include "core/startup/WinXpStyle.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

namespace {
const QByteArray Expected = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?> \r\n"
                            "<assembly \r\n"
                            "   xmlns=\"urn:schemas-microsoft-com:asm.v1\" \r\n"
                            "   manifestVersion=\"1.0\">\r\n"
                            "<assemblyIdentity \r\n"
                            "    processorArchitecture=\"x86\" \r\n"
                            "    version=\"1.0.0.0\"\r\n"
                            "    type=\"win32\"\r\n"
                            "    name=\"setupreel.exe\"/>\r\n"
                            "    <description>" SETUPREEL_DESCRIPTION "</description>\r\n"
                            "    <dependency>\r\n"
                            "    <dependentAssembly>\r\n"
                            "    <assemblyIdentity\r\n"
                            "         type=\"win32\"\r\n"
                            "         name=\"Microsoft.Windows.Common-Controls\"\r\n"
                            "         version=\"6.0.0.0\"\r\n"
                            "         publicKeyToken=\"6595b64144ccf1df\"\r\n"
                            "         language=\"*\"\r\n"
                            "         processorArchitecture=\"x86\"/>\r\n"
                            "    </dependentAssembly>\r\n"
                            "    </dependency>\r\n"
                            "</assembly>\r\n";

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}
}

class TestWinXpStyle : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QStringList m_events; // "start <program> <args...>", "end"
    bool m_startSucceeds = true;

    WinXpStyle::Environment env(const QString &folder)
    {
        WinXpStyle::Environment e = WinXpStyle::defaultEnvironment();
        e.appDir = folder;
        e.programName = QStringLiteral("setupreel");
        e.programFile = folder + QStringLiteral("/setupreel");
        e.arguments = {QByteArray("-platform"), QByteArray("a b"), QByteArray()};
        e.startNewInstance = [this](const QString &program, const QList<QByteArray> &args) {
            m_events << QStringLiteral("start ") + program + QLatin1Char('|')
                                + QString::fromLatin1(QByteArrayList(args).join('|'));
            return m_startSucceeds;
        };
        e.endNow = [this] { m_events << QStringLiteral("end"); };
        return e;
    }

    QString freshFolder(const QString &name)
    {
        const QString folder = m_dir.filePath(name);
        QDir().mkpath(folder);
        return folder;
    }

private slots:
    void init()
    {
        m_events.clear();
        m_startSucceeds = true;
    }

    void textIsTheTemplateWithItsPlaceholders()
    {
        const QString tmpl = WinXpStyle::templateText();
        QCOMPARE(tmpl.count(QLatin1String("\r\n")), 22);
        QVERIFY(tmpl.endsWith(QLatin1String("</assembly>\r\n")));
        QVERIFY(!tmpl.contains(QLatin1String("\n\n")) && !tmpl.contains(QLatin1String("\r\r")));
        for (const char *placeholder : {"EXENAME", "EXEVERSION", "EXEDESCRIBTION"})
            QCOMPARE(tmpl.count(QLatin1String(placeholder)), 1);

        const WinXpStyle::Environment e = WinXpStyle::defaultEnvironment();
        QCOMPARE(e.version, QStringLiteral("1.0.0.0"));
        QCOMPARE(e.description, QStringLiteral(SETUPREEL_DESCRIPTION));
        QCOMPARE(WinXpStyle::manifestText(QStringLiteral("setupreel.exe"), e.version, e.description).toLatin1(),
                 Expected);

        // In order: a description that reads like a placeholder already replaced stays as it is.
        const QString text = WinXpStyle::manifestText(QStringLiteral("p.exe"), QStringLiteral("2.3.4.0"),
                                                      QStringLiteral("uses EXENAME and EXEVERSION"));
        QVERIFY(text.contains(QLatin1String("<description>uses EXENAME and EXEVERSION</description>")));
        QVERIFY(text.contains(QLatin1String("    version=\"2.3.4.0\"\r\n")));
        QVERIFY(text.contains(QLatin1String("    name=\"p.exe\"/>\r\n")));

        // Markup in a description cannot break the file.
        QVERIFY(WinXpStyle::manifestText(QStringLiteral("p.exe"), QStringLiteral("1.0.0.0"), QStringLiteral("A<B & C"))
                        .contains(QLatin1String("<description>A&lt;B &amp; C</description>")));
    }

    void defaultsComeFromTheRunningProgram()
    {
        const WinXpStyle::Environment e = WinXpStyle::defaultEnvironment();
        QCOMPARE(e.appDir, QCoreApplication::applicationDirPath());
        QCOMPARE(e.programName, QStringLiteral("tst_winxpstyle"));
        QCOMPARE(WinXpStyle::manifestPath(e.appDir, e.programName),
                 QCoreApplication::applicationDirPath() + QStringLiteral("/tst_winxpstyle.exe.manifest"));

        // The bytes as given, also those that are not UTF-8.
        QByteArray a0("prog"), a1("-platform"), a2("offscreen"), a3("x y"), a4("caf\xe9");
        char *argv[] = {a0.data(), a1.data(), a2.data(), a3.data(), a4.data()};
        WinXpStyle::rememberArguments(5, argv);
        QCOMPARE(WinXpStyle::defaultEnvironment().arguments,
                 QList<QByteArray>({"-platform", "offscreen", "x y", "caf\xe9"}));
        WinXpStyle::rememberArguments(1, argv);
        QCOMPARE(WinXpStyle::defaultEnvironment().arguments, QList<QByteArray>());
    }

    void firstStartWritesThenRestartsWithTheSameArguments()
    {
        const QString folder = freshFolder(QStringLiteral("first"));
        bool restart = true, force = true;
        QCOMPARE(WinXpStyle::EnsureStyleManifest(restart, force, env(folder)), false);
        QCOMPARE(force, false); // the caller's variable too
        QCOMPARE(restart, true);
        QCOMPARE(readAll(folder + QStringLiteral("/setupreel.exe.manifest")), Expected);
        QCOMPARE(m_events, QStringList({QStringLiteral("start ") + folder + QStringLiteral("/setupreel|-platform|a b|"),
                                        QStringLiteral("end")}));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("setupreel.exe.manifest")});

        // The new instance finds it and goes on.
        m_events.clear();
        restart = true;
        force = false;
        QCOMPARE(WinXpStyle::EnsureStyleManifest(restart, force, env(folder)), true);
        QVERIFY(m_events.isEmpty());
    }

    void aPresentManifestIsKeptEvenWhenOutOfDate()
    {
        const QString folder = freshFolder(QStringLiteral("present"));
        const QString path = folder + QStringLiteral("/setupreel.exe.manifest");
        writeFile(path, "old version 0.9");
        QFile::setPermissions(path, QFile::ReadOwner); // read-only is still found
        bool restart = true, force = true;
        QCOMPARE(WinXpStyle::EnsureStyleManifest(restart, force, env(folder)), true);
        QCOMPARE(force, false);
        QCOMPARE(readAll(path), QByteArray("old version 0.9"));
        QVERIFY(m_events.isEmpty());
    }

    void forceRewriteWithoutRestartWritesAnew()
    {
        const QString folder = freshFolder(QStringLiteral("force"));
        const QString path = folder + QStringLiteral("/setupreel.exe.manifest");
        writeFile(path, QByteArray(5000, 'x')); // longer than the new text
        QFile::setPermissions(path, QFile::ReadOwner);
        bool restart = false, force = true;
        QCOMPARE(WinXpStyle::EnsureStyleManifest(restart, force, env(folder)), true);
        QCOMPARE(force, true);
        QCOMPARE(readAll(path), Expected);
        QVERIFY(m_events.isEmpty());

        // Without a manifest it is written, the result False, and still no restart.
        QVERIFY(QFile::remove(path));
        QCOMPARE(WinXpStyle::EnsureStyleManifest(restart, force, env(folder)), false);
        QCOMPARE(readAll(path), Expected);
        QVERIFY(m_events.isEmpty());
    }

    void aFolderThatCannotTakeTheFileNeverRestarts_data()
    {
        QTest::addColumn<QString>("folder");
        const QString plain = m_dir.filePath(QStringLiteral("plain-file"));
        writeFile(plain, "not a folder");
        QTest::newRow("parent is a file") << plain + QStringLiteral("/app");
        QTest::newRow("under /proc") << QStringLiteral("/proc/self/setupreel-app");
        QTest::newRow("missing folder") << m_dir.filePath(QStringLiteral("no/such/folder"));
    }

    void aFolderThatCannotTakeTheFileNeverRestarts()
    {
        QFETCH(QString, folder);
        bool restart = true, force = false;
        QCOMPARE(WinXpStyle::EnsureStyleManifest(restart, force, env(folder)), false);
        QVERIFY(!QFile::exists(folder + QStringLiteral("/setupreel.exe.manifest")));
        QVERIFY(m_events.isEmpty());
    }

    // A small file system of its own, filled up: the manifest cannot be
    // written whole, so none stays behind and the program does not restart.
    void aFullDiskLeavesNoManifestAndNeverRestarts()
    {
        if (::geteuid() != 0)
            QSKIP("mounting a small tmpfs to fill up needs root");
        const QString mountPoint = freshFolder(QStringLiteral("full"));
        SmallFileSystem disk(mountPoint, QStringLiteral("64k"));
        if (!disk.isMounted())
            QSKIP(qPrintable(disk.whyNot()));

        const QString path = mountPoint + QStringLiteral("/setupreel.exe.manifest");
        const QString filler = mountPoint + QStringLiteral("/filler");
        QVERIFY(SmallFileSystem::fillUp(filler, 1024));
        {
            QFile probe(mountPoint + QStringLiteral("/probe"));
            QVERIFY(probe.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
            QCOMPARE(probe.write("x", 1), qint64(-1)); // really full
            probe.close();
            probe.remove();
        }
        const QStringList before = QDir(mountPoint).entryList(QDir::Files | QDir::Hidden);

        bool restart = true, force = false;
        QCOMPARE(WinXpStyle::EnsureStyleManifest(restart, force, env(mountPoint)), false);
        QVERIFY(!QFile::exists(path));
        QCOMPARE(QDir(mountPoint).entryList(QDir::Files | QDir::Hidden), before); // no temporary left
        QVERIFY(m_events.isEmpty());

        // A manifest present on the full disk is kept whole when a rewrite fails.
        QVERIFY(QFile::remove(filler));
        writeFile(path, "old version 0.9");
        QVERIFY(SmallFileSystem::fillUp(filler, 1024));
        bool noRestart = false, rewrite = true;
        QCOMPARE(WinXpStyle::EnsureStyleManifest(noRestart, rewrite, env(mountPoint)), true);
        QCOMPARE(readAll(path), QByteArray("old version 0.9"));
        QCOMPARE(QDir(mountPoint).entryList(QDir::Files | QDir::Hidden),
                 QStringList({QStringLiteral("filler"), QStringLiteral("setupreel.exe.manifest")}));

        // With room again the next start writes it whole and restarts once.
        QVERIFY(QFile::remove(filler));
        QVERIFY(QFile::remove(path));
        QCOMPARE(WinXpStyle::EnsureStyleManifest(restart, force, env(mountPoint)), false);
        QCOMPARE(readAll(path), Expected);
        QCOMPARE(m_events.size(), 2);
        QCOMPARE(QFileInfo(path).permissions() & QFile::ReadOther, QFile::ReadOther);
    }

    // The restart hands over bytes, not text: what is not UTF-8 arrives as it was.
    void aNewInstanceGetsTheArgumentBytesExactly()
    {
        const QString out = m_dir.filePath(QStringLiteral("args.out"));
        QVERIFY(WinXpStyle::startProgram(QStringLiteral("/bin/sh"), {"-c", "printf '%s|' \"$@\" > \"$0\"", out.toUtf8(),
                                                                     "caf\xe9", "", "two words", "\xff\xfe"}));
        QVERIFY(QTest::qWaitFor([&] { return readAll(out).endsWith("\xff\xfe|"); }, 10000));
        QCOMPARE(readAll(out), QByteArray("caf\xe9||two words|\xff\xfe|"));

        QVERIFY(!WinXpStyle::startProgram(m_dir.filePath(QStringLiteral("no-such-program")), {}));
    }

    void aRestartThatCannotStartKeepsThisInstance()
    {
        const QString folder = freshFolder(QStringLiteral("nostart"));
        m_startSucceeds = false;
        bool restart = true, force = false;
        QCOMPARE(WinXpStyle::EnsureStyleManifest(restart, force, env(folder)), false);
        QCOMPARE(m_events.size(), 1);
        QVERIFY(m_events[0].startsWith(QLatin1String("start ")));
        QCOMPARE(readAll(folder + QStringLiteral("/setupreel.exe.manifest")), Expected);
    }
};

QTEST_GUILESS_MAIN(TestWinXpStyle)
#include "tst_winxpstyle.moc"
