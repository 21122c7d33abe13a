// How long the user waits at start, seen from outside as the user sees it:
// from the program's start to its start-up window mapped on the X server, and
// to the main window mapped after the check, "Next" being clicked by xdotool
// until it takes (the bar's pauses at zero, and at their shipped length);
// against the smallest Qt program that shows one picture window of the same
// size, started and watched the same way in the same run. The check waits
// for its four 100 ms stage timers whatever it finds, so the main window's
// reference is that program's time plus those 400 ms; xdotool's clicks come
// every 5 ms after the last one's button went up, so the main window's figure
// may be late by about a click. The program runs
// from the build's folder as a user starts it. Needs an X server without a
// window manager (scripts/bench.sh starts Xvfb); argument: rounds (default 5).
#include "BenchSupport.h"
#include "XWatch.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <csignal>
#include <cstdio>

namespace {

const QString StartupTitle = QStringLiteral("Searching Reguest Files");
const QString MainTitle = QStringLiteral("Setupreel");

// Next's place in the start-up window: its left end, where the main window
// shown after it has nothing to click (clicks still coming land there).
const QPoint NextButton(308, 252);

// What the check waits whatever it finds: its four stage timers.
constexpr double StageTimersMs = 4 * 100;

struct Times
{
    double shown = -1; // ms from start to the first window mapped
    double main = -1;  // ms from start to the main window mapped
};

// One start of program; with a pause (-1: the shipped one), Next is clicked
// until the main window is up.
Times runOnce(XWatch &x, const QString &program, const QStringList &args, const QString &title, int pauseMs = -2)
{
    QProcessEnvironment env = userEnvironment();
    if (pauseMs >= 0)
        env.insert(QStringLiteral("SETUPREEL_PAUSE_MS"), QString::number(pauseMs));
    QProcess started;
    started.setProcessEnvironment(env);
    started.setStandardOutputFile(QProcess::nullDevice());
    started.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    started.start(program, args);
    Times t;
    const xcb_window_t window = x.waitMapped(title, 30000, clock, &t.shown);
    const int pid = window ? x.pid(window) : -1;
    if (window && pauseMs > -2) {
        QProcess clicker;
        clicker.start(QStringLiteral("xdotool"),
                      {QStringLiteral("mousemove"), QString::number(x.origin(window).x() + NextButton.x()),
                       QString::number(x.origin(window).y() + NextButton.y()), QStringLiteral("click"),
                       QStringLiteral("--repeat"), QStringLiteral("100000"), QStringLiteral("--delay"),
                       QStringLiteral("5"), QStringLiteral("1")});
        x.waitMapped(MainTitle, 30000, clock, &t.main);
        clicker.kill();
        clicker.waitForFinished(5000);
    }
    // A program that restarted itself runs on under another id.
    if (pid > 0 && pid != started.processId())
        ::kill(pid, SIGKILL);
    started.kill();
    started.waitForFinished(5000);
    return t;
}

}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? qMax(1, atoi(argv[1])) : 5;
    XWatch x;
    if (!x.ok()) {
        std::fprintf(stderr, "no X server: run it under Xvfb (scripts/bench.sh does)\n");
        return 1;
    }
    const QString folder = QStringLiteral(SETUPREEL_BUILD_APP_DIR);
    const QString program = folder + QStringLiteral("/setupreel");
    const QString reference = QStringLiteral(BENCH_PICTURE_WINDOW);
    const QStringList picture{folder + QStringLiteral("/Begining.jpg")};

    // Warms the file cache; a first start also writes the manifest and restarts.
    runOnce(x, reference, picture, QStringLiteral("Picture window"));
    if (runOnce(x, program, {}, StartupTitle, 0).main < 0) {
        std::fprintf(stderr, "the program did not reach its main window\n");
        return 1;
    }

    QList<double> referenceShown, shown, mainZero, mainShipped;
    for (int r = 0; r < rounds; ++r) {
        const Times ref = runOnce(x, reference, picture, QStringLiteral("Picture window"));
        const Times zero = runOnce(x, program, {}, StartupTitle, 0);
        const Times shipped = runOnce(x, program, {}, StartupTitle, -1);
        if (ref.shown < 0 || zero.main < 0 || shipped.main < 0) {
            std::fprintf(stderr, "a window did not come up\n");
            return 1;
        }
        referenceShown << ref.shown;
        shown << zero.shown << shipped.shown;
        mainZero << zero.main;
        mainShipped << shipped.main;
    }
    const double ref = median(referenceShown), first = median(shown), zero = median(mainZero),
                 shipped = median(mainShipped);
    std::printf("start-up seen on the X server: %d rounds, medians; the picture window: %.1f ms\n", rounds, ref);
    const QString against = QStringLiteral("start to a one-picture Qt window mapped");
    printRatio(QStringLiteral("Start to the start-up window shown"), against, first, ref, 1.5);
    printRatio(QStringLiteral("Start to the main window after the check, no pause"),
               against + QStringLiteral(" + the check's four 100 ms stage timers"), zero, ref + StageTimersMs, 1.5);
    printFigure(QStringLiteral("Start to the main window, shipped pauses"), against,
                QStringLiteral("%1 ms (pauses: %2 ms)").arg(shipped, 0, 'f', 1).arg(shipped - zero, 0, 'f', 1));
    return 0;
}
