// The list editor's refresh tick with 32,767 rows (target: at most 20 µs a tick
// when nothing changed), and the program's processor use while it sits idle
// with the editor open (target: under 1% of one core over 10 seconds).
#include "common/Folders.h"
#include "editor/Form1.h"
#include "install/Form2.h"
#include "ui/Program.h"
#include "ui/Windows.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <sys/resource.h>

namespace {
double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec
           + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    Folders::setAppDir(QStringLiteral(SETUPREEL_BUILD_APP_DIR));
    Program::applyWindowFont();
    const int idleSeconds = argc > 1 ? atoi(argv[1]) : 10;

    Form2 *main = Windows::show<Form2>();
    main->Image2->click(); // Point
    Form1 *editor = Windows::find<Form1>();
    QStringList rows;
    for (int i = 0; i < 32767; ++i)
        rows << QStringLiteral("/srv/setups/program %1/setup.sh /S").arg(i);
    editor->ListB->setRows(rows);
    editor->ListB->setListIndex(100);
    QApplication::processEvents();

    // The tick itself, nothing having changed since the last one.
    editor->Timer1_Timer();
    const int ticks = 200000;
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < ticks; ++i)
        editor->Timer1_Timer();
    const double perTickUs = t.nsecsElapsed() / 1e3 / ticks;

    // A reference in the same run: reading the list's count and selection alone.
    volatile int sink = 0;
    t.restart();
    for (int i = 0; i < ticks; ++i)
        sink += editor->ListB->ListCount() + editor->ListB->ListIndex();
    const double referenceUs = t.nsecsElapsed() / 1e3 / ticks;

    std::printf("refresh tick, 32767 rows: %.3f us a tick (target: at most 20 us)\n", perTickUs);
    std::printf("  reference (count and selection only): %.3f us, ratio %.1f\n", referenceUs,
                perTickUs / qMax(referenceUs, 1e-6));

    // Idle: the event loop runs with the editor open and its 10 ms tick.
    const double cpuBefore = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QTimer::singleShot(idleSeconds * 1000, &app, [] { QCoreApplication::exit(0); });
    app.exec();
    const double cpu = cpuSeconds() - cpuBefore;
    const double share = 100.0 * cpu / (wall.nsecsElapsed() / 1e9);
    std::printf("idle with the editor open for %d s: %.3f s of processor time, %.2f%% of one core (target: under 1%%)\n",
                idleSeconds, cpu, share);
    std::fflush(stdout);
    Program::setEndHandler([] {});
    Windows::unloadAll();
    return 0;
}
