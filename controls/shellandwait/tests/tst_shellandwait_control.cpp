// SPDX-License-Identifier: GPL-3.0-or-later
// The run-and-wait control as the program meets it: the real ShellAndWait.ocx,
// created by class name and called by member name.
#include "ControlTesting.h"
#include "FileNameCodec.h"
#include "RunAndWaitInterface.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QPluginLoader>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

static QString readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(f.readAll());
}

static void writeScript(const QString &path, const QString &body, bool executable = false)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    f.write(("#!/bin/sh\n" + body + "\n").toUtf8());
    f.close();
    QFileDevice::Permissions p = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if (executable)
        p |= QFileDevice::ExeOwner;
    QVERIFY(f.setPermissions(p));
}

// A script under a name given as bytes, which need not be UTF-8.
static bool writeScriptBytes(const QByteArray &path, const QByteArray &body, bool executable)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, executable ? 0700 : 0600);
    if (fd < 0)
        return false;
    const QByteArray text = "#!/bin/sh\n" + body + "\n";
    const bool ok = ::write(fd, text.constData(), size_t(text.size())) == text.size();
    ::close(fd);
    return ok;
}

static QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

static QString q(const QString &path) { return "'" + path + "'"; }

// The control as the program calls it: through its interface, never by a
// member's name.
static RunAndWaitControl *asControl(QObject *control) { return qobject_cast<RunAndWaitControl *>(control); }

static int run(QObject *control, const QString &line)
{
    RunAndWaitControl *c = asControl(control);
    return c ? c->ShellAndWait(line) : -12345;
}

static QString description(QObject *control) { return asControl(control)->ErrorDescription(); }
static int exitCode(QObject *control) { return asControl(control)->ExitCode(); }
static QStringList leftBehind(QObject *control) { return asControl(control)->LeftBehind(); }

// Neither running nor a zombie: ended and reaped.
static bool isGone(pid_t pid) { return ::kill(pid, 0) == -1 && errno == ESRCH; }

// The launcher's arguments in a stand-in Wine's record: WineWait.exe, the
// code file under the prefix's temp folder, then what follows.
static QString afterLauncher(const QString &record)
{
    const QStringList parts = record.split('|');
    if (parts.size() < 2 || !parts.at(0).endsWith("/WineWait.exe")
        || !parts.at(1).startsWith("C:\\windows\\temp\\setupreel-"))
        return "<not through the launcher: " + record + ">";
    return QStringList(parts.mid(2)).join('|');
}

class TestShellAndWaitControl : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void factoryCreatesByClassName();
    void returnsWhenProgramHasEnded();
    void argumentsArriveSplit();
    void startFailures();
    void windowsFilesGoThroughWine();
    void namesBeginningWithDashAreNoOptions();
    void namesThatAreNotUtf8();
    void eventsFlowDuringWait();
    void nestedCallIsRefused();
    void childRunsInOwnSessionWithEnvironment();
    void childOutlivesControl();
    void waitsForWhatTheProgramStarted();
    void signalEndsProgram();
    void stopWaitingLeavesLeftoversRunning();
    void abandonLeavesProgramAndLeftoversRunning();
    void outputGoesWhereItIsSet();
    void detachedProgramsOutsideACallLeaveNoZombie();
    // Leaves the thread's event loops told to end: must stay the last test.
    void applicationEndingLeavesProgramRunning();

private:
    QObject *newControl() { return m_factory->create("Project1.ShellAndWait", nullptr); }

    QPluginLoader m_loader;
    ControlFactory *m_factory = nullptr;
    QTemporaryDir *m_tmp = nullptr;
    QString m_dir;
    QObject *m_control = nullptr;
};

void TestShellAndWaitControl::initTestCase()
{
    const QString why = loadControlLibrary(m_loader, QStringLiteral(SETUPREEL_BUILD_SYSTEM_DIR "/ShellAndWait.ocx"),
                                           QStringLiteral("Project1.ShellAndWait"), &m_factory);
    QVERIFY2(why.isEmpty(), qPrintable(why));
}

void TestShellAndWaitControl::init()
{
    m_tmp = new QTemporaryDir;
    QVERIFY(m_tmp->isValid());
    m_dir = m_tmp->path();
    m_control = newControl();
    QVERIFY(m_control);
}

