// SPDX-License-Identifier: GPL-3.0-or-later
// The run-and-wait control with real Wine: real NSIS installers, made here
// with makensis, started through the real ShellAndWait.ocx and WineWait.exe
// in a Wine prefix of this test's own.
#include "ControlTesting.h"
#include "ProcessTree.h"
#include "RunAndWaitInterface.h"
#include "SmallFileSystem.h"

#include <QElapsedTimer>
#include <QFile>
#include <QPluginLoader>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <ctime>
#include <fcntl.h>
#include <unistd.h>

static QString readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// The control as the program calls it: through its interface.
static RunAndWaitControl *asControl(QObject *control) { return qobject_cast<RunAndWaitControl *>(control); }

static int run(QObject *control, const QString &line)
{
    RunAndWaitControl *c = asControl(control);
    return c ? c->ShellAndWait(line) : -12345;
}

class TestShellAndWaitWine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void fullExitCodes();
    void noCodeFromTheLauncherIsUnknown();
    void waitsForTheSecondInstaller();
    void batchFileThroughCmd();
    void thirtyTwoBitSetupIsRefused();
    void waitsForTheRestartTheSetupAskedFor();

private:
    // Makes <name>.exe in the test folder from an NSIS script body.
    QString makeInstaller(const QString &name, const QString &target, const QString &section);
    QString windowsPath(const QString &path) const { return "Z:" + QString(path).replace('/', '\\'); }
    QStringList codeFiles() const;

    QPluginLoader m_loader;
    ControlFactory *m_factory = nullptr;
    QTemporaryDir m_prefixDir;
    QTemporaryDir m_tmp;
    QString m_prefix;
    QObject *m_control = nullptr;
};

void TestShellAndWaitWine::initTestCase()
{
    const QString why = loadControlLibrary(m_loader, QStringLiteral(SETUPREEL_BUILD_SYSTEM_DIR "/ShellAndWait.ocx"),
                                           QStringLiteral("Project1.ShellAndWait"), &m_factory);
    QVERIFY2(why.isEmpty(), qPrintable(why));
    QVERIFY2(QFile::exists(SETUPREEL_BUILD_SYSTEM_DIR "/WineWait.exe"), "WineWait.exe beside the control");
    // Real Wine and NSIS are what this test is about: missing ones are a failure.
    QVERIFY2(!QStandardPaths::findExecutable("wine").isEmpty(), "wine is not installed");
    QVERIFY2(!QStandardPaths::findExecutable("makensis").isEmpty(), "makensis (nsis) is not installed");
    QVERIFY(m_prefixDir.isValid() && m_tmp.isValid());

    // A prefix of this test's own, made once: Wine's first start takes a while.
    m_prefix = m_prefixDir.path() + "/prefix";
    qputenv("WINEPREFIX", m_prefix.toLocal8Bit());
    qputenv("WINEDEBUG", "-all");
    qputenv("WINEDLLOVERRIDES", "mscoree,mshtml="); // no Mono or Gecko questions
    QProcess boot;
    boot.start("wine", {"wineboot", "--init"});
    QVERIFY(boot.waitForFinished(180000));
    QProcess settle;
    settle.start("wineserver", {"-w"});
    QVERIFY(settle.waitForFinished(180000));
    QVERIFY(QFileInfo(m_prefix + "/drive_c/windows/temp").isDir());

    m_control = m_factory->create("Project1.ShellAndWait", nullptr);
    QVERIFY(m_control);
}

void TestShellAndWaitWine::cleanupTestCase()
{
    delete m_control;
    QProcess kill;
    kill.start("wineserver", {"-k"});
    kill.waitForFinished(30000);
}

QString TestShellAndWaitWine::makeInstaller(const QString &name, const QString &target, const QString &section)
{
    const QString script = m_tmp.path() + "/" + name + ".nsi";
    QFile f(script);
    if (!f.open(QIODevice::WriteOnly))
        return QString();
    f.write(QStringLiteral("Unicode true\nTarget %1\nOutFile \"%2.exe\"\nSilentInstall silent\n"
                           "RequestExecutionLevel user\nSection\n%3\nSectionEnd\n")
                    .arg(target, name, section)
                    .toUtf8());
    f.close();
    QProcess makensis;
    makensis.setWorkingDirectory(m_tmp.path());
    makensis.start("makensis", {"-V1", script});
    if (!makensis.waitForFinished(60000) || makensis.exitCode() != 0) {
        qWarning() << makensis.readAll();
        return QString();
    }
    return m_tmp.path() + "/" + name + ".exe";
}

