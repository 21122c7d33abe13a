// SPDX-License-Identifier: GPL-3.0-or-later
// Where a program line's file is found when the list has moved: real folders,
// real links of a Wine prefix's drive mapping, names in other case and in
// other encodings.
#include "CommandLine.h"
#include "FileNameCodec.h"
#include "core/lists/ProgramLocator.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using ProgramLocator::locate;

namespace {

// Makes a file (and its folders) at the given bytes path.
void makeFile(const QByteArray &path)
{
    // Folder by folder, as bytes: the names need not be UTF-8.
    for (qsizetype slash = path.indexOf('/', 1); slash > 0; slash = path.indexOf('/', slash + 1))
        QVERIFY(::mkdir(path.left(slash).constData(), 0755) == 0 || errno == EEXIST);
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0755);
    QVERIFY2(fd >= 0, path.constData());
    QCOMPARE(::write(fd, "#!/bin/sh\n", 10), 10);
    ::close(fd);
}

QByteArray bytes(const QString &path) { return FileNameCodec::encodeFileName(path); }

} // namespace

class TestProgramLocator : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_prefix;

    QString path(const QString &relative) const { return m_dir.filePath(relative); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // A Wine prefix as Wine reads it: dosdevices/e: is a link to a folder.
        m_prefix = path(QStringLiteral("prefix"));
        QVERIFY(QDir().mkpath(m_prefix + QStringLiteral("/dosdevices")));
        QVERIFY(QDir().mkpath(path(QStringLiteral("drive_e"))));
        QVERIFY(QFile::link(path(QStringLiteral("drive_e")), m_prefix + QStringLiteral("/dosdevices/e:")));
        qputenv("WINEPREFIX", m_prefix.toUtf8());
        // The current folder is never where the lists are.
        QVERIFY(QDir().mkpath(path(QStringLiteral("elsewhere"))));
        QVERIFY(QDir::setCurrent(path(QStringLiteral("elsewhere"))));
    }

    void relativePathBelowTheList()
    {
        makeFile(bytes(path(QStringLiteral("rel/Drivers/net setup.sh"))));
        const QString list = path(QStringLiteral("rel/list.SR"));
        const QString file = path(QStringLiteral("rel/Drivers/net setup.sh"));

        for (const QString &line :
             {QStringLiteral("Drivers/net setup.sh --quiet -x"), QStringLiteral("Drivers\\NET SETUP.SH --quiet -x"),
              QStringLiteral("./drivers\\Net Setup.sh --quiet -x")}) {
            const ProgramLocator::Location where = locate(line, list);
            QCOMPARE(where.file, bytes(file));
            QVERIFY(!where.asWritten);
            QCOMPARE(where.commandLine, QLatin1Char('"') + file + QStringLiteral("\" --quiet -x"));
            QCOMPARE(where.arguments, QStringLiteral(" --quiet -x"));
        }

        // A relative list path is taken from the current folder.
        QVERIFY(QDir::setCurrent(path(QStringLiteral("rel"))));
        QCOMPARE(locate(QStringLiteral("drivers/net setup.sh"), QStringLiteral("list.SR")).file, bytes(file));
        QCOMPARE(locate(QStringLiteral("Drivers/x.sh"), QStringLiteral("../rel/list.SR")).file, QByteArray());
        QVERIFY(QDir::setCurrent(path(QStringLiteral("elsewhere"))));
    }

    void windowsPathThroughWineDrive()
    {
        makeFile(bytes(path(QStringLiteral("drive_e/Setups/Office/setup.exe"))));
        const ProgramLocator::Location where =
                locate(QStringLiteral("e:\\SETUPS\\office\\Setup.EXE /S /D=C:\\Program Files\\Office"),
                       path(QStringLiteral("unrelated/list.SR")));
        const QString expected = m_prefix + QStringLiteral("/dosdevices/e:/Setups/Office/setup.exe");
        QCOMPARE(where.file, bytes(expected));
        QCOMPARE(where.commandLine, QLatin1Char('"') + expected + QStringLiteral("\" /S /D=C:\\Program Files\\Office"));
        // The control splits it back into that file and the line's own arguments.
        const ShellAndWaitLogic::CommandLine split = ShellAndWaitLogic::splitCommandLine(where.commandLine);
        QCOMPARE(ShellAndWaitLogic::programFile(split), bytes(expected));
        QCOMPARE(split.arguments, (QStringList{QStringLiteral("/S"), QStringLiteral("/D=C:\\Program"),
                                               QStringLiteral("Files\\Office")}));

        // A drive Wine does not map, and no list folder: nothing is found, the
        // line is started as it stands.
        const ProgramLocator::Location none = locate(QStringLiteral("F:\\Setups\\Office\\setup.exe /S"), QString());
        QCOMPARE(none.file, QByteArray());
        QCOMPARE(none.commandLine, QStringLiteral("F:\\Setups\\Office\\setup.exe /S"));
        QCOMPARE(none.arguments, QStringLiteral(" /S"));
    }

    void windowsPathByItsTail()
    {
        // A list once at F:\Setups\list.SR, now on a stick.
        makeFile(bytes(path(QStringLiteral("stick/Setups/Office/setup.exe"))));
        makeFile(bytes(path(QStringLiteral("stick/Setups/My Tools/zip setup.exe"))));
        const QString list = path(QStringLiteral("stick/Setups/list.SR"));

        QCOMPARE(locate(QStringLiteral("F:\\Setups\\Office\\setup.exe"), list).file,
                 bytes(path(QStringLiteral("stick/Setups/Office/setup.exe"))));
        // Kept elsewhere on the old machine: the shorter tails.
        QCOMPARE(locate(QStringLiteral("G:\\Downloads\\Old\\OFFICE\\SETUP.exe /q"), list).file,
                 bytes(path(QStringLiteral("stick/Setups/Office/setup.exe"))));
        QCOMPARE(locate(QStringLiteral("\\\\server\\share\\office\\setup.exe"), list).file,
                 bytes(path(QStringLiteral("stick/Setups/Office/setup.exe"))));
        // Blanks in the path: the longer prefixes of the line are tried too.
        const ProgramLocator::Location blanks = locate(QStringLiteral("F:\\Setups\\My Tools\\Zip Setup.exe /S"), list);
        QCOMPARE(blanks.file, bytes(path(QStringLiteral("stick/Setups/My Tools/zip setup.exe"))));
        QCOMPARE(blanks.arguments, QStringLiteral(" /S"));

        // The list beside the Setups folder (once at F:\list.SR).
        QCOMPARE(locate(QStringLiteral("F:\\Setups\\Office\\setup.exe"), path(QStringLiteral("stick/top.SR"))).file,
                 bytes(path(QStringLiteral("stick/Setups/Office/setup.exe"))));
        // A path unlike anything below the list is not found.
        QCOMPARE(locate(QStringLiteral("F:\\Setups\\Office\\other.exe"), list).file, QByteArray());
    }

    void caseVariantsOfAFolder()
    {
        makeFile(bytes(path(QStringLiteral("variants/OFFICE/setup.exe"))));
        makeFile(bytes(path(QStringLiteral("variants/office/setup.exe"))));
        makeFile(bytes(path(QStringLiteral("variants/office/only-here.exe"))));
        const QString list = path(QStringLiteral("variants/list.SR"));

        // The exact spelling first, then the first in name order.
        QCOMPARE(locate(QStringLiteral("office\\setup.exe"), list).file,
                 bytes(path(QStringLiteral("variants/office/setup.exe"))));
        QCOMPARE(locate(QStringLiteral("OFFICE\\setup.exe"), list).file,
                 bytes(path(QStringLiteral("variants/OFFICE/setup.exe"))));
        QCOMPARE(locate(QStringLiteral("Office\\setup.exe"), list).file,
                 bytes(path(QStringLiteral("variants/OFFICE/setup.exe"))));
        // The first variant does not hold it: the next one does.
        QCOMPARE(locate(QStringLiteral("OFFICE\\ONLY-HERE.EXE"), list).file,
                 bytes(path(QStringLiteral("variants/office/only-here.exe"))));
        // A folder of the file's name is no file.
        QVERIFY(QDir().mkpath(path(QStringLiteral("variants/Folder.exe"))));
        QCOMPARE(locate(QStringLiteral("folder.exe"), list).file, QByteArray());
    }

    void aFileThatExistsAsWrittenIsKept()
    {
        makeFile(bytes(path(QStringLiteral("kept/real/setup.sh"))));
        makeFile(bytes(path(QStringLiteral("kept/list/real/setup.sh"))));
        const QString written = path(QStringLiteral("kept/real/setup.sh")) + QStringLiteral(" /S");
        const ProgramLocator::Location where = locate(written, path(QStringLiteral("kept/list/x.SR")));
        QVERIFY(where.asWritten);
        QCOMPARE(where.commandLine, written);
        QCOMPARE(where.file, bytes(path(QStringLiteral("kept/real/setup.sh"))));
        QCOMPARE(where.arguments, QStringLiteral(" /S"));

        // A relative line is the list's file even where the current folder
        // holds one of that name; one only the current folder holds is refused,
        // never left to the control, which would look there.
        QVERIFY(QDir::setCurrent(path(QStringLiteral("kept"))));
        makeFile(bytes(path(QStringLiteral("kept/only-here.sh"))));
        const ProgramLocator::Location here =
                locate(QStringLiteral("real/setup.sh -q"), path(QStringLiteral("kept/list/x.SR")));
        QVERIFY(!here.asWritten);
        QCOMPARE(here.file, bytes(path(QStringLiteral("kept/list/real/setup.sh"))));
        QCOMPARE(here.refusal, QString());
        const ProgramLocator::Location cwdOnly =
                locate(QStringLiteral("only-here.sh -q"), path(QStringLiteral("kept/list/x.SR")));
        QCOMPARE(cwdOnly.file, QByteArray());
        QCOMPARE(cwdOnly.arguments, QStringLiteral(" -q"));
        QCOMPARE(cwdOnly.refusal, QStringLiteral("File not found: only-here.sh (looked for in the list's folder only, ")
                                          + path(QStringLiteral("kept/list")) + QLatin1Char(')'));
        QVERIFY(QDir::setCurrent(path(QStringLiteral("elsewhere"))));
        // A missing absolute path is left to the control to name.
        QCOMPARE(locate(path(QStringLiteral("kept/gone.sh")), path(QStringLiteral("kept/list/x.SR"))).refusal,
                 QString());
    }

    void dotDotNeverLeavesTheListFolder()
    {
        makeFile(bytes(path(QStringLiteral("outside/secret.sh"))));
        makeFile(bytes(path(QStringLiteral("outside/lists/inner/ok.sh"))));
        const QString list = path(QStringLiteral("outside/lists/list.SR"));
        for (const QString &line : {QStringLiteral("../secret.sh"), QStringLiteral("..\\secret.sh"),
                                    QStringLiteral("inner\\..\\..\\secret.sh"), QStringLiteral("F:\\..\\secret.sh"),
                                    QStringLiteral("\\..\\secret.sh")}) {
            const ProgramLocator::Location where = locate(line, list);
            QCOMPARE(where.file, QByteArray());
            QVERIFY2(where.refusal.contains(QLatin1String("never leads out of the list's folder")),
                     qPrintable(where.refusal));
        }
        QCOMPARE(locate(QStringLiteral("inner\\.\\ok.sh"), list).file,
                 bytes(path(QStringLiteral("outside/lists/inner/ok.sh"))));
    }

    void namesInOtherEncodings()
    {
        // A folder named in Latin-1 bytes, as archives made on Windows leave them.
        const QByteArray folder = bytes(path(QStringLiteral("latin"))) + "/Setups/Caf\xe9 Tools";
        makeFile(folder + "/Se\xf1or.exe");
        const QString list = path(QStringLiteral("latin/Setups/list.SR"));

        // A list written on Windows, read as Windows-1252: "é", "ñ" as text.
        const QString line = QStringLiteral("C:\\Setups\\CAF\u00c9 TOOLS\\se\u00d1or.exe /S");
        const ProgramLocator::Location where = locate(line, list);
        QCOMPARE(where.file, folder + "/Se\xf1or.exe");
        // The command line names the very bytes, which the control gets back.
        QCOMPARE(ShellAndWaitLogic::programFile(ShellAndWaitLogic::splitCommandLine(where.commandLine)),
                 folder + "/Se\xf1or.exe");

        // A list that kept the odd bytes as they were.
        const QString kept = FileNameCodec::decodeFileName("Caf\xe9 tools\\SE\xf1OR.EXE");
        QCOMPARE(locate(kept, list).file, folder + "/Se\xf1or.exe");
    }

    void aPathWithAQuote()
    {
        // A file whose name holds a quote cannot be quoted; it goes unquoted.
        makeFile(bytes(path(QStringLiteral("quote/Setups/say\"hi\".sh"))));
        const ProgramLocator::Location where =
                locate(QStringLiteral("F:\\Setups\\SAY\"HI\".sh -v"), path(QStringLiteral("quote/Setups/l.SR")));
        QCOMPARE(where.file, bytes(path(QStringLiteral("quote/Setups/say\"hi\".sh"))));
        QCOMPARE(where.commandLine, path(QStringLiteral("quote/Setups/say\"hi\".sh")) + QStringLiteral(" -v"));
    }
};

QTEST_GUILESS_MAIN(TestProgramLocator)
#include "tst_programlocator.moc"
