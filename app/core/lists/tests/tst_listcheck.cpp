// SPDX-License-Identifier: GPL-3.0-or-later
// setupreel --check and --write-suggested, run as the built program: real
// list files, real setup files of each kind, real links and a full disk.
#include "CraftedSetups.h"
#include "FileNameCodec.h"
#include "ScriptedPrompts.h"
#include "SmallFileSystem.h"
#include "cli/tests/SetupreelRun.h"
#include "core/lists/ListSequences.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// An x86-64 program whose overlay holds NSIS's first header.
QByteArray nsisInstaller()
{
    return CraftedSetups::pe(CraftedSetups::Amd64, {CraftedSetups::code()}, CraftedSetups::nsisFirstHeader());
}

// A Windows Installer package: a compound file with the MSI class id.
QByteArray msiPackage() { return CraftedSetups::compound(CraftedSetups::msiClsid()); }

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(f.write(bytes), bytes.size());
}

// A file by its name's own bytes (one that is not UTF-8 has no QString).
QByteArray readRawBytes(const QByteArray &name)
{
    QFile f;
    FILE *file = std::fopen(name.constData(), "rb");
    if (!file || !f.open(file, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return QByteArray("<unreadable>");
    return f.readAll();
}

QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// What --check wrote, read back as file names are: bytes that are not UTF-8
// stay as they were written.
struct Checked
{
    int status = -1;
    QString out, err;
};

Checked checked(const SetupreelRun::Result &r)
{
    return Checked{r.status, FileNameCodec::decodeFileName(r.out), FileNameCodec::decodeFileName(r.err)};
}

// In the test's folder, with its Wine prefix.
Checked check(const QString &list, const QString &writeTo = QString())
{
    QStringList args{QStringLiteral("--check"), list};
    if (!writeTo.isEmpty())
        args << QStringLiteral("--write-suggested") << writeTo;
    return checked(SetupreelRun::run(args));
}

// The cells of a table line: columns are two or more blanks apart.
QStringList cells(const QString &line) { return line.split(QRegularExpression(QStringLiteral(" {2,}"))); }

} // namespace

class TestListCheck : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString &relative) const { return m_dir.filePath(relative); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // No Wine drive maps anything here.
        QVERIFY(QDir().mkpath(path(QStringLiteral("prefix"))));
        qputenv("WINEPREFIX", path(QStringLiteral("prefix")).toUtf8());
        QVERIFY(QDir::setCurrent(m_dir.path()));

