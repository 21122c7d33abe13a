// SPDX-License-Identifier: GPL-3.0-or-later
// The places where tests put in their own stand-ins: each gives the real one
// back when set to nothing, and one call gives all of them back. The real ends
// and starts are run for real, in child processes.
#include "ScriptedPrompts.h"
#include "core/common/FileSystemObject.h"
#include "core/common/Folders.h"
#include "core/common/Seams.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <cstdio>

namespace {
// Run as a child: says something without a line end, then ends the program
// through the seam; a return from main would be a fault.
constexpr char EndNow[] = "--end-now";
constexpr char EndAfterStandIn[] = "--end-after-stand-in";

struct OneDrive : FileSystemObject
{
    QStringList driveRoots() const override { return {QStringLiteral("/only")}; }
};

bool writeScript(const QString &path, const QByteArray &body)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write("#!/bin/sh\n" + body) < 0)
        return false;
    f.close();
    return f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
}
}

class TestSeams : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    // Sets every seam to a stand-in.
    void standInEverywhere(ScriptedPrompts &prompts, OneDrive &drive, int &ended, QStringList &started)
    {
        Seams::setPrompts(&prompts);
        Seams::setEndProgram([&ended] { ++ended; });
        Seams::setFileSystem(&drive);
        Seams::setAppDir(m_dir.path());
        Seams::setOpenAddress([](const QUrl &) { return true; });
        Seams::setStartProgram([&started](const QString &path) {
            started << path;
            return true;
        });
        Seams::setPauseMs(0);
    }

    void verifyAllReal()
    {
        QCOMPARE(Seams::prompts(), nullptr);
        QVERIFY(Seams::fileSystem().driveRoots().contains(QStringLiteral("/")));
        QCOMPARE(&FileSystemObject::instance(), &Seams::fileSystem());
        QCOMPARE(Folders::appDir(), QCoreApplication::applicationDirPath());
        QVERIFY(!Seams::openAddress());
        QCOMPARE(Seams::pauseMs(), 5);
    }

    QProcess *runSelf(const char *mode)
    {
        auto *p = new QProcess(this);
        p->start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(mode)});
        p->waitForFinished(10000);
        return p;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        qunsetenv("SETUPREEL_PAUSE_MS");
    }

    void cleanup()
    {
        Seams::restore();
        qunsetenv("SETUPREEL_PAUSE_MS");
    }

    void eachStandInIsUsedUntilSetToNothing()
    {
        ScriptedPrompts prompts;
        OneDrive drive;
        int ended = 0;
        QStringList started;
        standInEverywhere(prompts, drive, ended, started);

        QCOMPARE(Seams::prompts(), &prompts);
        Seams::endProgram();
        QCOMPARE(ended, 1);
        QCOMPARE(FileSystemObject::instance().driveRoots(), QStringList{"/only"});
        QCOMPARE(Folders::appDir(), m_dir.path());
        QCOMPARE(Folders::systemDir(), m_dir.path() + QStringLiteral("/system32"));
        QVERIFY(Seams::openAddress() && Seams::openAddress()(QUrl(QStringLiteral("https://example.org"))));
        QVERIFY(Seams::startProgram(QStringLiteral("/no/such/program")));
        QCOMPARE(started, QStringList{"/no/such/program"});
        QCOMPARE(Seams::pauseMs(), 0);

        // One at a time back to the real one; the others stay.
        Seams::setPrompts(nullptr);
        QCOMPARE(Seams::prompts(), nullptr);
        QCOMPARE(Folders::appDir(), m_dir.path());
        Seams::setFileSystem(nullptr);
        QVERIFY(FileSystemObject::instance().driveRoots().contains(QStringLiteral("/")));
        Seams::setAppDir(QString());
        QCOMPARE(Folders::appDir(), QCoreApplication::applicationDirPath());
        Seams::setOpenAddress({});
        QVERIFY(!Seams::openAddress());
        Seams::setPauseMs(std::nullopt);
        QCOMPARE(Seams::pauseMs(), 5);
        Seams::setStartProgram({});
        QVERIFY2(!Seams::startProgram(QStringLiteral("/no/such/program")), "the real start fails on a missing file");
        QCOMPARE(started.size(), 1);
        Seams::endProgram();
        QCOMPARE(ended, 2); // still the stand-in
        verifyAllReal();
    }

    void restorePutsEveryRealOneBack()
    {
        ScriptedPrompts prompts;
        OneDrive drive;
        int ended = 0;
        QStringList started;
        standInEverywhere(prompts, drive, ended, started);
        Seams::restore();
        verifyAllReal();
        QVERIFY(!Seams::startProgram(QStringLiteral("/no/such/program")));
        QVERIFY(started.isEmpty());
        Seams::restore(); // twice changes nothing
        verifyAllReal();
    }

    // The real end leaves at once with status 0, and what was written before
    // it still comes out.
    void theRealEndLeavesAtOnce()
    {
        for (const char *mode : {EndNow, EndAfterStandIn}) {
            QProcess *p = runSelf(mode);
            QCOMPARE(p->exitStatus(), QProcess::NormalExit);
            QCOMPARE(p->exitCode(), 0);
            QCOMPARE(p->readAllStandardOutput(), QByteArray("before the end"));
        }
    }

    // The real start runs the file itself: a name with blanks and a shell's
    // characters is no command line.
    void theRealStartRunsTheFileByItsName()
    {
        const QString marker = m_dir.filePath(QStringLiteral("ran"));
        const QString odd = m_dir.filePath(QStringLiteral("sys info; touch pwned"));
        QVERIFY(writeScript(odd, "echo \"$0\" > '" + QFile::encodeName(marker) + "'\n"));
        QVERIFY(Seams::startProgram(odd));
        QVERIFY(QTest::qWaitFor([&] { return QFile(marker).size() > 0; }, 10000));
        QFile f(marker);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(f.readAll()).trimmed(), odd);
        QVERIFY(!QFile::exists(QStringLiteral("pwned")) && !QFile::exists(m_dir.filePath(QStringLiteral("pwned"))));
    }

    void thePauseComesFromTheEnvironmentWhenItIsANumber_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("pause");
        QTest::newRow("zero") << QByteArray("0") << 0;
        QTest::newRow("a number") << QByteArray("7") << 7;
        QTest::newRow("negative") << QByteArray("-3") << 5;
        QTest::newRow("not a number") << QByteArray("soon") << 5;
        QTest::newRow("empty") << QByteArray("") << 5;
    }

    void thePauseComesFromTheEnvironmentWhenItIsANumber()
    {
        QFETCH(QByteArray, value);
        QFETCH(int, pause);
        qputenv("SETUPREEL_PAUSE_MS", value);
        QCOMPARE(Seams::pauseMs(), pause);
        Seams::setPauseMs(12); // a test's own wins over the environment
        QCOMPARE(Seams::pauseMs(), 12);
        Seams::setPauseMs(std::nullopt);
        QCOMPARE(Seams::pauseMs(), pause);
    }
};

int main(int argc, char **argv)
{
    if (argc == 2 && (qstrcmp(argv[1], EndNow) == 0 || qstrcmp(argv[1], EndAfterStandIn) == 0)) {
        QCoreApplication app(argc, argv);
        if (qstrcmp(argv[1], EndAfterStandIn) == 0) {
            Seams::setEndProgram([] { std::fputs("the stand-in ran", stdout); });
            Seams::setEndProgram({});
        }
        std::fputs("before the end", stdout);
        Seams::endProgram();
        return 3;
    }
    QCoreApplication app(argc, argv);
    TestSeams test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_seams.moc"
