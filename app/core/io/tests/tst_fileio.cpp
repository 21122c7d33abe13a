// SPDX-License-Identifier: GPL-3.0-or-later
// The file helpers where they are hard to get right: a full disk, a link, a
// file of another user, a file larger than wanted.
#include "SmallFileSystem.h"
#include "TestFiles.h"
#include "core/install/RunReport.h"
#include "core/io/FileIO.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QStringList leftovers(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral(".sr-*")}, QDir::Files | QDir::Hidden);
}

} // namespace

class TestFileIO : public QObject
{
    Q_OBJECT
private slots:
    void replaceOnFullDiskKeepsTheOldFile()
    {
        QTemporaryDir dir;
        if (::geteuid() != 0)
            QSKIP("mounting a small tmpfs to fill up needs root");
        SmallFileSystem disk(dir.path(), QStringLiteral("64k"));
        if (!disk.isMounted())
            QSKIP(qPrintable(disk.whyNot()));
        const QString target = dir.filePath(QStringLiteral("kept.txt"));
        writeBytes(target, "the old content\n");
        // Larger than the whole disk: some of it may go in before the disk is full.
        const FileIO::WriteResult r = FileIO::replaceFile(QFile::encodeName(target), QByteArray(200 * 1024, 'n'));
        QVERIFY(!r.ok());
        QCOMPARE(r.error, ENOSPC);
        QCOMPARE(r.reason(), QString::fromLocal8Bit(std::strerror(ENOSPC)));
        QCOMPARE(readBytes(target), QByteArray("the old content\n"));
        QCOMPARE(leftovers(dir.path()), QStringList());

        // The same with the room taken by another file: nothing fits.
        QVERIFY(SmallFileSystem::fillUp(dir.filePath(QStringLiteral("filler")), 512));
        QVERIFY(!FileIO::replaceFile(QFile::encodeName(target), "new").ok());
        QCOMPARE(readBytes(target), QByteArray("the old content\n"));
        QCOMPARE(leftovers(dir.path()), QStringList());
    }

    void runReportOnFullDiskIsNotWritten()
    {
        QTemporaryDir dir;
        if (::geteuid() != 0)
            QSKIP("mounting a small tmpfs to fill up needs root");
        SmallFileSystem disk(dir.path(), QStringLiteral("64k"));
        if (!disk.isMounted())
            QSKIP(qPrintable(disk.whyNot()));
        RunReport report(dir.filePath(QStringLiteral("state/runs")));
        RunRecord run;
        run.listFile = QStringLiteral("/lists/tools.SR");
        run.title = QStringLiteral("Tools");
        run.start = QDateTime::currentDateTime();
        run.programCount = 2;
        QVERIFY(report.write(run));
        const QByteArray json = readBytes(report.jsonPath());
        const QByteArray text = readBytes(report.textPath());
        QVERIFY(json.contains("\"programs\""));

        QVERIFY(SmallFileSystem::fillUp(dir.filePath(QStringLiteral("filler")), 512));
        ProgramRecord p;
        p.line = QStringLiteral("/setups/a.exe /S");
        run.programs << p;
        QString error;
        QVERIFY(!report.write(run, &error));
        QVERIFY2(error.contains(QString::fromLocal8Bit(std::strerror(ENOSPC))), qPrintable(error));
        QCOMPARE(readBytes(report.jsonPath()), json);
        QCOMPARE(readBytes(report.textPath()), text);
    }

