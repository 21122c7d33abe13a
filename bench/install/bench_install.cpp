// SPDX-License-Identifier: GPL-3.0-or-later
// The install run's cost per program through the real main window (Load and
// Install clicked, labels and bar painted while the programs run, the report
// written) against a shell loop that starts the same programs, measured in the
// same run. A run counts until its last state is painted; the paints of the
// labels and the bar are counted, and a run that painted nothing fails the
// bench, as it would not measure what the user sees. Prints the ratio (target:
// at most 1.1). Run it under a display (scripts/bench.sh runs it under Xvfb),
// or with QT_QPA_PLATFORM=offscreen.
#include "BenchSupport.h"
#include "CommonDialogControl.h"
#include "ProgressBarControl.h"
#include "core/common/Prompts.h"
#include "core/common/Seams.h"
#include "core/install/HostedRunAndWait.h"
#include "windows/install/Form2.h"
#include "windows/ui/Program.h"
#include "windows/ui/Windows.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <climits>
#include <cstdio>

namespace {
// Load chooses the bench's list; every box is counted, none is shown.
struct BenchPrompts : Prompts
{
    QString list;
    int boxes = 0;
    QString lastBox;
    void messageBox(const QString &text, const QString &, MsgIcon) override
    {
        ++boxes;
        lastBox = text;
    }
    QString inputBox(const QString &, const QString &, const QString &) override { return {}; }
    bool showFileDialog(CommonDialogControl *dialog, FileDialogMode) override
    {
        dialog->setFileName(list);
        return true;
    }
};

// Counts the paints of the widgets it watches.
struct PaintCounter : QObject
{
    int paints = 0;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
};

}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int programs = argc > 1 ? atoi(argv[1]) : 200;
    const int rounds = 9;

    QTemporaryDir dir;
    // The run's reports go to the bench's own folder.
    qputenv("XDG_STATE_HOME", dir.filePath(QStringLiteral("state")).toUtf8());
    QStringList lines;
    QByteArray list = ">bench\r\n";
    QByteArray script;
    for (int i = 0; i < programs; ++i) {
        const QString path = dir.filePath(QStringLiteral("setup%1.sh").arg(i));
        if (!writeFile(path, "#!/bin/sh\nexit 0\n", true)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        list += path.toUtf8() + " /S\r\n";
        lines << path + QStringLiteral(" /S");
        script += "'" + path.toUtf8() + "' /S\n";
    }
    const QString listPath = dir.filePath(QStringLiteral("bench.SR"));
    const QString scriptPath = dir.filePath(QStringLiteral("loop.sh"));
    if (!writeFile(listPath, list) || !writeFile(scriptPath, script))
        return 1;

    Seams::setAppDir(QStringLiteral(SETUPREEL_BUILD_APP_DIR));
    Program::applyWindowFont();
    BenchPrompts prompts;
    prompts.list = listPath;
    Seams::setPrompts(&prompts);
    Form2 *w = Windows::show<Form2>();
    if (!w->runAndWaitControl()) {
        std::fprintf(stderr, "the run-and-wait control did not load\n");
        return 1;
    }
    w->Image3->click(); // Load
    QApplication::processEvents();
    // What the run shows: remainder, current file, mode, and the bar.
    PaintCounter shown, mode;
    for (QWidget *watched : {static_cast<QWidget *>(w->Label4), static_cast<QWidget *>(w->Label3), w->PB1->widget()})
        watched->installEventFilter(&shown);
    w->Label5->installEventFilter(&mode);

    // The run-and-wait control alone, called as the run calls it, shows how
    // much of the cost is the run's own (window, report).
    const HostedRunAndWait control(w->runAndWaitControl());
    QList<double> runTimes, controlTimes, shellTimes;
    int fewestPaints = INT_MAX, unpainted = 0;
    for (int r = 0; r < rounds; ++r) {
        shown.paints = 0;
        QElapsedTimer t;
        t.start();
        w->Image4->click(); // Install: returns when the run has ended
        // Until the mode label shows the run's end.
        const int modePaints = mode.paints;
        QElapsedTimer waited;
        waited.start();
        while (mode.paints == modePaints && waited.elapsed() < 1000)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        runTimes << t.nsecsElapsed() / 1e6;
        fewestPaints = std::min(fewestPaints, shown.paints);
        unpainted += mode.paints == modePaints;

        t.restart();
        for (const QString &line : lines)
            control.run(line);
        controlTimes << t.nsecsElapsed() / 1e6;

        t.restart();
        QProcess::execute(QStringLiteral("/bin/sh"), {scriptPath});
        shellTimes << t.nsecsElapsed() / 1e6;
    }
    if (prompts.boxes)
        std::fprintf(stderr, "warning: %d message boxes, the last: %s\n", prompts.boxes, qPrintable(prompts.lastBox));

    const double runMs = median(runTimes), controlMs = median(controlTimes), shellMs = median(shellTimes);
    std::printf("install run through the main window: %d programs, median of %d rounds\n", programs, rounds);
    std::printf("  install run    : %8.2f ms  (%.3f ms per program; at least %d paints of the labels and bar)\n", runMs,
                runMs / programs, fewestPaints);
    std::printf("  control alone  : %8.2f ms  (%.3f ms per program)\n", controlMs, controlMs / programs);
    std::printf("  shell loop     : %8.2f ms  (%.3f ms per program)\n", shellMs, shellMs / programs);
    std::printf("  run / control  : %.2f  (the run's own share: window and report)\n", runMs / controlMs);
    if (fewestPaints == 0 || unpainted) {
        std::fprintf(stderr, "the window was not painted during %s\n", fewestPaints == 0 ? "a run" : "a run's end");
        return 1;
    }
    printRatio(QStringLiteral("Install run of %1 programs, main window painted").arg(programs),
               QStringLiteral("a shell loop starting the same programs"), runMs, shellMs, 1.1);
    Windows::unloadAll();
    Seams::setPrompts(nullptr);
    return 0;
}
