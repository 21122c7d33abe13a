// setupreel --check and --write-suggested, run as the built program: real
// list files, real setup files of each kind, real links and a full disk.
#include "CraftedSetups.h"
#include "FileNameCodec.h"
#include "ScriptedPrompts.h"
#include "SmallFileSystem.h"
#include "cli/tests/SetupreelRun.h"
#include "core/lists/ListSequences.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
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

        QVERIFY(QDir().mkpath(path(QStringLiteral("Setups/folder.SR"))));
        c = check(path(QStringLiteral("Setups/folder.SR")), path(QStringLiteral("Setups/never.SR")));
        QCOMPARE(c.status, 2);
        QVERIFY(c.err.contains(QLatin1String("could not be read")));
        QVERIFY(!QFile::exists(path(QStringLiteral("Setups/never.SR"))));
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
        QVERIFY2(c.err.isEmpty(), qPrintable(c.err));
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
