// SPDX-License-Identifier: GPL-3.0-or-later
// The real program, started from a copy of the build's application folder in a
// virtual X server: the restart after writing the manifest, the check passing
// and "Next" into the main window with the list named on the command line
// loaded, and the error of a missing support file.
// The program is seen only from outside: its windows, its processes, its exit
// and the files it writes; clicks come through xdotool.
#include "AccessibleTexts.h"
#include "AppFolderCopy.h"
#include "SmallFileSystem.h"
#include "VirtualDisplay.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {
const QString StartUp = QStringLiteral("Searching Reguest Files");
const QString Main = QStringLiteral("Setupreel");
// "Next", and "Exit" in its place (4560, 3600, 1095, 375 twips).
constexpr int NextX = 340, NextY = 252;

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool processAlive(qint64 pid) { return pid > 0 && ::kill(pid_t(pid), 0) == 0; }
}

class TestStartupProgram : public QObject
{
    Q_OBJECT

    QTemporaryDir m_work;
    VirtualDisplay m_display;
    QList<qint64> m_started; // program instances to end after each case

    // The program's output goes to a file: the restarted instance inherits it,
    // and a pipe would close under it when the first instance ends.
    void prepare(QProcess &program, const QString &output) const
    {
        program.setProcessEnvironment(m_display.environment());
        program.setStandardInputFile(QProcess::nullDevice());
        program.setStandardOutputFile(output);
        program.setStandardErrorFile(output, QIODevice::Append);
    }

    QString copyOfTheProgram(const QString &name)
    {
        const QString folder = m_work.filePath(name);
        if (!copyAppFolder(QStringLiteral(SETUPREEL_BUILD_APP_DIR), folder))
            return {};
        return folder;
    }

    // Waits until the program's windows say a text holding all of the given
    // parts, as a screen reader reads them.
    bool says(qint64 pid, const QStringList &parts, int ms = 20000)
    {
        return QTest::qWaitFor(
                [&] {
                    const QStringList texts = AccessibleTexts::of(m_display.sessionBus(), pid);
                    return std::any_of(texts.begin(), texts.end(), [&](const QString &text) {
                        return std::all_of(parts.begin(), parts.end(),
                                           [&](const QString &p) { return text.contains(p); });
                    });
                },
                ms);
    }