void TestShellAndWaitControl::cleanup()
{
    delete m_control;
    m_control = nullptr;
    delete m_tmp;
    m_tmp = nullptr;
}

void TestShellAndWaitControl::factoryCreatesByClassName()
{
    QObject *parent = new QObject;
    QObject *c = m_factory->create("project1.SHELLANDWAIT", nullptr);
    QVERIFY(c);
    c->setParent(parent);
    QVERIFY(c->metaObject()->indexOfMethod("ShellAndWait(QString)") >= 0);
    delete parent;
    QCOMPARE(m_factory->create("Project1.ShellAndWaitX", nullptr), nullptr);
    QCOMPARE(m_factory->create("ComctlLib.ProgressBar", nullptr), nullptr);
}

void TestShellAndWaitControl::returnsWhenProgramHasEnded()
{
    const QString log = m_dir + "/log";
    const QString script = m_dir + "/slow.sh";
    writeScript(script, "sleep 0.3\necho done >> " + q(log) + "\nexit 4");
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(run(m_control, script), 0); // started; its exit code is no error
    QVERIFY(clock.elapsed() >= 300);
    QCOMPARE(readAll(log), QString("done\n"));
    QCOMPARE(exitCode(m_control), 4);
    QCOMPARE(description(m_control), QString());

    // Two in a row: the second starts only after the first has ended.
    const QString second = m_dir + "/second.sh";
    writeScript(second, "echo second >> " + q(log));
    QCOMPARE(run(m_control, script), 0);
    QCOMPARE(run(m_control, second), 0);
    QCOMPARE(readAll(log), QString("done\ndone\nsecond\n"));
    QCOMPARE(exitCode(m_control), 0);
}

void TestShellAndWaitControl::argumentsArriveSplit()
{
    const QString out = m_dir + "/args";
    const QString setup = m_dir + "/my setup.sh";
    writeScript(setup, "for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > " + q(out));
    QCOMPARE(run(m_control, setup + " /S /D=a b \"c  d\" \\\"e\\\" $HOME;x `y`"), 0);
    QCOMPARE(readAll(out), QString("[/S]\n[/D=a]\n[b]\n[c  d]\n[\"e\"]\n[$HOME;x]\n[`y`]\n"));

    // Quoted, executable, with an empty argument.
    const QString tool = m_dir + "/my tool";
    writeScript(tool, "printf '%s|' \"$@\" > " + q(out), true);
    QCOMPARE(run(m_control, "\"" + tool + "\" \"\" x"), 0);
    QCOMPARE(readAll(out), QString("|x|"));
}

