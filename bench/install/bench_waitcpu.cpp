// SPDX-License-Identifier: GPL-3.0-or-later
// Processor use and wake-ups of the real program as a user runs it: the binary
// of the build's folder started with a list under an X server, its windows
// watched from outside and clicked and typed at through xdotool. Measured, each
// for the same time: the start-up window up after its check, the main window
// after "Next", the list editor after Point, empty and with 32,767 rows loaded
// by "Load saved list", then the main window while a native setup runs and
// while a Windows setup runs under Wine. Only the program's own process is
// counted (all its threads), not the setups. Wake-ups are the process's context
// switches. The reference, measured in the same run: a bare Qt window playing
// the editor's animated picture, which is all an idle editor may cost beyond an
// idle main window. Targets: an idle window at most 0.1% of a core and 5
// wake-ups a second, the editor at most 0.3% and the reference's wake-ups plus
// 5; a running setup at most 0.5 over the idle main window. Needs an X server
// without a window manager (scripts/bench.sh starts Xvfb); argument: the
// seconds each measurement lasts (default 10).
#include "BenchSupport.h"
#include "XWatch.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <cstdio>

namespace {

// Where the clicks go, in window coordinates.
const QPoint NextButton(340, 252); // the start-up window's "Next"
const QPoint PointButton(515, 97); // the main window's Point
const QPoint InstallButton(515, 209);
const QPoint EditorExit(540, 144);
const QPoint EditorLoad(540, 128); // "Load saved list"

// A 64-bit NSIS installer that waits the given milliseconds; empty when
// makensis is missing or fails.
QString buildWaitingInstaller(const QTemporaryDir &dir, const QString &name, int ms)
{
    const QString makensis = QStandardPaths::findExecutable(QStringLiteral("makensis"));
    if (makensis.isEmpty())
        return QString();
    const QString nsi = dir.filePath(name + QLatin1String(".nsi"));
    const QByteArray script = "Unicode true\nTarget amd64-unicode\nOutFile \"" + name.toUtf8()
                              + ".exe\"\nSilentInstall silent\nRequestExecutionLevel user\nSection\nSleep "
                              + QByteArray::number(ms) + "\nSectionEnd\n";
    if (!writeFile(nsi, script))
        return QString();
    QProcess p;
    p.setWorkingDirectory(dir.path());
    p.start(makensis, {QStringLiteral("-V1"), nsi});
    if (!p.waitForFinished(120000) || p.exitCode() != 0)
        return QString();
    return dir.filePath(name + QLatin1String(".exe"));
}

// Waits until a process whose command line holds needle runs.
bool waitForProcess(const QByteArray &needle, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs) {
        QDirIterator it(QStringLiteral("/proc"), QDir::Dirs | QDir::NoDotAndDotDot);
        while (it.hasNext()) {
            QFile f(it.next() + QStringLiteral("/cmdline"));
            if (f.open(QIODevice::ReadOnly) && f.readAll().contains(needle))
                return true;
        }
        QThread::msleep(50);
    }
    return false;
}

// Summed over the process's threads: the nanoseconds they ran (the first
// field of schedstat: finer than the clock ticks of stat, which a tenth of a
// percent over ten seconds is one of) and their context switches so far.
// Negative once the process has gone.
struct Counters
{
    qint64 ranNs = -1;
    qint64 switches = -1;
};

Counters counters(int pid)
{
    Counters c;
    QDirIterator tasks(QStringLiteral("/proc/%1/task").arg(pid), QDir::Dirs | QDir::NoDotAndDotDot);
    while (tasks.hasNext()) {
        const QString task = tasks.next();
        QFile sched(task + QStringLiteral("/schedstat"));
        QFile status(task + QStringLiteral("/status"));
        if (!sched.open(QIODevice::ReadOnly) || !status.open(QIODevice::ReadOnly))
            continue; // a thread that just ended
        if (c.ranNs < 0)
            c = Counters{0, 0};
        c.ranNs += sched.readAll().split(' ').value(0).toLongLong();
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("voluntary_ctxt_switches:") || line.startsWith("nonvoluntary_ctxt_switches:"))
                c.switches += line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
        }
    }
    return c;
}

struct Load
{
    double percent = -1; // of one core; -1 when the process ended meanwhile
    double wakeups = -1; // a second
    bool ok() const { return percent >= 0 && wakeups >= 0; }
    QString text() const
    {
        return QStringLiteral("%1% of a core, %2 wake-ups/s").arg(percent, 0, 'f', 3).arg(wakeups, 0, 'f', 1);
    }
};

