// Processor use of Setupreel while it waits for an installer, over its idle
// use with the same main window shown, measured in the same run: a native
// setup and a Windows setup under Wine, each running for the same time.
// Prints each figure in percent of one core (target: at most 0.5 over idle).
// Run it with QT_QPA_PLATFORM=offscreen, or under a display. Argument: the
// seconds each measurement lasts (default 30).
#include "BenchSupport.h"
#include "common/Seams.h"
#include "install/Form2.h"
#include "install/InstallRun.h"
#include "ui/Program.h"
#include "ui/Windows.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <sys/resource.h>

namespace {

double processorSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Use
{
    double wall = 0;
    double cpu = 0;
    double percent() const { return wall > 0 ? 100.0 * cpu / wall : 0; }
};

template<typename F>
Use measure(F &&work)
{
    QElapsedTimer t;
    t.start();
    const double before = processorSeconds();
    work();
    return {t.nsecsElapsed() / 1e9, processorSeconds() - before};
}

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

void report(const char *what, const Use &use, const Use &idle)
{
    const double over = use.percent() - idle.percent();
    std::printf("  %-28s: %6.3f s processor in %6.2f s = %.3f%% of a core, %+.3f%% over idle  %s\n", what,
                use.cpu, use.wall, use.percent(), over, over <= 0.5 ? "(met: at most 0.5)" : "(MISSED: at most 0.5)");
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? atoi(argv[1]) : 30;
    QTemporaryDir dir;
    qputenv("XDG_STATE_HOME", dir.filePath(QStringLiteral("state")).toUtf8());
    qputenv("WINEPREFIX", dir.filePath(QStringLiteral("prefix")).toUtf8());
    qputenv("WINEDEBUG", "-all");

    Seams::setAppDir(QStringLiteral(SETUPREEL_BUILD_APP_DIR));
    Program::applyWindowFont();
    Form2 *w = Windows::show<Form2>();
    if (!w->ShellAndWait1) {
        std::fprintf(stderr, "the run-and-wait control did not load\n");
        return 1;
    }

    const QString native = dir.filePath(QStringLiteral("native-setup.sh"));
    writeFile(native, "#!/bin/sh\nsleep " + QByteArray::number(seconds) + "\n", true);

    const Use idle = measure([seconds] {
        QEventLoop loop;
        QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
        loop.exec();
    });
    const Use nativeUse = measure([&] { runAndWaitOn(w->ShellAndWait1, native); });

    std::printf("processor use of Setupreel while a setup runs for %d s\n", seconds);
    report("idle, main window shown", idle, idle);
    report("native setup", nativeUse, idle);

    const QString quick = buildWaitingInstaller(dir, QStringLiteral("quick"), 0);
    const QString slow = buildWaitingInstaller(dir, QStringLiteral("slow"), seconds * 1000);
    if (quick.isEmpty() || slow.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("wine")).isEmpty()) {
        std::printf("  Windows setup under Wine     : not measured (makensis or wine missing)\n");
    } else {
        // The prefix is made by the first start; that is not what is measured.
        runAndWaitOn(w->ShellAndWait1, quick);
        const Use wineUse = measure([&] { runAndWaitOn(w->ShellAndWait1, slow); });
        report("Windows setup under Wine", wineUse, idle);
        // The bench's prefix goes with its folder: its server first.
        QProcess::execute(QStringLiteral("wineserver"), {QStringLiteral("-k")});
    }
    Windows::unloadAll();
    return 0;
}