QStringList TestShellAndWaitWine::codeFiles() const
{
    return QDir(m_prefix + "/drive_c/windows/temp").entryList({"setupreel-*"}, QDir::Files);
}

void TestShellAndWaitWine::fullExitCodes()
{
    // Linux sees these as 194, 67, 82 and 255: the launcher reads the whole
    // code, and 0xFFFFFFFF is a code like any other.
    for (const int code : {3010, 1603, 1618, 0, -1}) {
        // NSIS keeps -1 as "no level set": that code ends the process itself.
        const QString end = code == -1 ? QString("System::Call 'kernel32::ExitProcess(i -1)'")
                                       : QString("SetErrorLevel %1").arg(code);
        const QString setup = makeInstaller(QString("exit%1").arg(code), "amd64-unicode", end);
        QVERIFY(!setup.isEmpty());
        QCOMPARE(run(m_control, setup + " /S"), 0);
        // Returned while Wine's own processes (its server, its services) run on.
        QStringList wines;
        for (const ShellAndWaitLogic::ProcessStat &child : ShellAndWaitLogic::childrenOfThisProcess())
            if (child.state != 'Z' && ShellAndWaitLogic::isWineServiceProcess(child.pid))
                wines << ShellAndWaitLogic::processName(child.pid);
        QVERIFY2(wines.contains("wineserver64") || wines.contains("wineserver"), qPrintable(wines.join(' ')));
        QVERIFY(asControl(m_control)->HasExitCode());
        QCOMPARE(asControl(m_control)->ExitCode(), code);
        QCOMPARE(asControl(m_control)->ExitSignal(), 0);
        QCOMPARE(asControl(m_control)->InstallerType(), QString("nsis"));
        QCOMPARE(asControl(m_control)->Machine(), QString("x86-64"));
        QCOMPARE(asControl(m_control)->StartedFile(), setup);
        QCOMPARE(asControl(m_control)->LeftBehind(), QStringList());
        QCOMPARE(asControl(m_control)->WineRestart(), QString());
    }
    // Each call's code file is removed once read.
    QCOMPARE(codeFiles(), QStringList());
}

// Wine's own status is the code's low 8 bits at best: without the launcher's
// file the code is unknown, never a guess.
void TestShellAndWaitWine::noCodeFromTheLauncherIsUnknown()
{
    const QString setup = makeInstaller("late3010", "amd64-unicode", "Sleep 3000\nSetErrorLevel 3010");
    QVERIFY(!setup.isEmpty());

    // The launcher ended from inside Wine once its setup runs; the setup runs on.
    QTimer poll;
    poll.setInterval(100);
    connect(&poll, &QTimer::timeout, [&] {
        for (const ShellAndWaitLogic::ProcessStat &child : ShellAndWaitLogic::childrenOfThisProcess()) {
            if (!ShellAndWaitLogic::processCommandLine(child.pid).contains("late3010.exe"))
                continue;
            poll.stop();
            QProcess taskkill;
            taskkill.start("wine", {"taskkill", "/F", "/IM", "WineWait.exe"});
            taskkill.waitForFinished(60000);
        }
    });
    poll.start();
    QCOMPARE(run(m_control, setup + " /S"), 0);
    QVERIFY(!asControl(m_control)->HasExitCode());
    QCOMPARE(asControl(m_control)->ExitSignal(), 0);

    // The prefix's temp folder full: the launcher cannot write the code.
    SmallFileSystem disk(m_prefix + "/drive_c/windows/temp", "64k");
    QVERIFY2(disk.isMounted(), qPrintable(disk.whyNot()));
    QVERIFY(SmallFileSystem::fillUp(m_prefix + "/drive_c/windows/temp/filler", 512));
    QCOMPARE(run(m_control, setup + " /S"), 0);
    QVERIFY(!asControl(m_control)->HasExitCode());
    QCOMPARE(asControl(m_control)->ExitSignal(), 0);
    QCOMPARE(codeFiles(), QStringList());
}