// What the process costs over the coming seconds.
Load loadOver(int pid, int seconds)
{
    QElapsedTimer t;
    t.start();
    const Counters before = counters(pid);
    QThread::sleep(seconds);
    const Counters after = counters(pid);
    const double elapsed = t.nsecsElapsed() / 1e9;
    Load load;
    if (before.ranNs < 0 || after.ranNs < 0)
        return load;
    load.percent = 100.0 * (after.ranNs - before.ranNs) / 1e9 / elapsed;
    load.wakeups = (after.switches - before.switches) / elapsed;
    return load;
}

QString percent(double p) { return QStringLiteral("%1% of a core").arg(p, 0, 'f', 2); }

// Keys typed into the focused window through xdotool, as the user's would be.
bool typeText(const QString &text)
{
    return QProcess::execute(QStringLiteral("xdotool"),
                             {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("5"), text})
           == 0;
}

bool pressKey(const QString &key)
{
    return QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), key}) == 0;
}

class Session
{
public:
    explicit Session(XWatch &x) : m_x(x) { m_clock.start(); }
    ~Session()
    {
        if (m_pid > 0)
            ::kill(m_pid, SIGKILL);
        m_started.kill();
        m_started.waitForFinished(5000);
    }

    bool start(const QString &program, const QStringList &args, const QProcessEnvironment &env, const QString &title)
    {
        m_started.setProcessEnvironment(env);
        m_started.setStandardOutputFile(QProcess::nullDevice());
        m_started.setStandardErrorFile(QProcess::nullDevice());
        m_started.start(program, args);
        return await(title);
    }
    // Clicks a point of the current window and waits for the window titled so.
    bool clickTo(const QPoint &at, const QString &title) { return clickAt(m_x.origin(m_window) + at) && await(title); }
    bool click(const QPoint &at) { return clickAt(m_x.origin(m_window) + at); }
    // Waits for another window of the program (a dialog) and makes it the
    // current one; setCurrent returns to the one before.
    bool awaitWindow(const QString &title) { return await(title); }
    xcb_window_t current() const { return m_window; }
    void setCurrent(xcb_window_t window) { m_window = window; }
    int pid() const { return m_pid; }

private:
    bool await(const QString &title)
    {
        m_window = m_x.waitMapped(title, 30000, m_clock);
        // The program that restarted itself after writing its manifest runs
        // on under another id; the window tells which.
        if (m_window && m_pid <= 0)
            m_pid = m_x.pid(m_window);
        if (!m_window)
            std::fprintf(stderr, "the window \"%s\" did not come up\n", qPrintable(title));
        return m_window != 0;
    }

    XWatch &m_x;
    QElapsedTimer m_clock;
    QProcess m_started;
    xcb_window_t m_window = 0;
    int m_pid = -1;
};

} // namespace

