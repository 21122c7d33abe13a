// How long the start-up check keeps the user from the main window: the time
// from the program's start to "Loading successful." with the bar's pauses at
// their shipped length and at zero, against the time to its first window as
// reference. The program runs headless from a copy of the build's folder and
// reports its states into a file that this bench watches.
#include "BenchSupport.h"
#include "AppFolderCopy.h"
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>

namespace {

struct Times
{
    double shown = -1; // ms from start to the first window
    double ready = -1; // ms from start to "Loading successful."
};

// One start; pauseMs < 0 keeps the shipped pause.
Times runOnce(const QString &folder, const QString &report, int pauseMs)
{
    QFile::remove(report);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("SETUPREEL_REPORT_FILE"), report);
    env.remove(QStringLiteral("SETUPREEL_SYSTEM_DIR"));
    if (pauseMs >= 0)
        env.insert(QStringLiteral("SETUPREEL_PAUSE_MS"), QString::number(pauseMs));
    else
        env.remove(QStringLiteral("SETUPREEL_PAUSE_MS"));

    QProcess program;
    program.setProcessEnvironment(env);
    program.setStandardOutputFile(QProcess::nullDevice());
    program.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    program.start(folder + QStringLiteral("/setupreel"), {});
    Times t;
    while (clock.elapsed() < 30000 && t.ready < 0) {
        QFile f(report);
        if (f.open(QIODevice::ReadOnly)) {
            const QByteArray lines = f.readAll();
            const double now = clock.nsecsElapsed() / 1e6;
            if (t.shown < 0 && lines.contains("Form4 shown"))
                t.shown = now;
            if (lines.contains("Form4 ready"))
                t.ready = now;
            if (lines.contains("Form4 failed"))
                break;
        }
        QThread::usleep(200);
    }
    program.kill();
    program.waitForFinished(5000);
    return t;
}

}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? qMax(1, atoi(argv[1])) : 5;

    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("setupreel"));
    if (!copyAppFolder(QStringLiteral(SETUPREEL_BUILD_APP_DIR), folder)) {
        std::fprintf(stderr, "cannot copy %s\n", SETUPREEL_BUILD_APP_DIR);
        return 1;
    }
    const QString report = dir.filePath(QStringLiteral("report"));
    {
        // A manifest present: no start restarts, so the instance measured is the one started.
        QFile manifest(folder + QStringLiteral("/setupreel.exe.manifest"));
        if (!manifest.open(QIODevice::WriteOnly)) {
            std::fprintf(stderr, "cannot write the manifest\n");
            return 1;
        }
    }
    runOnce(folder, report, 0); // warms the file cache

    struct Mode
    {
        const char *name;
        int pauseMs;
    };
    const Mode modes[] = {{"shipped pause", -1}, {"zero pause", 0}};
    QList<double> shown, readyShipped, readyZero;
    for (int r = 0; r < rounds; ++r) {
        for (const Mode &m : modes) {
            const Times t = runOnce(folder, report, m.pauseMs);
            if (t.ready < 0) {
                std::fprintf(stderr, "%s: the check did not succeed\n", m.name);
                return 1;
            }
            shown << t.shown;
            (m.pauseMs < 0 ? readyShipped : readyZero) << t.ready;
        }
    }
    const double s = median(shown), rs = median(readyShipped), rz = median(readyZero);
    std::printf("startup: %d rounds, medians\n", rounds);
    std::printf("  start to first window shown        %8.1f ms (reference)\n", s);
    std::printf("  start to \"Loading successful.\"     %8.1f ms with the shipped pause (%.2fx)\n", rs, rs / s);
    std::printf("  start to \"Loading successful.\"     %8.1f ms with no pause      (%.2fx)\n", rz, rz / s);
    std::printf("  pauses account for                 %8.1f ms\n", rs - rz);
    return 0;
}
