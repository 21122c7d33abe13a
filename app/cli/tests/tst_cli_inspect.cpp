// SPDX-License-Identifier: GPL-3.0-or-later
// setupreel --inspect on real files: installers built by makensis and wixl
// at test time, crafted ones for the kinds the distribution cannot build,
// scripts, a native program, random and cut-off files.
#include "CraftedSetups.h"
#include "SetupreelRun.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <unistd.h>

namespace {

using SetupreelRun::Result;

Result runSetupreel(const QStringList &args)
{
    return SetupreelRun::run(args, SetupreelRun::noDisplay(), QString(), 60000);
}

bool write(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

bool runTool(const QString &dir, const QString &tool, const QStringList &args)
{
    QProcess p;
    p.setWorkingDirectory(dir);
    p.start(tool, args);
    return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

} // namespace

class TestCliInspect : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    // File name → type id, machine, silent switch, as --inspect must tell them.
    struct Expected
    {
        QString name, type, machine, silent;
    };
    QList<Expected> m_files;

    QString path(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase()
    {
        using namespace CraftedSetups;
        QVERIFY(m_dir.isValid());
        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("makensis")).isEmpty(), "makensis (nsis) is needed");
        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("wixl")).isEmpty(), "wixl is needed");

        QVERIFY(write(path(QStringLiteral("tool.nsi")),
                      "OutFile \"nsis-setup.exe\"\nSilentInstall silent\nRequestExecutionLevel user\n"
                      "Section\nSectionEnd\n"));
        QVERIFY(runTool(m_dir.path(), QStringLiteral("makensis"), {QStringLiteral("-V1"), QStringLiteral("tool.nsi")}));
        m_files << Expected{QStringLiteral("nsis-setup.exe"), QStringLiteral("nsis"), QStringLiteral("x86"),
                            QStringLiteral("/S")};

        QVERIFY(write(path(QStringLiteral("readme.txt")), "hello\n"));
        QVERIFY(write(path(QStringLiteral("p.wxs")),
                      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                      "<Wix xmlns=\"http://schemas.microsoft.com/wix/2006/wi\">\n"
                      " <Product Id=\"*\" Name=\"Probe\" Language=\"1033\" Version=\"1.0.0\" Manufacturer=\"Tests\"\n"
                      "          UpgradeCode=\"11111111-2222-3333-4444-555555555555\">\n"
                      "  <Package InstallerVersion=\"200\" Compressed=\"yes\" />\n"
                      "  <Media Id=\"1\" Cabinet=\"p.cab\" EmbedCab=\"yes\" />\n"
                      "  <Directory Id=\"TARGETDIR\" Name=\"SourceDir\"><Directory Id=\"ProgramFilesFolder\">\n"
                      "   <Directory Id=\"INSTALLDIR\" Name=\"Probe\">\n"
                      "    <Component Id=\"C\" Guid=\"*\"><File Id=\"F\" Source=\"readme.txt\" /></Component>\n"
                      "   </Directory></Directory></Directory>\n"
                      "  <Feature Id=\"All\" Level=\"1\"><ComponentRef Id=\"C\" /></Feature>\n"
                      " </Product>\n</Wix>\n"));
        QVERIFY(runTool(m_dir.path(), QStringLiteral("wixl"),
                        {QStringLiteral("-o"), QStringLiteral("package.msi"), QStringLiteral("p.wxs")}));
        m_files << Expected{QStringLiteral("package.msi"), QStringLiteral("msi"), QString(),
                            QStringLiteral("/qn /norestart")};

        QVERIFY(write(path(QStringLiteral("install.bat")), "@echo off\r\necho hi\r\n"));
        m_files << Expected{QStringLiteral("install.bat"), QStringLiteral("batch"), QString(), QString()};
        QVERIFY(write(path(QStringLiteral("install")), "#!/bin/sh\nexit 0\n"));
        m_files << Expected{QStringLiteral("install"), QStringLiteral("shell"), QString(), QString()};
        QVERIFY(QFile::copy(QStringLiteral("/bin/true"), path(QStringLiteral("native"))));
        m_files << Expected{QStringLiteral("native"), QStringLiteral("native"), QString(), QString()};

        QVERIFY(write(path(QStringLiteral("inno.exe")), innoSetup()));
        m_files << Expected{QStringLiteral("inno.exe"), QStringLiteral("inno"), QStringLiteral("x86"),
                            QStringLiteral("/SP- /VERYSILENT /SUPPRESSMSGBOXES /NORESTART")};
        QVERIFY(write(path(QStringLiteral("bundle.exe")), wixBurn()));
        m_files << Expected{QStringLiteral("bundle.exe"), QStringLiteral("burn"), QStringLiteral("x86"),
                            QStringLiteral("/quiet /norestart")};
        QVERIFY(write(path(QStringLiteral("sfx.exe")), sevenZipSfx()));
        m_files << Expected{QStringLiteral("sfx.exe"), QStringLiteral("7zip-sfx"), QStringLiteral("x86"), QString()};
        QVERIFY(write(path(QStringLiteral("tool32.exe")), pe(I386, {code()})));
        m_files << Expected{QStringLiteral("tool32.exe"), QStringLiteral("windows"), QStringLiteral("x86"), QString()};
        QVERIFY(write(path(QStringLiteral("tool64.exe")), pe(Amd64, {code()})));
        m_files << Expected{QStringLiteral("tool64.exe"), QStringLiteral("windows"), QStringLiteral("x86-64"),
                            QString()};

        // Nothing that only looks like a setup may pass for one.
        QRandomGenerator random(20240131);
        QByteArray noise(65536, '\0');
        for (char &c : noise)
            c = char(random.bounded(256));
        noise[0] = 'x';
        QVERIFY(write(path(QStringLiteral("noise.exe")), noise));
        m_files << Expected{QStringLiteral("noise.exe"), QStringLiteral("unknown"), QString(), QString()};
        QFile nsis(path(QStringLiteral("nsis-setup.exe")));
        QVERIFY(nsis.open(QIODevice::ReadOnly));
        QVERIFY(write(path(QStringLiteral("cut-nsis.exe")), nsis.read(60)));
        m_files << Expected{QStringLiteral("cut-nsis.exe"), QStringLiteral("unknown"), QString(), QString()};
        QVERIFY(write(path(QStringLiteral("cut-package.msi")), compound(msiClsid()).left(1024)));
        m_files << Expected{QStringLiteral("cut-package.msi"), QStringLiteral("unknown"), QString(), QString()};
        QVERIFY(write(path(QStringLiteral("empty.exe")), QByteArray()));
        m_files << Expected{QStringLiteral("empty.exe"), QStringLiteral("unknown"), QString(), QString()};
    }

    // One line per file: the type, the machine where it has one, the switch.
    void plainLines()
    {
        QStringList args{QStringLiteral("--inspect")};
        for (const Expected &e : m_files)
            args << path(e.name);
        const Result r = runSetupreel(args);
        QVERIFY2(r.status == 0, r.err.constData());
        const QStringList out = QString::fromUtf8(r.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(out.size(), m_files.size());
        for (int i = 0; i < m_files.size(); ++i) {
            const Expected &e = m_files[i];
            const QString line = out[i];
            QVERIFY2(line.startsWith(path(e.name) + QStringLiteral(": ")), qPrintable(line));
            QVERIFY2(line.contains(QStringLiteral("(%1)").arg(e.type)), qPrintable(line));
            QCOMPARE(line.contains(QStringLiteral(", machine ")), !e.machine.isEmpty());
            if (!e.machine.isEmpty())
                QVERIFY2(line.contains(QStringLiteral(", machine ") + e.machine + QLatin1Char(',')), qPrintable(line));
            QVERIFY2(line.endsWith(e.silent.isEmpty() ? QStringLiteral(", no silent switch known")
                                                      : QStringLiteral(", silent switch ") + e.silent),
                     qPrintable(line));
        }
    }

    // --json holds the same, and parses.
    void json()
    {
        QStringList args{QStringLiteral("--inspect"), QStringLiteral("--json")};
        for (const Expected &e : m_files)
            args << path(e.name);
        const Result r = runSetupreel(args);
        QCOMPARE(r.status, 0);
        QJsonParseError error;
        const QJsonObject doc = QJsonDocument::fromJson(r.out, &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(doc.value(QLatin1String("format")).toString(), QStringLiteral("setupreel-inspect/1"));
        const QJsonArray files = doc.value(QLatin1String("files")).toArray();
        QCOMPARE(files.size(), m_files.size());
        for (int i = 0; i < m_files.size(); ++i) {
            const QJsonObject o = files[i].toObject();
            const Expected &e = m_files[i];
            QCOMPARE(o.value(QLatin1String("file")).toString(), path(e.name));
            QCOMPARE(o.value(QLatin1String("type")).toString(), e.type);
            QCOMPARE(o.value(QLatin1String("machine")).toString(), e.machine);
            QCOMPARE(o.value(QLatin1String("machine")).isNull(), e.machine.isEmpty());
            QCOMPARE(o.value(QLatin1String("silentSwitch")).toString(), e.silent);
            QVERIFY(o.value(QLatin1String("error")).isNull());
        }
    }

    // A file that is missing or no regular file is told, the others still
    // are, and the status is 2.
    void unreadableFiles()
    {
        const QString missing = path(QStringLiteral("gone.exe"));
        const Result r =
                runSetupreel({QStringLiteral("--inspect"), missing, m_dir.path(), path(QStringLiteral("tool64.exe"))});
        QCOMPARE(r.status, 2);
        QVERIFY(r.out.contains("tool64.exe: Windows program (windows), machine x86-64"));
        QVERIFY2(r.err.contains((missing + QStringLiteral(": cannot be read: ")).toUtf8()), r.err.constData());
        QVERIFY(r.err.contains((m_dir.path() + QStringLiteral(": cannot be read: Not a regular file")).toUtf8()));

        const Result j = runSetupreel({QStringLiteral("--inspect"), QStringLiteral("--json"), missing});
        QCOMPARE(j.status, 2);
        const QJsonArray files = QJsonDocument::fromJson(j.out).object().value(QLatin1String("files")).toArray();
        QCOMPARE(files.size(), 1);
        QVERIFY(!files[0].toObject().value(QLatin1String("error")).toString().isEmpty());
        QVERIFY(files[0].toObject().value(QLatin1String("type")).isNull());
    }

    // A name that is not UTF-8 is read and printed as its own bytes.
    void nameNotUtf8()
    {
        const QByteArray name = m_dir.path().toUtf8() + "/caf\xE9.exe";
        QFile f(QString::fromUtf8(m_dir.path().toUtf8()) + QStringLiteral("/placeholder"));
        QVERIFY(write(f.fileName(), CraftedSetups::innoSetup()));
        QCOMPARE(::rename(f.fileName().toUtf8().constData(), name.constData()), 0);
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        p.setProcessEnvironment(env);
        // Through sh, so the argument reaches the program as these bytes.
        p.start(QStringLiteral("sh"),
                {QStringLiteral("-c"), QStringLiteral("exec \"$0\" --inspect \"$(printf '%s/caf\\351.exe' \"$1\")\""),
                 QStringLiteral(SETUPREEL_BUILD_APP_DIR "/setupreel"), m_dir.path()});
        const bool ended = p.waitForFinished(30000);
        ::unlink(name.constData()); // QTemporaryDir cannot remove a name that is not UTF-8
        QVERIFY(ended);
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(p.readAllStandardOutput(), name
                                                    + ": Inno Setup installer (inno), machine x86, silent switch "
                                                      "/SP- /VERYSILENT /SUPPRESSMSGBOXES /NORESTART\n");
    }

    // --check --prefix: a Windows path of the list is looked for through that
    // prefix's drives, not $WINEPREFIX's; a named prefix not made yet is
    // said and left unmade.
    void checkLooksThroughThePrefix()
    {
        const QString prefix = path(QStringLiteral("prefixes/office"));
        QVERIFY(QDir().mkpath(prefix + QStringLiteral("/dosdevices")) && QDir().mkpath(path(QStringLiteral("q/tools")))
                && QDir().mkpath(path(QStringLiteral("lists"))));
        QVERIFY(QFile::link(path(QStringLiteral("q")), prefix + QStringLiteral("/dosdevices/q:")));
        QVERIFY(write(prefix + QStringLiteral("/system.reg"), "WINE REGISTRY Version 2\n#arch=win64\n"));
        QVERIFY(write(path(QStringLiteral("q/tools/tool.sh")), "#!/bin/sh\n"));
        QVERIFY(QFile::setPermissions(path(QStringLiteral("q/tools/tool.sh")),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QString list = path(QStringLiteral("lists/drive.SR"));
        QVERIFY(write(list, ">Drive\r\nQ:\\tools\\tool.sh\r\n"));

        QProcessEnvironment env = SetupreelRun::noDisplay();
        env.insert(QStringLiteral("WINEPREFIX"), path(QStringLiteral("prefixes/default")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), path(QStringLiteral("data")));
        const auto check = [&](const QStringList &more) {
            return SetupreelRun::run(QStringList{QStringLiteral("--check"), list} + more, env, QString(), 60000);
        };
        const Result through = check({QStringLiteral("--prefix"), prefix});
        QVERIFY2(through.status == 0 && through.out.contains("1 of 1 program file(s) found."),
                 through.out + through.err);
        QCOMPARE(check({}).status, 1);
        const Result named = check({QStringLiteral("--prefix=absent")});
        QCOMPARE(named.status, 1);
        QVERIFY2(named.err.contains(QStringLiteral("The Wine prefix %1 is not made yet")
                                            .arg(path(QStringLiteral("data/wineprefixes/absent")))
                                            .toUtf8()),
                 named.err.constData());
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("data/wineprefixes"))));
    }

    // --help names every command; --version the version; a wrong command
    // line is told on standard error with status 2.
    void helpVersionAndMistakes()
    {
        const Result help = runSetupreel({QStringLiteral("--help")});
        QCOMPARE(help.status, 0);
        for (const char *text :
             {"setupreel [LIST.SR]", "--install LIST.SR [--report FILE]", "--inspect [--json] FILE...",
              "--check LIST.SR [--write-suggested NEW.SR]", "--version", "130 Ctrl-C", "--timeout SECONDS",
              "[--skip-done] [--resume]", "--status LIST.SR [--json]", "[--restart=off|wine|stop] [--prefix NAME|DIR]",
              "--resume-after-reboot"})
            QVERIFY2(help.out.contains(text), text);
        QCOMPARE(runSetupreel({QStringLiteral("-h")}).out, help.out);

        const Result version = runSetupreel({QStringLiteral("--version")});
        QCOMPARE(version.status, 0);
        QCOMPARE(version.out, QByteArray("setupreel " SETUPREEL_VERSION "\n"));

        const QList<QStringList> wrong{
                {QStringLiteral("--install"), QStringLiteral("x.SR"), QStringLiteral("--frobnicate")},
                {QStringLiteral("--install")},
                {QStringLiteral("--inspect")},
                {QStringLiteral("--json"), QStringLiteral("a.exe")},
                {QStringLiteral("--install"), QStringLiteral("x.SR"), QStringLiteral("--inspect"),
                 QStringLiteral("a.exe")},
                {QStringLiteral("--install"), QStringLiteral("x.SR"), QStringLiteral("extra")},
                {QStringLiteral("--report=r.json"), QStringLiteral("--inspect"), QStringLiteral("a.exe")},
                {QStringLiteral("--bogus")},
                {QStringLiteral("-x")},
                {QStringLiteral("--instal"), QStringLiteral("x.SR")},
                {QStringLiteral("--install"), QStringLiteral("x.SR"), QStringLiteral("--install"),
                 QStringLiteral("y.SR")},
                {QStringLiteral("--install"), QStringLiteral("x.SR"), QStringLiteral("--timeout"), QStringLiteral("0")},
                {QStringLiteral("--install"), QStringLiteral("x.SR"), QStringLiteral("--timeout=ten")},
                {QStringLiteral("--timeout=10"), QStringLiteral("--check"), QStringLiteral("x.SR")},
                {QStringLiteral("--resume"), QStringLiteral("--status"), QStringLiteral("x.SR")},
                {QStringLiteral("--install"), QStringLiteral("x.SR"), QStringLiteral("--json")},
                {QStringLiteral("--install"), QStringLiteral("x.SR"), QStringLiteral("--restart=maybe")},
                {QStringLiteral("--restart=wine"), QStringLiteral("--check"), QStringLiteral("x.SR")},
                {QStringLiteral("--prefix=p"), QStringLiteral("--inspect"), QStringLiteral("a.exe")},
                {QStringLiteral("--install"), QStringLiteral("x.SR"), QStringLiteral("--prefix=..")},
                {QStringLiteral("--install"), QStringLiteral("x.SR"), QStringLiteral("--resume-after-reboot")},
                {QStringLiteral("--install"), QStringLiteral("x.SR"), QStringLiteral("--restart=stop"),
                 QStringLiteral("--resume-count=2")},
        };
        for (const QStringList &args : wrong) {
            const Result r = runSetupreel(args);
            QVERIFY2(r.status == 2, qPrintable(args.join(QLatin1Char(' '))));
            QVERIFY2(r.err.startsWith("setupreel: ") && r.err.contains("Try 'setupreel --help'"), r.err.constData());
            QVERIFY(r.out.isEmpty());
        }

        // A list to open in a window, and no display to show it on.
        const Result window = runSetupreel({QStringLiteral("x.SR")});
        QCOMPARE(window.status, 2);
        QVERIFY2(window.err.contains("no display") && window.err.contains("setupreel --help"), window.err.constData());
    }
};

QTEST_GUILESS_MAIN(TestCliInspect)
#include "tst_cli_inspect.moc"