void TestShellAndWaitWine::waitsForTheSecondInstaller()
{
    const QString mark = m_tmp.path() + "/second.txt";
    const QString second = makeInstaller("second", "amd64-unicode",
                                         "Sleep 4000\nFileOpen $0 \"$EXEDIR\\second.txt\" w\n"
                                         "FileWrite $0 \"done\"\nFileClose $0\nSetErrorLevel 5");
    QVERIFY(!second.isEmpty());
    // A bootstrapper: starts the real installer and exits at once.
    const QString first = makeInstaller("first", "amd64-unicode", "Exec '\"$EXEDIR\\second.exe\" /S'\nSetErrorLevel 0");
    QVERIFY(!first.isEmpty());
    const QString next = makeInstaller("next", "amd64-unicode",
                                       "FileOpen $0 \"$EXEDIR\\next.txt\" w\n"
                                       "FileWrite $0 \"next\"\nFileClose $0");
    QVERIFY(!next.isEmpty());

    auto *api = qobject_cast<RunAndWaitControl *>(m_control);
    QVERIFY(api);
    int leftovers = 0;
    const QObject counting; // ends the count with this test
    api->onWaitingForLeftovers(&counting, [&](const QList<LeftoverProcess> &) { ++leftovers; });
    QElapsedTimer clock;
    clock.start();
    timespec cpu0, cpu1;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu0);
    QCOMPARE(run(m_control, first + " /S"), 0);
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu1);
    QVERIFY2(clock.elapsed() >= 3500, qPrintable(QString::number(clock.elapsed())));
    // Waiting spends no processor time of its own (no polling).
    const double used = (cpu1.tv_sec - cpu0.tv_sec) + (cpu1.tv_nsec - cpu0.tv_nsec) / 1e9;
    QVERIFY2(used < 0.3, qPrintable(QString("waiting used %1 s of processor time").arg(used)));
    QCOMPARE(readAll(mark), QString("done"));
    QCOMPARE(leftovers, 1);
    QCOMPARE(asControl(m_control)->ExitCode(), 0); // the bootstrapper's own code
    QCOMPARE(asControl(m_control)->LeftBehind(), QStringList());
    // The next program starts only now.
    QVERIFY(!QFile::exists(m_tmp.path() + "/next.txt"));
    QCOMPARE(run(m_control, next + " /S"), 0);
    QCOMPARE(readAll(m_tmp.path() + "/next.txt"), QString("next"));
}

void TestShellAndWaitWine::batchFileThroughCmd()
{
    const QString bat = m_tmp.path() + "/setup step.bat";
    QFile f(bat);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("@echo off\r\necho %1> \"%~dp0bat-arg.txt\"\r\necho said by cmd\r\nexit /b 1641\r\n");
    f.close();
    // What the Windows program writes arrives where the output is set.
    int out[2];
    QVERIFY(::pipe2(out, O_CLOEXEC | O_NONBLOCK) == 0);
    asControl(m_control)->SetOutput(out[1]);
    ::close(out[1]);
    QCOMPARE(run(m_control, bat + " hello"), 0);
    asControl(m_control)->SetOutput(-1);
    char said[64] = {};
    const ssize_t n = ::read(out[0], said, sizeof said);
    QCOMPARE(QByteArray(said, int(qMax<ssize_t>(n, 0))), QByteArray("said by cmd\r\n"));
    ::close(out[0]);
    QCOMPARE(asControl(m_control)->ExitCode(), 1641);
    QCOMPARE(readAll(m_tmp.path() + "/bat-arg.txt").trimmed(), QString("hello"));
    QCOMPARE(asControl(m_control)->InstallerType(), QString("batch"));
}