        writeBytes(path(QStringLiteral("Setups/nsis.exe")), nsisInstaller());
        writeBytes(path(QStringLiteral("Setups/pkg.msi")), msiPackage());
        writeBytes(path(QStringLiteral("Setups/tools/script.sh")), "#!/bin/sh\nexit 0\n");
        writeBytes(path(QStringLiteral("Setups/Caf\u00e9/NSIS.EXE")), nsisInstaller());
    }

    void tableOfEveryProgramLine()
    {
        const QString list = path(QStringLiteral("Setups/table.SR"));
        writeBytes(list, ">Table\r\n"
                         "nsis.exe\r\n"
                         "E:\\Setups\\PKG.MSI /qb\r\n"
                         "tools\\script.sh\r\n"
                         "missing.exe /S\r\n"
                         "evil\x1b]0;owned\x07.exe\tx\xc2\x9b\r\n");
        const Checked c = check(list);
        QCOMPARE(c.status, 1); // one file was not found
        QCOMPARE(c.err, QString());

        const QStringList lines = c.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 7);
        QCOMPARE(cells(lines[0]), (QStringList{"No.", "Line", "Resolves to", "Type", "Switch", "Suggested"}));
        QCOMPARE(cells(lines[1]),
                 (QStringList{"1", "nsis.exe", path(QStringLiteral("Setups/nsis.exe")), "NSIS installer", "/S"}));
        QCOMPARE(cells(lines[2]), (QStringList{"2", "E:\\Setups\\PKG.MSI /qb", path(QStringLiteral("Setups/pkg.msi")),
                                               "Windows Installer package", "/qb"}));
        QCOMPARE(cells(lines[3]).mid(0, 3),
                 (QStringList{"3", "tools\\script.sh", path(QStringLiteral("Setups/tools/script.sh"))}));
        QCOMPARE(cells(lines[3]).size(), 4); // a type, no switch and none to suggest
        QCOMPARE(cells(lines[4]), (QStringList{"4", "missing.exe /S", "not found", "/S"}));
        // Control characters of a line never reach the terminal.
        QCOMPARE(cells(lines[5]), (QStringList{"5", "evil?]0;owned?.exe?x?", "not found", "x?"}));
        QCOMPARE(lines[6], QStringLiteral("3 of 5 program file(s) found."));
        // The columns line up under their headings.
        const qsizetype resolves = lines[0].indexOf(QLatin1String("Resolves to"));
        for (int i = 1; i <= 4; ++i)
            QCOMPARE(lines[i].at(resolves - 1), QLatin1Char(' '));
        QCOMPARE(lines[1].indexOf(path(QStringLiteral("Setups/nsis.exe"))), resolves);
        QCOMPARE(lines[4].indexOf(QLatin1String("not found")), resolves);
        // The line with a switch shows it under "Switch", not under "Suggested".
        QCOMPARE(lines[2].indexOf(QLatin1String("/qb"), lines[0].indexOf(QLatin1String("Switch"))),
                 lines[0].indexOf(QLatin1String("Switch")));
    }

    void statusWhenEveryFileIsFound()
    {
        const QString list = path(QStringLiteral("Setups/good.SR"));
        writeBytes(list, ">Good\r\nnsis.exe /S\r\npkg.msi\r\n");
        QCOMPARE(check(list).status, 0);
        writeBytes(list, ">Nothing to install\r\n");
        const Checked empty = check(list);
        QCOMPARE(empty.status, 0);
        QVERIFY(empty.out.contains(QLatin1String("0 of 0 program file(s) found.")));
    }

    void refusedListsAsLoadRefusesThem()
    {
        writeBytes(path(QStringLiteral("Setups/lower.sr")), ">x\r\nnsis.exe\r\n");
        Checked c = check(path(QStringLiteral("Setups/lower.sr")));
        QCOMPARE(c.status, 2);
        QCOMPARE(c.out, QString());
        QVERIFY2(c.err.contains(QLatin1String("It isn't currect file\nThe format of input file must be <SR>")),
                 qPrintable(c.err));

        writeBytes(path(QStringLiteral("Setups/damaged.SR")), "x\r\nnsis.exe\r\n");
        c = check(path(QStringLiteral("Setups/damaged.SR")));
        QCOMPARE(c.status, 2);
        QVERIFY(c.err.contains(QLatin1String("It isn't currect file")));

        // The window's text, then a line naming the file and what is wrong.
        const QList<std::pair<QByteArray, QString>> wrong{
                {QByteArray(">T\nnsis.exe\n"), QStringLiteral("its lines end in LF only")},
                {QByteArray("\xFF\xFE>\0T\0\r\0\n\0"), QStringLiteral("it is UTF-16 text")},
                {QByteArray(), QStringLiteral("the file is empty")},
                {QByteArray("MZ\x90\0\r\n"), QStringLiteral("it does not begin with \">\": it is not a list")}};
        for (const auto &[bytes, reason] : wrong) {
            const QString list = path(QStringLiteral("Setups/wrong.SR"));
            writeBytes(list, bytes);
            c = check(list);
            QCOMPARE(c.status, 2);
            QVERIFY2(c.err.startsWith(QLatin1String("File format: It isn't currect file\nsetupreel: ") + list
                                      + QLatin1String(" is not loaded: ") + reason),
                     qPrintable(c.err));
        }
        // Larger than any list can be: refused from its size, never read
        // (a sparse file of 3 GB that would take far more once decoded).
        {
            QFile big(path(QStringLiteral("Setups/big.SR")));
            QVERIFY(big.open(QIODevice::WriteOnly) && big.write(">T\r\n") == 4);
            QVERIFY(big.resize(qint64(3300) * 1000 * 1000));
        }
        QElapsedTimer clock;
        clock.start();
        c = check(path(QStringLiteral("Setups/big.SR")));
        QCOMPARE(c.status, 2);
        QVERIFY2(c.err.contains(QLatin1String("is not loaded: it is 3300000000 bytes, larger than any list can be")),
                 qPrintable(c.err));
        QVERIFY(clock.elapsed() < 5000);

        // Within that size, what is read is what a list can hold, never the
        // file: a list whose last line (no line end) is a hole of 1 GiB loads
        // in a process that may take no more than 256 MiB of data, and of that
        // line only as much as a line can hold is said.
        {
            QFile big(path(QStringLiteral("Setups/big.SR")));
            QVERIFY(big.open(QIODevice::WriteOnly | QIODevice::Truncate) && big.write(">T\r\nnsis.exe\r\n") == 14);
            QVERIFY(big.resize(qint64(1) << 30));
        }
        QProcess limited;
        limited.setProcessEnvironment(SetupreelRun::noDisplay());
        limited.setChildProcessModifier([] {
#ifndef __SANITIZE_ADDRESS__ // its shadow memory alone is larger than the limit
            const rlimit data{256 << 20, 256 << 20};
            ::setrlimit(RLIMIT_DATA, &data);
#endif
        });
        limited.start(SetupreelRun::program(), {QStringLiteral("--check"), path(QStringLiteral("Setups/big.SR"))});
        c = checked(SetupreelRun::finish(limited));
        QCOMPARE(c.status, 1); // the last line is not read
        QVERIFY2(c.out.contains(QLatin1String("1 of 1 program file(s) found.")), qPrintable(c.out));
        const QString unended = QStringLiteral("The last line has no line end (CR LF), so no load reads it: ");
        QVERIFY2(c.err.startsWith(unended), qPrintable(c.err.left(200)));
        // 32,766 characters of three bytes, the first the line feed behind
        // the carriage return; the rest is NUL bytes, each shown as "?".
        QCOMPARE(c.err, unended + QString(32766 * 3 - 1, u'?') + u'\n');
        QFile::remove(path(QStringLiteral("Setups/big.SR")));

        QVERIFY(QDir().mkpath(path(QStringLiteral("Setups/folder.SR"))));
        c = check(path(QStringLiteral("Setups/folder.SR")), path(QStringLiteral("Setups/never.SR")));
        QCOMPARE(c.status, 2);
        QVERIFY(c.err.contains(QLatin1String("could not be read")));
        QVERIFY(!QFile::exists(path(QStringLiteral("Setups/never.SR"))));
    }

    // Lines whose file is found but will not start as --install starts it:
    // said line by line, status 1; --install refuses the same 32-bit setup.
    void linesThatWillNotRun()
    {
        QTemporaryDir build;
        QFile nsi(build.filePath(QStringLiteral("s.nsi")));
        QVERIFY(nsi.open(QIODevice::WriteOnly));
        nsi.write("Unicode true\nOutFile \"" + path(QStringLiteral("Setups/setup32.exe")).toUtf8()
                  + "\"\nSilentInstall silent\nRequestExecutionLevel user\nSection\nSectionEnd\n");
        nsi.close();
        QCOMPARE(QProcess::execute(QStringLiteral("makensis"), {QStringLiteral("-V1"), nsi.fileName()}), 0);
        writeBytes(path(QStringLiteral("Setups/data.bin")), "plain data\n");
        writeBytes(path(QStringLiteral("Setups/notes.run")), "plain text\n");
        QVERIFY(QFile::setPermissions(path(QStringLiteral("Setups/notes.run")), QFile::ReadOwner | QFile::ExeOwner));
        writeBytes(path(QStringLiteral("Setups/gone.run")), "#!/no/such/shell\n");
        QVERIFY(QFile::setPermissions(path(QStringLiteral("Setups/gone.run")), QFile::ReadOwner | QFile::ExeOwner));
        const QString list = path(QStringLiteral("Setups/wont.SR"));
        writeBytes(list, ">Will not run\r\nsetup32.exe /S\r\ndata.bin\r\nnotes.run\r\ngone.run\r\n"
                         "tools/script.sh\r\n");

        const Checked c = check(list);
        QCOMPARE(c.status, 1);
        QVERIFY(c.out.contains(QLatin1String("5 of 5 program file(s) found.")));
        const QStringList warned = c.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY2(warned.filter(QStringLiteral("Line 2 will not run: Permission denied: ")).size() == 1,
                 qPrintable(c.err));
        QVERIFY(warned.filter(QStringLiteral("Line 3 will not run: "))
                        .constFirst()
                        .contains(QLatin1String("neither a program (ELF) nor a script")));
        QVERIFY(warned.filter(QStringLiteral("Line 4 will not run: "))
                        .constFirst()
                        .contains(QLatin1String("/no/such/shell, is not there")));
        QVERIFY(warned.filter(QStringLiteral("Line 5 ")).isEmpty());

        // What --install does with the 32-bit setup on this machine is what
        // --check said of it: refused with error 216, or started.
        writeBytes(list, ">32-bit\r\nsetup32.exe /S\r\n");
        const Checked only = check(list);
        QProcessEnvironment env = SetupreelRun::noDisplay();
        env.insert(QStringLiteral("XDG_STATE_HOME"), path(QStringLiteral("state")));
        const SetupreelRun::Result installed = SetupreelRun::run({QStringLiteral("--install"), list}, env);
        const bool refused = installed.err.contains("216\nAn error appears.");
        QCOMPARE(only.status, refused ? 1 : 0);
        QCOMPARE(only.err.contains(QLatin1String("Line 1 will not run: ") + path(QStringLiteral("Setups/setup32.exe"))
                                   + QLatin1String(" is a 32-bit Windows program")),
                 refused);

        // No Wine at all: every Windows file is said to need it.
        writeBytes(list, ">No Wine\r\nnsis.exe\r\npkg.msi\r\n");
        env.insert(QStringLiteral("PATH"), build.path());
        const Checked noWine = checked(SetupreelRun::run({QStringLiteral("--check"), list}, env));
        QCOMPARE(noWine.status, 1);
        for (const char *line : {"Line 1 will not run: ", "Line 2 will not run: "})
            QVERIFY2(noWine.err.contains(QLatin1String(line))
                             && noWine.err.count(QLatin1String("Wine is not installed")) == 2,
                     qPrintable(noWine.err));
    }

    void suggestedCopyIsByteExact()
    {
        // Written on Windows: CR LF, Windows-1252 names, a line that has its
        // switch, a missing file, an empty line, a last line without its end.
        const QByteArray original = ">Caf\xe9 machines\r\n"
                                    "Caf\xe9\\nsis.exe\r\n"
                                    "pkg.msi /qb\r\n"
                                    "E:\\Setups\\pkg.msi\r\n"
                                    "missing.exe\r\n"
                                    "\r\n"
                                    "tools\\script.sh\r\n"
                                    "nsis.exe";
        const QString list = path(QStringLiteral("Setups/travel.SR"));
        writeBytes(list, original);
        const QString copy = path(QStringLiteral("Setups/travel-silent.SR"));

        const Checked c = check(list, copy);
        QCOMPARE(c.status, 1);
        QCOMPARE(c.err, QStringLiteral("The last line has no line end (CR LF), so no load reads it: nsis.exe\n"));
        QVERIFY(c.out.contains(QStringLiteral("Written to %1 with 2 suggested switch(es).").arg(copy)));
        QCOMPARE(readBytes(copy), QByteArray(">Caf\xe9 machines\r\n"
                                             "Caf\xe9\\nsis.exe /S\r\n"
                                             "pkg.msi /qb\r\n"
                                             "E:\\Setups\\pkg.msi /qn /norestart\r\n"
                                             "missing.exe\r\n"
                                             "\r\n"
                                             "tools\\script.sh\r\n"
                                             "nsis.exe"));
        QCOMPARE(readBytes(list), original);

        // The copy is a list Load takes, with the switches on its lines.
        ScriptedPrompts prompts;
        const ListSequences::InstallLoad load = ListSequences::loadFileForInstalling(copy, prompts);
        QVERIFY(load.loaded);
        QVERIFY(load.text.contains(QStringLiteral("Caf\u00e9\\nsis.exe /S\r\n")));
        // Checking the copy suggests nothing more.
        const QString again = path(QStringLiteral("Setups/again.SR"));
        QCOMPARE(check(copy, again).status, 1);
        QCOMPARE(readBytes(again), readBytes(copy));
    }

    void neverOverwritesTheListOrAnotherFile()
    {
        const QByteArray original = ">Keep\r\nnsis.exe\r\n";
        const QString list = path(QStringLiteral("Setups/keep.SR"));
        writeBytes(list, original);
        const QString other = path(QStringLiteral("Setups/other.SR"));
        writeBytes(other, "someone's list");
        QVERIFY(QFile::link(list, path(QStringLiteral("Setups/link-to-keep.SR"))));
        QCOMPARE(::link(QFile::encodeName(list).constData(),
                        QFile::encodeName(path(QStringLiteral("Setups/hard-keep.SR"))).constData()),
                 0);
        QVERIFY(QFile::link(path(QStringLiteral("Setups/nowhere")), path(QStringLiteral("Setups/dangling.SR"))));

        const struct
        {
            QString target;
            const char *reason;
        } refused[] = {
                {list, "It is the list being checked"},
                {QStringLiteral("Setups/./keep.SR"), "It is the list being checked"},
                {path(QStringLiteral("Setups/link-to-keep.SR")), "It is the list being checked"},
                {path(QStringLiteral("Setups/hard-keep.SR")), "It is the list being checked"},
                {other, "already exists"},
                {path(QStringLiteral("Setups/dangling.SR")), "already exists"},
                {path(QStringLiteral("no such folder/new.SR")), "No such file or directory"},
        };
        for (const auto &r : refused) {
            const Checked c = check(list, r.target);
            QCOMPARE(c.status, 2);
            QVERIFY2(c.err.contains(QStringLiteral("could not be written to %1.").arg(r.target)), qPrintable(c.err));
            QVERIFY2(c.err.contains(QLatin1String(r.reason)), qPrintable(c.err));
            // The table was still printed.
            QVERIFY(c.out.contains(QLatin1String("nsis.exe")));
        }
        QCOMPARE(readBytes(list), original);
        QCOMPARE(readBytes(other), QByteArray("someone's list"));
        QVERIFY(!QFile::exists(path(QStringLiteral("Setups/nowhere"))));
    }

    // What --check says of a list or its copy names them by their own bytes,
    // and a name's control characters never reach the terminal.
    void namesReachTheTerminalAsTheirBytes()
    {
        // A folder by a list's name cannot be read; its name clears the screen.
        const QString folder = path(QStringLiteral("Setups/clear\x1b[2J.SR"));
        QVERIFY(QDir().mkpath(folder));
        SetupreelRun::Result r = SetupreelRun::run({QStringLiteral("--check"), folder});
        QCOMPARE(r.status, 2);
        QVERIFY2(!r.err.contains('\x1b'), r.err.constData());
        QVERIFY2(r.err.contains("File format: The list file " + path(QStringLiteral("Setups/clear?[2J.SR")).toUtf8()
                                + " could not be read.\n"),
                 r.err.constData());

        // A copy named in Latin-1, as typed in a shell: not UTF-8.
        const QString list = path(QStringLiteral("Setups/latin.SR"));
        writeBytes(list, ">Latin\r\nnsis.exe\r\n");
        QProcess shell;
        shell.setProcessEnvironment(SetupreelRun::noDisplay());
        shell.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"),
                                                QStringLiteral("exec \"$0\" --check \"$1\" --write-suggested "
                                                               "\"$(printf 'Setups/caf\\351.SR')\""),
                                                SetupreelRun::program(), list});
        r = SetupreelRun::finish(shell);
        QVERIFY2(r.status == 0, r.err.constData());
        QVERIFY2(r.out.contains("\nWritten to Setups/caf\xe9.SR with 1 suggested switch(es).\n"), r.out.constData());
        QCOMPARE(readRawBytes(QFile::encodeName(m_dir.path()) + "/Setups/caf\xe9.SR"),
                 QByteArray(">Latin\r\nnsis.exe /S\r\n"));
    }

    void aFullDiskLeavesNoHalfFile()
    {
        const QString mount = path(QStringLiteral("small"));
        QVERIFY(QDir().mkpath(mount));
        SmallFileSystem small(mount, QStringLiteral("64k"));
        if (!small.isMounted())
            QSKIP(qPrintable(small.whyNot()));
        QVERIFY(SmallFileSystem::fillUp(mount + QStringLiteral("/fill"), 4096));

        // A long list, so that its copy cannot fit in what is left.
        QByteArray original = ">Long\r\n";
        for (int i = 0; i < 2000; ++i)
            original += "nsis.exe\r\n";
        const QString list = path(QStringLiteral("Setups/long.SR"));
        writeBytes(list, original);
        const Checked c = check(list, mount + QStringLiteral("/copy.SR"));
        QCOMPARE(c.status, 2);
        QVERIFY2(c.err.contains(QLatin1String("No space left on device")), qPrintable(c.err));
        QVERIFY(!QFile::exists(mount + QStringLiteral("/copy.SR")));
    }
};

QTEST_GUILESS_MAIN(TestListCheck)
#include "tst_listcheck.moc"