void TestShellAndWaitControl::startFailures()
{
    const QString missing = m_dir + "/no such setup.sh";
    QCOMPARE(run(m_control, "\"" + missing + "\" /S"), RunTimeError::FileNotFound);
    QVERIFY2(description(m_control).contains(missing), qPrintable(description(m_control)));
    QCOMPARE(exitCode(m_control), -1);

    const QString data = m_dir + "/readme.txt";
    writeScript(data, "exit 0");
    QCOMPARE(run(m_control, data), RunTimeError::PermissionDenied);
    QVERIFY(description(m_control).contains("Permission denied"));
    QVERIFY(description(m_control).contains(data));

    const QString broken = m_dir + "/broken";
    QFile f(broken);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("\x7f"
            "ELF garbage");
    f.close();
    QVERIFY(f.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    QCOMPARE(run(m_control, broken), RunTimeError::PermissionDenied);
    QVERIFY(description(m_control).contains(broken));

    // A success clears the last error.
    const QString ok = m_dir + "/ok.sh";
    writeScript(ok, "exit 0");
    QCOMPARE(run(m_control, ok), 0);
    QCOMPARE(description(m_control), QString());
}

void TestShellAndWaitControl::windowsFilesGoThroughWine()
{
    const QByteArray oldPath = qgetenv("PATH");
    auto restore = qScopeGuard([&] { qputenv("PATH", oldPath); });
    const QString bin = m_dir + "/bin";
    QVERIFY(QDir().mkpath(bin));
    const QString setup = m_dir + "/Setup.MSI";
    writeScript(setup, "");

    qputenv("PATH", bin.toLocal8Bit());
    QCOMPARE(run(m_control, setup + " /quiet"), RunTimeError::InvalidCall);
    QVERIFY2(description(m_control).contains("Wine"), qPrintable(description(m_control)));
    QVERIFY(description(m_control).contains("not installed"));

    // A stand-in Wine shows what a real one would be given.
    const QString out = m_dir + "/wine.args";
    writeScript(bin + "/wine", "printf '%s|' \"$@\" > " + q(out), true);
    qputenv("PATH", (bin + ":" + QString::fromLocal8Bit(oldPath)).toLocal8Bit());
    QCOMPARE(run(m_control, setup + " /quiet \"TARGET=a b\""), 0);
    const QString z = "Z:" + QString(setup).replace('/', '\\');
    // Through the launcher, which reads the full exit code.
    QCOMPARE(afterLauncher(readAll(out)), "msiexec|/i|" + z + "|/quiet|TARGET=a b|");
    // Started, but the launcher never ran: Wine's own status is no Windows code.
    QVERIFY(!asControl(m_control)->HasExitCode());
    QCOMPARE(asControl(m_control)->StartedFile(), setup);
}

void TestShellAndWaitControl::namesBeginningWithDashAreNoOptions()
{
    // Relative lines, started from the folder that holds the files.
    const QString oldDir = QDir::currentPath();
    auto restore = qScopeGuard([&] { QDir::setCurrent(oldDir); });
    QVERIFY(QDir::setCurrent(m_dir));
    const QString out = m_dir + "/out";

    // Read by /bin/sh (not executable), and started directly (its interpreter
    // is handed the path as the kernel got it).
    writeScript(m_dir + "/-setup.sh", "printf '%s|' \"$0\" \"$@\" > " + q(out));
    QCOMPARE(run(m_control, "-setup.sh /S"), 0);
    QCOMPARE(readAll(out), QString("./-setup.sh|/S|"));
    QFile::remove(out);
    writeScript(m_dir + "/--help.sh", "printf '%s|' \"$0\" \"$@\" > " + q(out), true);
    QCOMPARE(run(m_control, "--help.sh /quiet"), 0);
    QCOMPARE(readAll(out), QString("./--help.sh|/quiet|"));
    QFile::remove(out);
    writeScript(m_dir + "/-tool", "printf '%s|' \"$0\" \"$@\" > " + q(out), true);
    QCOMPARE(run(m_control, "\"-tool\" x"), 0);
    QCOMPARE(readAll(out), QString("./-tool|x|"));

    // The Wine forms: the file is never the first thing Wine or cmd sees as a switch.
    const QByteArray oldPath = qgetenv("PATH");
    auto restorePath = qScopeGuard([&] { qputenv("PATH", oldPath); });
    const QString bin = m_dir + "/bin";
    QVERIFY(QDir().mkpath(bin));
    const QString wineArgs = m_dir + "/wine.args";
    writeScript(bin + "/wine", "printf '%s|' \"$@\" > " + q(wineArgs), true);
    qputenv("PATH", (bin + ":" + QString::fromLocal8Bit(oldPath)).toLocal8Bit());
    const QString z = "Z:" + QString(m_dir).replace('/', '\\');
    for (const char *name : {"-Setup.exe", "-Pack.msi", "-run.bat"})
        writeScript(m_dir + "/" + name, "");
    QCOMPARE(run(m_control, "-Setup.exe /S"), 0);
    QCOMPARE(afterLauncher(readAll(wineArgs)), z + "\\-Setup.exe|/S|");
    QCOMPARE(run(m_control, "-Pack.msi /qn"), 0);
    QCOMPARE(afterLauncher(readAll(wineArgs)), "msiexec|/i|" + z + "\\-Pack.msi|/qn|");
    QCOMPARE(run(m_control, "-run.bat"), 0);
    QCOMPARE(afterLauncher(readAll(wineArgs)), "cmd|/c|" + z + "\\-run.bat|");
}

void TestShellAndWaitControl::namesThatAreNotUtf8()
{
    const QByteArray dir = m_dir.toUtf8();
    const QString out = m_dir + "/out";
    const QByteArray report = "printf '%s|' \"$0\" \"$@\" > '" + out.toUtf8() + "'";

    // A Latin-1 name, as a UTF-8 list or the folder search holds it: each byte
    // that is not UTF-8 kept as U+DC00 + byte.
    const QByteArray latin1 = dir + "/setup-\xe9t\xe9.sh";
    QVERIFY(writeScriptBytes(latin1, report, false));
    const QString kept = FileNameCodec::decodeFileName(latin1);
    QCOMPARE(run(m_control, kept + " /S"), 0);
    QCOMPARE(readBytes(out), latin1 + "|/S|");
    QFile::remove(out);
    QCOMPARE(run(m_control, "\"" + kept + "\""), 0);
    QCOMPARE(readBytes(out), latin1 + "|");
    QFile::remove(out);

    // Started directly: the program's own path arrives as the same bytes.
    const QByteArray tool = dir + "/tool-\xfc";
    QVERIFY(writeScriptBytes(tool, report, true));
    QCOMPARE(run(m_control, FileNameCodec::decodeFileName(tool) + " a"), 0);
    QCOMPARE(readBytes(out), tool + "|a|");
    QFile::remove(out);

    // A list read as Windows-1252 holds "é" and "€" as characters; the files
    // carry their Windows-1252 bytes.
    QCOMPARE(run(m_control, m_dir + QString::fromUtf8("/setup-été.sh /D=x")), 0);
    QCOMPARE(readBytes(out), latin1 + "|/D=x|");
    QFile::remove(out);
    const QByteArray euro = dir + "/price-\x80.sh";
    QVERIFY(writeScriptBytes(euro, report, false));
    QCOMPARE(run(m_control, "\"" + m_dir + QString::fromUtf8("/price-€.sh\" q")), 0);
    QCOMPARE(readBytes(out), euro + "|q|");
    QFile::remove(out);

    // Where the name exists in UTF-8 too, that file is the one.
    const QByteArray utf8 = dir + "/setup-\xc3\xa9t\xc3\xa9.sh";
    QVERIFY(writeScriptBytes(utf8, report, false));
    QCOMPARE(run(m_control, m_dir + QString::fromUtf8("/setup-été.sh")), 0);
    QCOMPARE(readBytes(out), utf8 + "|");

    // Missing under both: reported with the name as the line gave it.
    QCOMPARE(run(m_control, m_dir + QString::fromUtf8("/gone-é.sh")), RunTimeError::FileNotFound);
    QVERIFY(description(m_control).contains(QString::fromUtf8("gone-é.sh")));
}

void TestShellAndWaitControl::eventsFlowDuringWait()
{
    const QString log = m_dir + "/log";
    const QString script = m_dir + "/slow.sh";
    writeScript(script, "sleep 0.4\necho end >> " + q(log));
    int ticks = 0;
    QString seenDuringWait = "<no tick>";
    QTimer timer;
    timer.setInterval(50);
    connect(&timer, &QTimer::timeout, [&] {
        if (++ticks == 1)
            seenDuringWait = readAll(log);
    });
    timer.start();
    QCOMPARE(run(m_control, script), 0);
    QVERIFY2(ticks >= 3, qPrintable(QString::number(ticks)));
    QCOMPARE(seenDuringWait, QString()); // the program was still running
    QCOMPARE(readAll(log), QString("end\n"));
}

void TestShellAndWaitControl::nestedCallIsRefused()
{
    const QString log = m_dir + "/log";
    const QString first = m_dir + "/first.sh";
    const QString second = m_dir + "/second.sh";
    writeScript(first, "sleep 0.4\necho first >> " + q(log));
    writeScript(second, "echo second >> " + q(log));
    int nested = -1;
    QString nestedText;
    QTimer::singleShot(100, [&] {
        nested = run(m_control, second);
        nestedText = description(m_control);
    });
    QCOMPARE(run(m_control, first), 0);
    QCOMPARE(nested, RunTimeError::StillWaiting);
    QVERIFY2(nestedText.contains("still waiting") && nestedText.contains(first), qPrintable(nestedText));
    QCOMPARE(description(m_control), QString());
    QTest::qWait(200);
    QCOMPARE(readAll(log), QString("first\n"));
}

void TestShellAndWaitControl::childRunsInOwnSessionWithEnvironment()
{
    const QString out = m_dir + "/probe";
    const QString script = m_dir + "/probe.sh";
    writeScript(script, "set -- $(cat /proc/$$/stat)\n"
                        "{ echo \"$1 $6\"; echo \"$SAW_PROBE\"; readlink /proc/$$/fd/0; } > "
                                + q(out));
    qputenv("SAW_PROBE", "probe value");
    QCOMPARE(run(m_control, script), 0);
    qunsetenv("SAW_PROBE");
    const QStringList lines = readAll(out).split('\n');
    QCOMPARE(lines.size(), 4);
    const QStringList ids = lines.at(0).split(' ');
    QCOMPARE(ids.size(), 2);
    QCOMPARE(ids.at(1), ids.at(0)); // session leader of its own session
    QVERIFY(ids.at(1).toInt() != int(::getsid(0)));
    QCOMPARE(lines.at(1), QString("probe value"));
    QCOMPARE(lines.at(2), QString("/dev/null"));

    // Started from a background shell (SIGINT and SIGQUIT ignored) by a
    // program with handlers of its own: the setup has every signal at its default.
    const int handled[] = {SIGUSR1, SIGRTMIN + 4};
    const int ignored[] = {SIGINT, SIGQUIT};
    struct sigaction old[4], set{};
    set.sa_handler = [](int) {};
    for (int i = 0; i < 2; ++i)
        QCOMPARE(::sigaction(handled[i], &set, &old[i]), 0);
    set.sa_handler = SIG_IGN;
    for (int i = 0; i < 2; ++i)
        QCOMPARE(::sigaction(ignored[i], &set, &old[2 + i]), 0);
    const QString dispositions = m_dir + "/dispositions";
    writeScript(script, "exec cat /proc/self/status > " + q(dispositions));
    const int result = run(m_control, script);
    for (int i = 0; i < 2; ++i) {
        ::sigaction(handled[i], &old[i], nullptr);
        ::sigaction(ignored[i], &old[2 + i], nullptr);
    }
    QCOMPARE(result, 0);
    const QStringList status = readAll(dispositions).split('\n');
    QVERIFY(status.contains("SigIgn:\t0000000000000000"));
    QVERIFY(status.contains("SigCgt:\t0000000000000000"));
}

void TestShellAndWaitControl::childOutlivesControl()
{
    const QString mark = m_dir + "/mark";
    const QString script = m_dir + "/late.sh";
    writeScript(script, "sleep 0.8\necho $$ > " + q(mark));
    QPointer<QObject> control = m_control;
    QTimer::singleShot(100, [&] {
        delete m_control;
        m_control = nullptr;
    });
    QElapsedTimer clock;
    clock.start();
    int result = -1;
    RunAndWaitControl *c = asControl(control.data());
    QVERIFY(c);
    result = c->ShellAndWait(script);
    QVERIFY(control.isNull());
    QVERIFY2(clock.elapsed() < 600, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(result, 0);
    QVERIFY(!QFile::exists(mark));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(mark), 5000); // not killed
    QTRY_VERIFY(!readAll(mark).trimmed().isEmpty());
    const pid_t pid = readAll(mark).trimmed().toInt();
    QVERIFY(pid > 0);
    // Reaped after its end, though nobody waits in a call any more.
    QTRY_VERIFY_WITH_TIMEOUT(::kill(pid, 0) == -1 && errno == ESRCH, 5000);
}

void TestShellAndWaitControl::waitsForWhatTheProgramStarted()
{
    const QString log = m_dir + "/log";
    const QString pids = m_dir + "/pids";
    // A bootstrapper: starts the real installer in the background and exits.
    // One more goes into a session of its own, one is orphaned at once.
    const QString setup = m_dir + "/bootstrap.sh";
    writeScript(setup, "( sleep 0.6; echo installer >> " + q(log)
                               + " ) &\n"
                                 "echo $! >> "
                               + q(pids)
                               + "\n"
                                 "setsid sh -c 'sleep 0.3; echo daemon >> "
                               + q(log)
                               + "' &\n"
                                 "sh -c '( sleep 0.9; echo orphan >> "
                               + q(log) + " ) & echo $! >> " + q(pids)
                               + "'\n"
                                 "echo bootstrapper >> "
                               + q(log) + "\nsleep 0.2\nexit 0");
    const QString next = m_dir + "/next.sh";
    writeScript(next, "echo next >> " + q(log));

    int signalled = 0;
    bool waitingSeen = false;
    // Through the interface the host casts the control to.
    auto *api = qobject_cast<RunAndWaitControl *>(m_control);
    QVERIFY(api);
    int emitted = 0;
    const QObject counting; // ends the count with this test
    api->onWaitingForLeftovers(&counting, [&](const QList<LeftoverProcess> &) { ++emitted; });

    // A child of this program that the control must leave to its owner.
    QProcess own;
    QTimer::singleShot(50, [&] {
        waitingSeen = asControl(m_control)->IsWaitingForLeftovers();
        own.start("/bin/sh", {"-c", "sleep 0.4; exit 7"});
    });
    QTimer::singleShot(300, [&] {
        if (asControl(m_control)->IsWaitingForLeftovers())
            ++signalled;
    });
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(run(m_control, setup), 0);
    QVERIFY2(clock.elapsed() >= 850, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!waitingSeen);  // the bootstrapper itself still ran at 50 ms
    QCOMPARE(signalled, 1); // at 300 ms only what it left behind ran
    QCOMPARE(emitted, 1);
    QVERIFY(!asControl(m_control)->IsWaitingForLeftovers());
    QCOMPARE(leftBehind(m_control), QStringList());
    QCOMPARE(exitCode(m_control), 0);
    QStringList lines = readAll(log).split('\n', Qt::SkipEmptyParts);
    lines.sort();
    QCOMPARE(lines, QStringList({"bootstrapper", "daemon", "installer", "orphan"}));
    // Every one of them reaped: no zombie stays behind.
    for (const QString &p : readAll(pids).split('\n', Qt::SkipEmptyParts))
        QVERIFY2(isGone(p.toInt()), qPrintable(p));
    // The program's own child was not taken from it.
    if (own.state() != QProcess::NotRunning)
        QVERIFY(own.waitForFinished(5000));
    QCOMPARE(own.error(), QProcess::UnknownError);
    QCOMPARE(own.exitStatus(), QProcess::NormalExit);
    QCOMPARE(own.exitCode(), 7);

    // The next program starts only after all of it has ended.
    QCOMPARE(run(m_control, next), 0);
    QCOMPARE(readAll(log).split('\n', Qt::SkipEmptyParts).last(), QString("next"));
    QCOMPARE(asControl(m_control)->StartedFile(), next);
    QCOMPARE(asControl(m_control)->InstallerType(), QString("shell"));
    QCOMPARE(asControl(m_control)->Machine(), QString());
}

void TestShellAndWaitControl::signalEndsProgram()
{
    const QString script = m_dir + "/crash.sh";
    writeScript(script, "kill -SEGV $$");
    QCOMPARE(run(m_control, script), 0);
    QCOMPARE(asControl(m_control)->ExitSignal(), SIGSEGV);
    QVERIFY(!asControl(m_control)->HasExitCode()); // it never ran to its end
    writeScript(script, "exit 3");
    QCOMPARE(run(m_control, script), 0);
    QCOMPARE(asControl(m_control)->ExitSignal(), 0);
    QVERIFY(asControl(m_control)->HasExitCode());
    QCOMPARE(exitCode(m_control), 3);
    // A refused start clears what the last program left.
    QCOMPARE(run(m_control, m_dir + "/missing.sh"), RunTimeError::FileNotFound);
    QVERIFY(!asControl(m_control)->HasExitCode());
    QCOMPARE(asControl(m_control)->StartedFile(), QString());
}

void TestShellAndWaitControl::stopWaitingLeavesLeftoversRunning()
{
    const QString pidFile = m_dir + "/pid";
    const QString script = m_dir + "/leaves.sh";
    writeScript(script, "sleep 30 &\necho $! > " + q(pidFile) + "\nsleep 0.3\nexit 2");
    bool stoppedEarly = true;
    bool stopped = false;
    qint64 stoppedAt = -1;
    QElapsedTimer clock;
    // Pressed while the program runs: no effect, the wait goes on.
    QTimer::singleShot(100, [&] { stoppedEarly = asControl(m_control)->StopWaiting(); });
    // As Cancel does once only left-behind processes remain.
    QTimer later;
    later.setSingleShot(true);
    later.setInterval(200);
    connect(&later, &QTimer::timeout, [&] {
        stoppedAt = clock.elapsed();
        stopped = asControl(m_control)->StopWaiting();
    });
    auto *api = qobject_cast<RunAndWaitControl *>(m_control);
    QVERIFY(api);
    QList<LeftoverProcess> handedOver;
    const QMetaObject::Connection starting = api->onWaitingForLeftovers(&later, [&](const QList<LeftoverProcess> &p) {
        handedOver = p;
        later.start();
    });
    QVERIFY(starting);
    clock.start();
    QCOMPARE(run(m_control, script), 0);
    const qint64 returned = clock.elapsed();
    QVERIFY(!stoppedEarly);
    QVERIFY(stopped);
    QVERIFY2(stoppedAt >= 300, qPrintable(QString::number(stoppedAt)));
    QVERIFY2(returned - stoppedAt < 500, qPrintable(QString("%1 %2").arg(stoppedAt).arg(returned)));
    QCOMPARE(exitCode(m_control), 2);
    const pid_t pid = readAll(pidFile).trimmed().toInt();
    QVERIFY(pid > 0);
    QCOMPARE(leftBehind(m_control), QStringList{QString("%1 sleep 30").arg(pid)});
    QVERIFY(!asControl(m_control)->WasAbandoned());
    // The wait began with the same process, by id, name and command line.
    const QList<LeftoverProcess> expected{{pid, "sleep", "sleep 30"}};
    QCOMPARE(handedOver, expected);
    QVERIFY(!isGone(pid)); // left running
    // Reaped when it ends, though nobody waits in a call any more.
    QVERIFY(::kill(pid, SIGTERM) == 0);
    QTRY_VERIFY_WITH_TIMEOUT(isGone(pid), 5000);
    // The next call starts afresh.
    QCOMPARE(run(m_control, m_dir + "/pid"), RunTimeError::PermissionDenied);
    QCOMPARE(leftBehind(m_control), QStringList());
}

void TestShellAndWaitControl::abandonLeavesProgramAndLeftoversRunning()
{
    QCOMPARE(asControl(m_control)->Abandon(), false); // no call waits
    // The program runs on with a child of its own and an orphan that came to
    // this process.
    const QString pids = m_dir + "/pids";
    const QString script = m_dir + "/hangs.sh";
    writeScript(script,
                "sleep 30 &\necho $! >> " + q(pids) + "\nsh -c 'sleep 31 & echo $! >> " + q(pids) + "'\necho $$ >> "
                        + q(pids) + "\nexec sleep 32",
                true);
    QTimer::singleShot(400, [&] { QVERIFY(asControl(m_control)->Abandon()); });
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(run(m_control, script), 0);
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(asControl(m_control)->WasAbandoned());
    QVERIFY(!asControl(m_control)->HasExitCode());
    const QStringList ids = readAll(pids).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(ids.size(), 3);
    QStringList expected{ids.at(2) + " sleep 32", ids.at(0) + " sleep 30", ids.at(1) + " sleep 31"};
    QStringList named = leftBehind(m_control);
    expected.sort();
    named.sort();
    QCOMPARE(named, expected);
    for (const QString &id : ids)
        QVERIFY2(!isGone(id.toInt()), qPrintable(id)); // left running
    for (const QString &id : ids)
        ::kill(id.toInt(), SIGTERM);
    // The program and the orphan are reaped though no call waits any more.
    for (const QString &id : ids)
        QTRY_VERIFY_WITH_TIMEOUT(isGone(id.toInt()), 5000);

    // Once only what the program left runs: its own code is known.
    QFile::remove(pids);
    writeScript(script, "sleep 30 &\necho $! > " + q(pids) + "\nexit 5", true);
    const QObject context;
    asControl(m_control)->onWaitingForLeftovers(&context, [&](const QList<LeftoverProcess> &) {
        QTimer::singleShot(100, [&] { asControl(m_control)->Abandon(); });
    });
    QCOMPARE(run(m_control, script), 0);
    QVERIFY(asControl(m_control)->WasAbandoned());
    QVERIFY(asControl(m_control)->HasExitCode());
    QCOMPARE(exitCode(m_control), 5);
    const QString helper = readAll(pids).trimmed();
    QCOMPARE(leftBehind(m_control), QStringList{helper + " sleep 30"});
    ::kill(helper.toInt(), SIGTERM);
    QTRY_VERIFY_WITH_TIMEOUT(isGone(helper.toInt()), 5000);
    // The next call starts afresh.
    QCOMPARE(run(m_control, m_dir + "/missing.sh"), RunTimeError::FileNotFound);
    QVERIFY(!asControl(m_control)->WasAbandoned());
}

// What a descriptor link in /proc names ("pipe:[123]", "/dev/pts/0").
static QString linkText(const QString &path)
{
    char buf[4096];
    const ssize_t n = ::readlink(path.toLocal8Bit().constData(), buf, sizeof buf);
    return n > 0 ? QString::fromLocal8Bit(buf, n) : QString();
}

void TestShellAndWaitControl::outputGoesWhereItIsSet()
{
    int pipeFds[2];
    QVERIFY(::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) == 0);
    const QString pipeName = linkText(QString("/proc/self/fd/%1").arg(pipeFds[0]));
    const QString ownOutput = linkText("/proc/self/fd/1");
    QVERIFY(pipeName.startsWith("pipe:") && pipeName != ownOutput);
    // The control keeps its own copy: the caller's may go.
    asControl(m_control)->SetOutput(pipeFds[1]);
    ::close(pipeFds[1]);
    const QString fds = m_dir + "/fds";
    const QString script = m_dir + "/talks.sh";
    writeScript(script, "echo out\necho err >&2\n"
                        "for f in /proc/$$/fd/*; do echo \"${f##*/} $(readlink $f)\" >&3; done 3> "
                                + q(fds));
    QCOMPARE(run(m_control, script), 0);
    char buf[64] = {};
    QCOMPARE(::read(pipeFds[0], buf, sizeof buf), ssize_t(8));
    QCOMPARE(QByteArray(buf, 8), QByteArray("out\nerr\n"));
    // Its output and error are the pipe; nothing else of it is, nor this
    // process's own output.
    for (const QString &line : readAll(fds).split('\n', Qt::SkipEmptyParts)) {
        const QString fd = line.section(' ', 0, 0), target = line.section(' ', 1);
        if (fd == "1" || fd == "2")
            QCOMPARE(target, pipeName);
        else if (fd != "0")
            QVERIFY2(target != pipeName && target != ownOutput, qPrintable(line));
    }

    // -1: inherited again; the control's copy is closed, so the pipe ends.
    asControl(m_control)->SetOutput(-1);
    writeScript(script, "own=$(readlink /proc/$$/fd/1)\necho \"$own\" > " + q(fds));
    QCOMPARE(run(m_control, script), 0);
    QCOMPARE(readAll(fds).trimmed(), ownOutput);
    QCOMPARE(::read(pipeFds[0], buf, sizeof buf), ssize_t(0));
    ::close(pipeFds[0]);
}

