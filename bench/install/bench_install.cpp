// The install run's cost per program through the real main window (Load and
// Install clicked, labels and bar painted while each program runs, the report
// written) against a shell loop that starts the same programs, measured in the
// same run. Prints the ratio (target: at most 1.5). Run it with
// QT_QPA_PLATFORM=offscreen, or under a display.
#include "BenchSupport.h"
#include "common/Prompts.h"
#include "common/Seams.h"
#include "install/Form2.h"
#include "install/InstallRun.h"
#include "ui/Program.h"
#include "ui/Windows.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
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
    bool showFileDialog(QObject *dialog, FileDialogMode) override
    {
        dialog->setProperty("FileName", list);
        return true;
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
    if (!w->ShellAndWait1) {
        std::fprintf(stderr, "the run-and-wait control did not load\n");
        return 1;
    }
    w->Image3->click(); // Load
    QApplication::processEvents();

    // The run-and-wait control alone, called as the run calls it, shows how
    // much of the cost is the run's own (window, report).
    QList<double> runTimes, controlTimes, shellTimes;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer t;
        t.start();
        w->Image4->click(); // Install: returns when the run has ended
        QApplication::processEvents();
        runTimes << t.nsecsElapsed() / 1e6;

        t.restart();
        for (const QString &line : lines)
            runAndWaitOn(w->ShellAndWait1, line);
        controlTimes << t.nsecsElapsed() / 1e6;

        t.restart();
        QProcess::execute(QStringLiteral("/bin/sh"), {scriptPath});
        shellTimes << t.nsecsElapsed() / 1e6;
    }
    if (prompts.boxes)
        std::fprintf(stderr, "warning: %d message boxes, the last: %s\n", prompts.boxes, qPrintable(prompts.lastBox));

    const double runMs = median(runTimes), controlMs = median(controlTimes), shellMs = median(shellTimes);
    std::printf("install run through the main window: %d programs, median of %d rounds\n", programs, rounds);
    std::printf("  install run    : %8.2f ms  (%.3f ms per program)\n", runMs, runMs / programs);
    std::printf("  control alone  : %8.2f ms  (%.3f ms per program)\n", controlMs, controlMs / programs);
    std::printf("  shell loop     : %8.2f ms  (%.3f ms per program)\n", shellMs, shellMs / programs);
    std::printf("  ratio          : %.2f  (target: at most 1.50)\n", runMs / shellMs);
    std::printf("  run / control  : %.2f  (the run's own share: window and report)\n", runMs / controlMs);
    Windows::unloadAll();
    Seams::setPrompts(nullptr);
    return 0;
}