void TestShellAndWaitWine::thirtyTwoBitSetupIsRefused()
{
    const QString setup = makeInstaller("setup32", "x86-unicode", "SetErrorLevel 0");
    QVERIFY(!setup.isEmpty());
    const bool has32BitWine = QFile::exists("/usr/lib/wine/wine") || QFileInfo("/usr/lib/i386-linux-gnu/wine").isDir();
    QElapsedTimer clock;
    clock.start();
    const int result = run(m_control, setup + " /S");
    QCOMPARE(asControl(m_control)->Machine(), QString("x86"));
    QCOMPARE(asControl(m_control)->InstallerType(), QString("nsis"));
    if (has32BitWine) {
        // This machine runs it: the refusal must not be taken.
        QCOMPARE(result, 0);
        QCOMPARE(asControl(m_control)->ExitCode(), 0);
        return;
    }
    QCOMPARE(result, RunTimeError::MachineMismatch);
    QVERIFY(clock.elapsed() < 2000); // refused before anything started
    const QString text = asControl(m_control)->ErrorDescription();
    QVERIFY2(text.contains(setup) && text.contains("32-bit") && text.contains("wine32:i386"), qPrintable(text));
    QCOMPARE(asControl(m_control)->ExitCode(), -1);
    QCOMPARE(codeFiles(), QStringList());
}

void TestShellAndWaitWine::waitsForTheRestartTheSetupAskedFor()
{
    // The setup's "finish after restart" step (RunOnce) and its tray program
    // (Run): each leaves its mark only after a pause, so a call that does not
    // wait for Wine's restart returns before them.
    const QString finish = makeInstaller("finish", "amd64-unicode",
                                         "Sleep 3000\nFileOpen $0 \"$EXEDIR\\$EXEFILE.txt\" w\n"
                                         "FileWrite $0 \"done\"\nFileClose $0");
    QVERIFY(!finish.isEmpty());
    QVERIFY(QFile::copy(finish, m_tmp.path() + "/tray.exe"));
    // Registers them, asks Windows to restart (EWX_REBOOT) and says so (1641).
    const QString setup = makeInstaller(
            "restart", "amd64-unicode",
            "WriteRegStr HKLM \"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce\" \"finish\" "
            "'\"$EXEDIR\\finish.exe\"'\n"
            "WriteRegStr HKCU \"Software\\Microsoft\\Windows\\CurrentVersion\\Run\" \"tray\" '\"$EXEDIR\\tray.exe\"'\n"
            "System::Call 'user32::ExitWindowsEx(i 2, i 0) i .r0'\n"
            "IntCmp $0 0 0 +2 +2\nAbort\nSetErrorLevel 1641");
    QVERIFY(!setup.isEmpty());

    auto *api = asControl(m_control);
    QList<LeftoverProcess> awaited;
    const QObject watching;
    api->onWaitingForLeftovers(&watching, [&](const QList<LeftoverProcess> &p) { awaited << p; });
    QCOMPARE(run(m_control, setup + " /S"), 0);
    QCOMPARE(api->ExitCode(), 1641);
    // The restart ran both before the call returned, and is told.
    QCOMPARE(readAll(m_tmp.path() + "/finish.exe.txt"), QString("done"));
    QCOMPARE(readAll(m_tmp.path() + "/tray.exe.txt"), QString("done"));
    const QString told = api->WineRestart();
    QVERIFY2(told.contains("wineboot --end-session") && told.contains("finish.exe") && told.contains("tray.exe")
                     && !told.contains("still running"),
             qPrintable(told));
    // Named in a notice of the wait; under load the setup's leftovers may be
    // told first, when Wine's restart reaches this process only after them.
    QStringList names;
    for (const LeftoverProcess &p : std::as_const(awaited))
        names << p.name;
    QVERIFY2(names.contains("wineboot.exe"), qPrintable(names.join(", ")));
    // Nothing of the restart runs on; Wine's services may.
    QStringList running;
    for (const ShellAndWaitLogic::ProcessStat &child : ShellAndWaitLogic::childrenOfThisProcess()) {
        const QString name = ShellAndWaitLogic::processName(child.pid);
        if (child.state != 'Z' && (name == "wineboot.exe" || !ShellAndWaitLogic::isWineServiceProcess(child.pid)))
            running << name;
    }
    QCOMPARE(running, QStringList());
}

QTEST_GUILESS_MAIN(TestShellAndWaitWine)
#include "tst_shellandwait_wine.moc"
