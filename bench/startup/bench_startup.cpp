// SPDX-License-Identifier: GPL-3.0-or-later
// How long the user waits at start, and what the program costs once it waits
// for the user, seen from outside as the user sees it:
// - from the program's start to its start-up window mapped on the X server,
//   against the smallest Qt program showing the same picture, text and button
//   in a window of the same size, started and watched the same way in the same
//   run, one program at a time;
// - from the start to "Next" taking, as shipped (the bar's pauses at their
//   shipped length): "Next" is clicked by xdotool every 5 ms after the last
//   click's button went up until the main window is mapped, so the figure
//   holds up to a click and the main window's own creation more than the wait;
// - processor time and wake-ups (context switches of all its threads) while
//   the start-up window waits after its check, and while the main window is
//   shown with the start-up window hidden behind it;
// - peak memory (VmHWM) at the main window against that program, and against
//   it showing only the picture.
// The program runs from the build's folder as a user starts it. Needs an X
// server without a window manager (scripts/bench.sh starts Xvfb); arguments:
// rounds (default 5; three times as many for the first window), seconds of
// each idle measurement (default 5).
#include "BenchSupport.h"
#include "XWatch.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <memory>

namespace {

const QString StartupTitle = QStringLiteral("Searching Reguest Files");
const QString MainTitle = QStringLiteral("Setupreel");
const QString ReferenceTitle = QStringLiteral("Picture window");

// Next's place in the start-up window: its left end, where the main window
// shown after it has nothing to click (clicks still coming land there).
const QPoint NextButton(308, 252);

constexpr double NextTargetMs = 700;
constexpr double IdleCpuTarget = 0.1; // % of a core
constexpr double IdleWakeTarget = 5;  // per second
constexpr double PeakTarget = 1.2;

QByteArray readProc(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A "Name:  value kB" line of a status file.
qint64 statusValue(const QByteArray &status, const QByteArray &name)
{
    for (const QByteArray &line : status.split('\n')) {
        if (line.startsWith(name + ':'))
            return line.mid(name.size() + 1).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Processor time (ns) and context switches of all the process's threads.
struct Usage
{
    double ns = 0;
    qint64 switches = 0;
};

Usage usage(int pid)
{
    Usage u;
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString &t : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        u.ns += readProc(tasks + QLatin1Char('/') + t + QStringLiteral("/schedstat")).split(' ').value(0).toDouble();
        const QByteArray status = readProc(tasks + QLatin1Char('/') + t + QStringLiteral("/status"));
        u.switches +=
                statusValue(status, "voluntary_ctxt_switches") + statusValue(status, "nonvoluntary_ctxt_switches");
    }
    return u;
}

// A program started as a user starts it and watched until its first window
// with the given title is mapped.
struct Started
{
    std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
    int pid = -1;      // the window's process (a restarted program runs under another id)
    double shown = -1; // ms from start to the window mapped
    xcb_window_t window = 0;
    QElapsedTimer clock;

    ~Started()
    {
        if (pid > 0 && pid != process->processId())
            ::kill(pid, SIGKILL);
        process->kill();
        process->waitForFinished(5000);
    }
};

std::unique_ptr<Started> start(XWatch &x, const QString &program, const QStringList &args, const QString &title)
{
    auto s = std::make_unique<Started>();
    s->process->setProcessEnvironment(userEnvironment());
    s->process->setStandardOutputFile(QProcess::nullDevice());
    s->process->setStandardErrorFile(QProcess::nullDevice());
    s->clock.start();
    s->process->start(program, args);
    s->window = x.waitMapped(title, 30000, s->clock, &s->shown);
    s->pid = s->window ? x.pid(s->window) : -1;
    return s;
}

// Clicks Next until the main window is mapped; ms from the start, -1 if never.
double nextIntoMain(XWatch &x, Started &s)
{
    QProcess clicker;
    clicker.start(QStringLiteral("xdotool"),
                  {QStringLiteral("mousemove"), QString::number(x.origin(s.window).x() + NextButton.x()),
                   QString::number(x.origin(s.window).y() + NextButton.y()), QStringLiteral("click"),
                   QStringLiteral("--repeat"), QStringLiteral("100000"), QStringLiteral("--delay"), QStringLiteral("5"),
                   QStringLiteral("1")});
    double at = -1;
    x.waitMapped(MainTitle, 30000, s.clock, &at);
    clicker.kill();
    clicker.waitForFinished(5000);
    return at;
}

struct Idle
{
    double percent = -1;
    double wakeups = -1;
};

Idle idleOver(int pid, double seconds)
{
    const Usage before = usage(pid);
    QElapsedTimer t;
    t.start();
    QThread::msleep(ulong(seconds * 1000));
    const Usage after = usage(pid);
    const double s = t.nsecsElapsed() / 1e9;
    return Idle{(after.ns - before.ns) / (s * 1e9) * 100, (after.switches - before.switches) / s};
}

qint64 peakKb(int pid) { return statusValue(readProc(QStringLiteral("/proc/%1/status").arg(pid)), "VmHWM"); }

void printIdle(const QString &benchmark, const Idle &idle)
{
    printResult(
            benchmark, QStringLiteral("— (absolute)"),
            QStringLiteral("%1% of a core, %2 wake-ups/s").arg(idle.percent, 0, 'f', 3).arg(idle.wakeups, 0, 'f', 1),
            QStringLiteral("≤ %1% and ≤ %2/s").arg(IdleCpuTarget).arg(IdleWakeTarget),
            idle.percent >= 0 && idle.percent <= IdleCpuTarget && idle.wakeups <= IdleWakeTarget);
}

}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? qMax(1, atoi(argv[1])) : 5;
    const double idleSeconds = argc > 2 ? qMax(1.0, atof(argv[2])) : 5.0;
    XWatch x;
    if (!x.ok()) {
        std::fprintf(stderr, "no X server: run it under Xvfb (scripts/bench.sh does)\n");
        return 1;
    }
    const QString folder = QStringLiteral(SETUPREEL_BUILD_APP_DIR);
    const QString program = folder + QStringLiteral("/setupreel");
    const QString reference = QStringLiteral(BENCH_PICTURE_WINDOW);
    const QString picture = folder + QStringLiteral("/Begining.jpg");

    // Warms the file cache; a first start also writes the manifest and restarts.
    start(x, reference, {picture}, ReferenceTitle);
    {
        auto first = start(x, program, {}, StartupTitle);
        if (!first->window || nextIntoMain(x, *first) < 0) {
            std::fprintf(stderr, "the program did not reach its main window\n");
            return 1;
        }
    }

    // The first window: quick rounds, each program ended once it is mapped.
    QList<double> referenceShown, shown;
    for (int r = 0; r < 3 * rounds; ++r) {
        // One at a time: a program still painting would slow the other.
        for (const bool own : {false, true}) {
            auto s = own ? start(x, program, {}, StartupTitle) : start(x, reference, {picture}, ReferenceTitle);
            if (!s->window) {
                std::fprintf(stderr, "a first window did not come up\n");
                return 1;
            }
            (own ? shown : referenceShown) << s->shown;
        }
    }

    QList<double> next, referencePeak, textPeak, peak;
    for (int r = 0; r < rounds; ++r) {
        for (const bool pictureOnly : {true, false}) {
            QStringList args{picture};
            if (pictureOnly)
                args.prepend(QStringLiteral("--picture-only"));
            auto ref = start(x, reference, args, ReferenceTitle);
            QThread::msleep(500);
            (pictureOnly ? referencePeak : textPeak) << double(peakKb(ref->pid));
        }
        auto s = start(x, program, {}, StartupTitle);
        const double main = s->window ? nextIntoMain(x, *s) : -1;
        if (main < 0) {
            std::fprintf(stderr, "a window did not come up\n");
            return 1;
        }
        QThread::msleep(500);
        next << main;
        peak << double(peakKb(s->pid));
    }

    // Idle: the start-up window well after its check, then the main window.
    Idle startupIdle, mainIdle;
    {
        auto s = start(x, program, {}, StartupTitle);
        if (!s->window) {
            std::fprintf(stderr, "the start-up window did not come up\n");
            return 1;
        }
        QThread::msleep(2000);
        startupIdle = idleOver(s->pid, idleSeconds);
        if (nextIntoMain(x, *s) < 0) {
            std::fprintf(stderr, "the main window did not come up\n");
            return 1;
        }
        QThread::msleep(1000);
        mainIdle = idleOver(s->pid, idleSeconds);
    }

    const double ref = median(referenceShown), first = median(shown), clickable = median(next);
    const double refPeak = median(referencePeak), refTextPeak = median(textPeak), ownPeak = median(peak);
    std::printf("start-up seen on the X server: %d and %d rounds, medians; the picture window: %.1f ms\n", 3 * rounds,
                rounds, ref);
    const QString sameWindow = QStringLiteral("a Qt window with the same picture, text and button");
    printRatio(QStringLiteral("Start to the start-up window shown"),
               QStringLiteral("start to ") + sameWindow + QStringLiteral(" mapped"), first, ref, 1.15);
    printResult(QStringLiteral("Start to Next taking, shipped pauses"), QStringLiteral("— (absolute)"),
                QStringLiteral("%1 ms").arg(clickable, 0, 'f', 1),
                QStringLiteral("≤ %1 ms").arg(NextTargetMs, 0, 'f', 0), clickable <= NextTargetMs);
    printIdle(QStringLiteral("Idle, start-up window after its check"), startupIdle);
    printIdle(QStringLiteral("Idle, main window shown, start-up window hidden"), mainIdle);
    const auto peakFigure = [&](double against) {
        return QStringLiteral("%1 MB / %2 MB = %3×")
                .arg(ownPeak / 1024, 0, 'f', 1)
                .arg(against / 1024, 0, 'f', 1)
                .arg(ownPeak / against, 0, 'f', 2);
    };
    printResult(QStringLiteral("Peak memory at the main window"), QStringLiteral("the peak (VmHWM) of ") + sameWindow,
                peakFigure(refTextPeak), QStringLiteral("≤ %1×").arg(PeakTarget, 0, 'f', 2),
                ownPeak / refTextPeak <= PeakTarget);
    printResult(QStringLiteral("Peak memory at the main window"),
                QStringLiteral("the peak (VmHWM) of a Qt window with only the same picture"), peakFigure(refPeak),
                QStringLiteral("≤ %1×").arg(PeakTarget, 0, 'f', 2), ownPeak / refPeak <= PeakTarget);
    return 0;
}