    void linkStaysALinkAndOwnerIsKept()
    {
        QTemporaryDir dir;
        const QString real = dir.filePath(QStringLiteral("real.txt"));
        const QString link = dir.filePath(QStringLiteral("link.txt"));
        writeBytes(real, "old");
        QVERIFY(QFile::link(QStringLiteral("real.txt"), link));
        const bool root = ::geteuid() == 0;
        // Another user's file (root only can give one away), with an odd mode.
        if (root)
            QCOMPARE(::chown(QFile::encodeName(real).constData(), 65534, 65534), 0);
        QCOMPARE(::chmod(QFile::encodeName(real).constData(), 0604), 0);

        QVERIFY(FileIO::replaceFile(QFile::encodeName(link), "new content").ok());
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(readBytes(real), QByteArray("new content"));
        struct stat st
        {};
        QCOMPARE(::stat(QFile::encodeName(real).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0604));
        if (root) {
            QCOMPARE(st.st_uid, uid_t(65534));
            QCOMPARE(st.st_gid, gid_t(65534));
        }
        QCOMPARE(leftovers(dir.path()), QStringList());

        // In a held folder a link at the name is refused, never followed.
        const QByteArray folder = QFile::encodeName(dir.path());
        const FileIO::Fd held = FileIO::open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        QCOMPARE(FileIO::replaceFileIn(held.get(), "link.txt", "through the link").error, ELOOP);
        QCOMPARE(readBytes(real), QByteArray("new content"));
        QVERIFY(QFileInfo(link).isSymLink());
        if (!root)
            QSKIP("the owner of another user's file is checked as root only");
    }

    void createNewFileNeverOverwrites()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("new.SR"));
        QVERIFY(FileIO::createNewFile(QFile::encodeName(path), "first").ok());
        const FileIO::WriteResult again = FileIO::createNewFile(QFile::encodeName(path), "second");
        QCOMPARE(again.error, EEXIST);
        QCOMPARE(readBytes(path), QByteArray("first"));
    }

    // A temporary a killed writer left is cleared by the next write in its
    // folder; one of a writer still running, or of another user, is kept.
    void leftoversOfKilledWritersAreCleared()
    {
        QTemporaryDir dir;
        QProcess gone;
        gone.start(QStringLiteral("true"));
        QVERIFY(gone.waitForStarted());
        const qint64 deadPid = gone.processId();
        QVERIFY(gone.waitForFinished());
        const QString dead = dir.filePath(QStringLiteral(".sr-%1-k1").arg(deadPid));
        const QString running = dir.filePath(QStringLiteral(".sr-%1-k2").arg(::getpid()));
        const QString others = dir.filePath(QStringLiteral(".sr-%1-k3").arg(deadPid));
        for (const QString &path : {dead, running, others})
            writeBytes(path, "half");
        const bool root = ::geteuid() == 0;
        if (root)
            QCOMPARE(::chown(QFile::encodeName(others).constData(), 65534, 65534), 0);
        QVERIFY(FileIO::createNewFile(QFile::encodeName(dir.filePath(QStringLiteral("list.SR"))), "x").ok());
        QVERIFY(!QFile::exists(dead));
        QVERIFY(QFile::exists(running));
        QCOMPARE(QFile::exists(others), root);
        // One left after this process wrote there goes with its next write.
        writeBytes(dead, "half");
        QVERIFY(FileIO::replaceFile(QFile::encodeName(dir.filePath(QStringLiteral("list.SR"))), "y").ok());
        QVERIFY(!QFile::exists(dead));
    }

    void readOverTheLimitIsRefused()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("eleven"));
        writeBytes(path, "0123456789A");
        const FileIO::ReadResult over = FileIO::readFile(QFile::encodeName(path), 10);
        QVERIFY(!over.ok);
        QVERIFY(over.data.isEmpty());
        QCOMPARE(over.error, QStringLiteral("It is larger than 10 bytes."));
        const FileIO::ReadResult exact = FileIO::readFile(QFile::encodeName(path), 11);
        QVERIFY(exact.ok);
        QCOMPARE(exact.data, QByteArray("0123456789A"));
        // A file that says it is empty and is not (made as it is read).
        QVERIFY(!FileIO::readFile("/proc/self/maps", 16).ok);
        QVERIFY(FileIO::readFile("/proc/self/maps").data.size() > 16);
        QVERIFY(!FileIO::readFile(QFile::encodeName(dir.filePath(QStringLiteral("missing")))).ok);
    }
};

QTEST_GUILESS_MAIN(TestFileIO)
#include "tst_fileio.moc"