    // The check passed: the window says so, and Next leads into the main
    // window; that main window, or empty.
    QString nextIntoTheMainWindow(const QString &startUp, qint64 pid)
    {
        if (!says(pid, {QStringLiteral("Loading successful."), QStringLiteral("Click on the next button to skip.")}))
            return {};
        QString main;
        const bool shown = m_display.clickUntil(startUp, NextX, NextY, [&] {
            for (const QString &w : m_display.windows(Main)) {
                if (m_display.processOf(w) == pid)
                    main = w;
            }
            return !main.isEmpty();
        });
        return shown ? main : QString();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_work.isValid());
        const QString whyNot = m_display.start();
        if (!whyNot.isEmpty())
            QSKIP(qPrintable(whyNot));
        if (m_display.sessionBus().isEmpty())
            QSKIP("reading the windows' texts needs dbus-run-session (package dbus)");
    }

    void cleanup()
    {
        for (qint64 pid : m_started) {
            if (processAlive(pid))
                ::kill(pid_t(pid), SIGTERM);
        }
        for (qint64 pid : m_started) {
            if (!QTest::qWaitFor([pid] { return !processAlive(pid); }, 5000))
                qWarning("process %lld did not end after SIGTERM", pid);
        }
        m_started.clear();
    }

    void cleanupTestCase() { m_display.stop(); }

    void firstStartRestartsThenTheCheckPassesAndNextOpensTheMainWindow()
    {
        const QString folder = copyOfTheProgram(QStringLiteral("first"));
        QVERIFY(!folder.isEmpty());
        const QString output = m_work.filePath(QStringLiteral("first.out"));
        const QString manifest = folder + QStringLiteral("/setupreel.exe.manifest");

        // A list named on the command line, by a relative name that is not
        // UTF-8; its one program logs that it ran.
        const QString log = m_work.filePath(QStringLiteral("first.log"));
        const QString setup = m_work.filePath(QStringLiteral("logs.sh"));
        QFile script(setup);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\necho ran >> '" + log.toUtf8() + "'\n");
        script.close();
        QVERIFY(script.setPermissions(script.permissions() | QFileDevice::ExeOwner));
        QVERIFY(QDir(m_work.path()).mkpath(QStringLiteral("lists")));
        const QByteArray listName = QFile::encodeName(m_work.path()) + "/lists/caf\xe9 list.SR";
        {
            const QByteArray bytes = ">Tools\r\n" + setup.toUtf8() + "\r\n";
            FILE *f = std::fopen(listName.constData(), "wb");
            QVERIFY(f);
            QCOMPARE(std::fwrite(bytes.constData(), 1, size_t(bytes.size()), f), size_t(bytes.size()));
            std::fclose(f);
        }

        // A shell puts the byte that is not UTF-8 into an argument (QProcess
        // cannot), then becomes the program.
        // Watched from before the start: the first start-up window shown at all.
        const std::unique_ptr<QProcess> watch = m_display.watchFor(StartUp);
        QProcess first;
        prepare(first, output);
        first.setWorkingDirectory(m_work.path());
        first.start(QStringLiteral("/bin/sh"),
                    {QStringLiteral("-c"),
                     QStringLiteral("exec \"$0\" \"$(printf 'lists/caf\\351 list.SR')\" 'two words'"),
                     folder + QStringLiteral("/setupreel")});
        QVERIFY(first.waitForStarted());
        const qint64 firstPid = first.processId();
        // It writes the manifest, starts the new instance and ends before any window.
        QVERIFY(first.waitForFinished(20000));
        QCOMPARE(first.exitStatus(), QProcess::NormalExit);
        QCOMPARE(first.exitCode(), 0);
        const QByteArray written = readAll(manifest);
        QCOMPARE(written.count("\r\n"), 22);
        QVERIFY(written.contains("    name=\"setupreel.exe\"/>\r\n"));
        QVERIFY(written.contains("    version=\"1.0.0.0\"\r\n"));

        const QString startUp = VirtualDisplay::seen(*watch);
        QVERIFY2(!startUp.isEmpty(), readAll(output).constData());
        // The first instance showed nothing: the first window is the new one's.
        const qint64 secondPid = m_display.processOf(startUp);
        m_started << secondPid;
        QVERIFY(secondPid > 0 && secondPid != firstPid);
        QVERIFY(processAlive(secondPid));
        QCOMPARE(m_display.windows(StartUp), QStringList{startUp});
        QByteArray commandLine = folder.toLocal8Bit() + "/setupreel";
        commandLine.append('\0').append("lists/caf\xe9 list.SR").append('\0').append("two words").append('\0');
        QCOMPARE(readAll(QStringLiteral("/proc/%1/cmdline").arg(secondPid)), commandLine);

        // The check passes: "Next" takes the start-up window away and shows the main window.
        const QString main = nextIntoTheMainWindow(startUp, secondPid);
        QVERIFY2(!main.isEmpty(), readAll(output).constData());
        QVERIFY(m_display.windows(StartUp).isEmpty());
        QCOMPARE(m_display.windows(Main), QStringList{main});
        QVERIFY(processAlive(secondPid));
        // The named list is loaded, as if chosen by Load: "Install" (6600, 2760,
        // 2250, 750 twips) starts its program.
        m_display.clickAt(main, 515, 209);
        QVERIFY2(QTest::qWaitFor([&] { return readAll(log) == "ran\n"; }, 10000), readAll(output).constData());
        ::kill(pid_t(secondPid), SIGTERM);
        QVERIFY(QTest::qWaitFor([&] { return !processAlive(secondPid); }, 5000));

        // The next start finds the manifest: no restart, this instance checks.
        QProcess next;
        prepare(next, m_work.filePath(QStringLiteral("again.out")));
        next.start(folder + QStringLiteral("/setupreel"), {});
        QVERIFY(next.waitForStarted());
        m_started << next.processId();
        const QString again = m_display.waitForWindow(StartUp);
        QVERIFY(!again.isEmpty());
        QCOMPARE(m_display.processOf(again), next.processId());
        QVERIFY(!nextIntoTheMainWindow(again, next.processId()).isEmpty());
        QCOMPARE(next.state(), QProcess::Running);
        QCOMPARE(readAll(manifest), written);
        ::kill(pid_t(next.processId()), SIGTERM);
        next.waitForFinished(5000);
    }

    // The application folder on a full file system: no manifest can be
    // written, so none stays behind and the program goes on without a restart.
    void aFullDiskStartsWithoutRestartOrManifest()
    {
        if (::geteuid() != 0)
            QSKIP("mounting a small tmpfs to fill up needs root");
        const QString mountPoint = m_work.filePath(QStringLiteral("full-disk"));
        QVERIFY(QDir().mkpath(mountPoint));
        // Room for the application folder (a sanitizer build's is larger) and
        // a little more, which the filler then takes.
        qint64 appBytes = 0;
        for (QDirIterator it(QStringLiteral(SETUPREEL_BUILD_APP_DIR), QDir::Files | QDir::Hidden,
                             QDirIterator::Subdirectories);
             it.hasNext();) {
            it.next();
            appBytes += it.fileInfo().size();
        }
        SmallFileSystem disk(mountPoint, QStringLiteral("%1m").arg(appBytes / (1024 * 1024) + 16));
        if (!disk.isMounted())
            QSKIP(qPrintable(disk.whyNot()));

        const QString folder = mountPoint + QStringLiteral("/app");
        QVERIFY(copyAppFolder(QStringLiteral(SETUPREEL_BUILD_APP_DIR), folder));
        QVERIFY(SmallFileSystem::fillUp(mountPoint + QStringLiteral("/filler"), 4096));
        const QStringList before = QDir(folder).entryList(QDir::Files | QDir::Hidden);

        const QString output = m_work.filePath(QStringLiteral("full-disk.out"));
        QProcess program;
        prepare(program, output);
        program.start(folder + QStringLiteral("/setupreel"), {QStringLiteral("one")});
        QVERIFY(program.waitForStarted());
        m_started << program.processId();
        const QString startUp = m_display.waitForWindow(StartUp);
        QVERIFY2(!startUp.isEmpty(), readAll(output).constData());
        // This instance, not a restarted one, shows the window and passes the check.
        QCOMPARE(m_display.processOf(startUp), program.processId());
        QCOMPARE(m_display.windows(StartUp), QStringList{startUp});
        QVERIFY2(!nextIntoTheMainWindow(startUp, program.processId()).isEmpty(), readAll(output).constData());
        QCOMPARE(program.state(), QProcess::Running);
        QVERIFY(!QFile::exists(folder + QStringLiteral("/setupreel.exe.manifest")));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), before);
        ::kill(pid_t(program.processId()), SIGTERM);
        program.waitForFinished(5000);
    }

    void aMissingSupportFileShowsItsErrorAndOnlyExit_data()
    {
        QTest::addColumn<QString>("removed");
        QTest::addColumn<int>("error");
        QTest::newRow("picture") << QStringLiteral("Good.jpg") << 1;
        QTest::newRow("animation") << QStringLiteral("busy.gif") << 2;
        QTest::newRow("control") << QStringLiteral("system32/AnimatedGif.ocx") << 3;
        QTest::newRow("font") << QStringLiteral("Fonts/seguibk.ttf") << 4;
    }

    void aMissingSupportFileShowsItsErrorAndOnlyExit()
    {
        QFETCH(QString, removed);
        QFETCH(int, error);
        const QString folder = copyOfTheProgram(QStringLiteral("missing-%1").arg(error));
        QVERIFY(!folder.isEmpty());
        QVERIFY(QFile::remove(folder + QLatin1Char('/') + removed));
        {
            QFile manifest(folder + QStringLiteral("/setupreel.exe.manifest"));
            QVERIFY(manifest.open(QIODevice::WriteOnly)); // present: no restart
        }
        const QString output = m_work.filePath(QStringLiteral("missing-%1.out").arg(error));
        QProcess program;
        prepare(program, output);
        program.start(folder + QStringLiteral("/setupreel"), {});
        QVERIFY(program.waitForStarted());
        m_started << program.processId();
        const QString startUp = m_display.waitForWindow(StartUp);
        QVERIFY2(!startUp.isEmpty(), readAll(output).constData());
        QCOMPARE(m_display.processOf(startUp), program.processId());
        // The window names the stage that failed, never the file.
        QVERIFY2(says(program.processId(),
                      {QStringLiteral("Some files doesn't exist."), QStringLiteral("Please reinstall."),
                       QStringLiteral("Error number : %1").arg(error)}),
                 qPrintable(AccessibleTexts::of(m_display.sessionBus(), program.processId()).join(QLatin1Char('|'))));
        QVERIFY(!says(program.processId(), {QStringLiteral("Loading successful.")}, 0));

        // Where "Next" was, only "Exit": it ends the program, and no main window came.
        const bool ended = m_display.clickUntil(startUp, NextX, NextY, [&] {
            return program.state() == QProcess::NotRunning || !m_display.windows(Main).isEmpty();
        });
        QVERIFY2(ended, readAll(output).constData());
        QVERIFY2(m_display.windows(Main).isEmpty(), "the check passed with a file missing");
        QVERIFY(program.state() == QProcess::NotRunning || program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestStartupProgram)
#include "tst_startup_program.moc"