// Only during a call are orphans handed to this process: a program the rest of
// Setupreel starts detached (System Info) ends without leaving a zombie.
void TestShellAndWaitControl::detachedProgramsOutsideACallLeaveNoZombie()
{
    const QString script = m_dir + "/quick.sh";
    writeScript(script, "exit 0");
    QCOMPARE(run(m_control, script), 0);
    int subreaper = -1;
    QVERIFY(::prctl(PR_GET_CHILD_SUBREAPER, &subreaper, 0, 0, 0) == 0);
    QCOMPARE(subreaper, 0);

    const QString pidFile = m_dir + "/detached.pid";
    qint64 launcher = 0;
    QVERIFY(QProcess::startDetached("/bin/sh", {"-c", "echo $$ > " + q(pidFile) + "; sleep 0.2"}, m_dir, &launcher));
    QTRY_VERIFY_WITH_TIMEOUT(!readAll(pidFile).trimmed().isEmpty(), 5000);
    const QByteArray proc = "/proc/" + readAll(pidFile).trimmed().toLatin1() + "/stat";
    // Gone entirely, not a zombie waiting for this process to reap it.
    QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(QString::fromLatin1(proc)), 5000);
}

void TestShellAndWaitControl::applicationEndingLeavesProgramRunning()
{
    const QString mark = m_dir + "/mark";
    const QString script = m_dir + "/late.sh";
    writeScript(script, "sleep 0.6\necho ran >> " + q(mark));
    QTimer::singleShot(100, [] { QCoreApplication::exit(0); });
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(run(m_control, script), RunTimeError::Interrupted);
    QVERIFY(clock.elapsed() < 500);
    QVERIFY(description(m_control).contains(script));
    // Nothing further is started while the program ends.
    QCOMPARE(run(m_control, script), RunTimeError::Interrupted);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(mark), 5000);
    QTest::qWait(900);
    QCOMPARE(readAll(mark), QString("ran\n"));
}

QTEST_GUILESS_MAIN(TestShellAndWaitControl)
#include "tst_shellandwait_control.moc"
