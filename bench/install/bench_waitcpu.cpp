// Processor use of the real program as a user runs it: the binary of the
// build's folder started with a list under an X server, its windows watched
// from outside and clicked through xdotool. Measured, each for the same time:
// the start-up window up after its check, the main window after "Next", the
// list editor after Point, then the main window while a native setup runs and
// while a Windows setup runs under Wine. Only the program's own process is
// counted, not the setups. Prints each figure in percent of one core (targets:
// an idle window under 1%, a running setup at most 0.5 over the idle main
// window). Needs an X server without a window manager (scripts/bench.sh starts
// Xvfb); argument: the seconds each measurement lasts (default 10).
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

// Percent of one core the process used over the coming seconds; -1 when it
// ended meanwhile.
double percentOver(int pid, int seconds)
{
    QElapsedTimer t;
    t.start();
    const double before = processorSeconds(pid);
    QThread::sleep(seconds);
    const double after = processorSeconds(pid);
    if (before < 0 || after < 0)
        return -1;
    return 100.0 * (after - before) / (t.nsecsElapsed() / 1e9);
}

QString percent(double p) { return QStringLiteral("%1% of a core").arg(p, 0, 'f', 2); }

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

    Session s(x);
    const QString program = QStringLiteral(SETUPREEL_BUILD_APP_DIR "/setupreel");
    if (!s.start(program, {listPath}, env, QStringLiteral("Searching Reguest Files")))
        return 1;
    std::printf("processor use of the real program, %d s each, under %s\n", seconds, qgetenv("DISPLAY").constData());
    // The check with its shipped pauses is over well before this.
    QThread::sleep(5);
    const double startup = percentOver(s.pid(), seconds);
    if (!s.clickTo(NextButton, QStringLiteral("Setupreel")))
        return 1;
    QThread::sleep(1);
    const double main = percentOver(s.pid(), seconds);
    if (!s.clickTo(PointButton, QStringLiteral("Point To Setup Files")))
        return 1;
    QThread::sleep(1);
    const double editor = percentOver(s.pid(), seconds);
    if (!s.clickTo(EditorExit, QStringLiteral("Setupreel")))
        return 1;
    QThread::sleep(1);
    s.click(InstallButton);
    if (!waitForProcess(native.toUtf8(), 10000)) {
        std::fprintf(stderr, "the native setup did not start\n");
        return 1;
    }
    const double nativeRun = percentOver(s.pid(), seconds);
    double wineRun = -1;
    if (wine && waitForProcess("slow.exe", 60000)) {
        QThread::sleep(1);
        wineRun = percentOver(s.pid(), seconds);
    }

    const QString target = QStringLiteral("< 1% of a core");
    printResult(QStringLiteral("Idle, start-up window after its check"), QStringLiteral("— (absolute)"),
                percent(startup), target, startup >= 0 && startup < 1);
    printResult(QStringLiteral("Idle, main window"), QStringLiteral("— (absolute)"), percent(main), target,
                main >= 0 && main < 1);
    printResult(QStringLiteral("Idle, list editor (10 ms refresh tick)"), QStringLiteral("— (absolute)"),
                percent(editor), target, editor >= 0 && editor < 1);
    const QString over = QStringLiteral("idle main window (%1)").arg(percent(main));
    printResult(QStringLiteral("While a native setup runs"), over, percent(nativeRun), QStringLiteral("≤ +0.5"),
                nativeRun >= 0 && nativeRun - main <= 0.5);
    if (wineRun >= 0)
        printResult(QStringLiteral("While a Windows setup runs under Wine"), over, percent(wineRun),
                    QStringLiteral("≤ +0.5"), wineRun - main <= 0.5);
    else
        std::printf("  Windows setup under Wine: not measured (makensis or wine missing, or it did not start)\n");
    if (wine)
        QProcess::execute(QStringLiteral("wineserver"), {QStringLiteral("-k")});
    return 0;
}