// Loads a list file into the editor as the user does: "Load saved list", the
// name typed into the file dialog, the message box that follows answered.
bool loadIntoEditor(Session &s, const QString &path)
{
    const xcb_window_t editor = s.current();
    if (!s.click(EditorLoad) || !s.awaitWindow(QStringLiteral("Open")))
        return false;
    QThread::msleep(500); // the dialog has its name box focused
    if (!typeText(path) || !pressKey(QStringLiteral("Return")))
        return false;
    const bool told = s.awaitWindow(QStringLiteral("Information"));
    if (told) {
        QThread::msleep(300);
        pressKey(QStringLiteral("Return"));
    }
    s.setCurrent(editor);
    return told;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? qMax(1, atoi(argv[1])) : 10;
    XWatch x;
    if (!x.ok()) {
        std::fprintf(stderr, "no X server: run it under Xvfb (scripts/bench.sh does)\n");
        return 1;
    }
    QTemporaryDir dir;
    QProcessEnvironment env = userEnvironment();
    env.insert(QStringLiteral("XDG_STATE_HOME"), dir.filePath(QStringLiteral("state")));
    env.insert(QStringLiteral("WINEPREFIX"), dir.filePath(QStringLiteral("prefix")));
    env.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));

    // Each setup outlasts its measurement.
    const QString native = dir.filePath(QStringLiteral("native-setup.sh"));
    QByteArray list = ">bench\r\n" + native.toUtf8() + "\r\n";
    writeFile(native, "#!/bin/sh\nsleep " + QByteArray::number(seconds + 3) + "\n", true);
    const QString quick = buildWaitingInstaller(dir, QStringLiteral("quick"), 0);
    const QString slow = buildWaitingInstaller(dir, QStringLiteral("slow"), (seconds + 5) * 1000);
    const bool wine =
            !quick.isEmpty() && !slow.isEmpty() && !QStandardPaths::findExecutable(QStringLiteral("wine")).isEmpty();
    if (wine) {
        // The prefix is made by the first start; that is not what is measured.
        QProcess first;
        first.setProcessEnvironment(env);
        first.start(QStringLiteral("wine"), {quick});
        first.waitForFinished(300000);
        list += slow.toUtf8() + "\r\n";
    }
    const QString listPath = dir.filePath(QStringLiteral("bench.SR"));
    if (!writeFile(listPath, list))
        return 1;

    // 32,767 rows for the editor: the title and as many programs as fit.
    QByteArray big = ">big\r\n";
    for (int i = 1; i < 32767; ++i)
        big += "/srv/setups/program " + QByteArray::number(i) + "/setup.sh /S\r\n";
    const QString bigPath = dir.filePath(QStringLiteral("big.SR"));
    if (!writeFile(bigPath, big))
        return 1;

    // The reference: a bare Qt window playing the editor's animated picture.
    Load reference;
    {
        Session r(x);
        if (!r.start(QStringLiteral(SETUPREEL_BENCH_REFERENCE), {QStringLiteral(SETUPREEL_BUILD_APP_DIR "/busy.gif")},
                     env, QStringLiteral("Animated picture")))
            return 1;
        QThread::sleep(1);
        reference = loadOver(r.pid(), seconds);
    }

    Session s(x);
    const QString program = QStringLiteral(SETUPREEL_BUILD_APP_DIR "/setupreel");
    if (!s.start(program, {listPath}, env, QStringLiteral("Searching Reguest Files")))
        return 1;
    std::printf("processor use and wake-ups of the real program, %d s each, under %s\n", seconds,
                qgetenv("DISPLAY").constData());
    // The check with its shipped pauses is over well before this.
    QThread::sleep(5);
    const Load startup = loadOver(s.pid(), seconds);
    if (!s.clickTo(NextButton, QStringLiteral("Setupreel")))
        return 1;
    QThread::sleep(1);
    const Load main = loadOver(s.pid(), seconds);
    if (!s.clickTo(PointButton, QStringLiteral("Point To Setup Files")))
        return 1;
    QThread::sleep(1);
    const Load editor = loadOver(s.pid(), seconds);
    if (!loadIntoEditor(s, bigPath)) {
        std::fprintf(stderr, "the list of 32,767 rows did not load into the editor\n");
        return 1;
    }
    QThread::sleep(2);
    const Load fullEditor = loadOver(s.pid(), seconds);
    if (!s.clickTo(EditorExit, QStringLiteral("Setupreel")))
        return 1;
    QThread::sleep(1);
    s.click(InstallButton);
    if (!waitForProcess(native.toUtf8(), 10000)) {
        std::fprintf(stderr, "the native setup did not start\n");
        return 1;
    }
    const double nativeRun = loadOver(s.pid(), seconds).percent;
    double wineRun = -1;
    if (wine && waitForProcess("slow.exe", 60000)) {
        QThread::sleep(1);
        wineRun = loadOver(s.pid(), seconds).percent;
    }

    const auto idle = [](const Load &l) { return l.ok() && l.percent <= 0.1 && l.wakeups <= 5; };
    const QString idleTarget = QStringLiteral("≤ 0.1% of a core, ≤ 5 wake-ups/s");
    printResult(QStringLiteral("Idle, start-up window after its check"), QStringLiteral("— (absolute)"), startup.text(),
                idleTarget, idle(startup));
    printResult(QStringLiteral("Idle, main window"), QStringLiteral("— (absolute)"), main.text(), idleTarget,
                idle(main));
    // The editor may wake for its animated picture's frames, no more.
    const QString pictureOnly = QStringLiteral("a Qt window playing busy.gif: %1").arg(reference.text());
    const QString editorTarget = QStringLiteral("≤ 0.3% of a core, ≤ the reference's wake-ups + 5");
    const auto editorIdle = [&](const Load &l) {
        return l.ok() && reference.ok() && l.percent <= 0.3 && l.wakeups <= reference.wakeups + 5;
    };
    printResult(QStringLiteral("Idle, list editor, empty"), pictureOnly, editor.text(), editorTarget,
                editorIdle(editor));
    printResult(QStringLiteral("Idle, list editor, 32,767 rows"), pictureOnly, fullEditor.text(), editorTarget,
                editorIdle(fullEditor));
    const QString over = QStringLiteral("idle main window (%1)").arg(percent(main.percent));
    printResult(QStringLiteral("While a native setup runs"), over, percent(nativeRun), QStringLiteral("≤ +0.5"),
                nativeRun >= 0 && nativeRun - main.percent <= 0.5);
    if (wineRun >= 0)
        printResult(QStringLiteral("While a Windows setup runs under Wine"), over, percent(wineRun),
                    QStringLiteral("≤ +0.5"), wineRun - main.percent <= 0.5);
    else
        std::printf("  Windows setup under Wine: not measured (makensis or wine missing, or it did not start)\n");
    if (wine)
        QProcess::execute(QStringLiteral("wineserver"), {QStringLiteral("-k")});
    return 0;
}
