// The install run's cost per program against a shell loop that starts the same
// programs, measured in the same run. Prints the ratio (target: at most 1.5).
#include "ControlFactory.h"
#include "common/Globals.h"
#include "common/Prompts.h"
#include "install/InstallRun.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPluginLoader>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace {
struct NullDisplay : InstallDisplay
{
    void setButtonsEnabled(bool) override {}
    void setCancelVisible(bool) override {}
    void setModeText(const QString &) override {}
    void setRemainderText(const QString &) override {}
    void setCurrentFileText(const QString &) override {}
    void setProgressVisible(bool) override {}
    void setProgressMax(int) override {}
    void setProgressValue(int) override {}
};
struct CountingPrompts : Prompts
{
    int boxes = 0;
    void messageBox(const QString &, const QString &, MsgIcon) override { ++boxes; }
    QString inputBox(const QString &, const QString &, const QString &) override { return {}; }
    bool showFileDialog(QObject *, FileDialogMode) override { return false; }
};
double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int programs = argc > 1 ? atoi(argv[1]) : 200;
    const int rounds = 5;

    QTemporaryDir dir;
    QStringList paths;
    QString list = QStringLiteral(">bench\r\n");
    for (int i = 0; i < programs; ++i) {
        const QString path = dir.filePath(QStringLiteral("setup%1.sh").arg(i));
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write("#!/bin/sh\nexit 0\n");
        f.close();
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
        paths << path;
        list += path + QStringLiteral(" /S\r\n");
    }
    QString script;
    for (const QString &p : paths)
        script += QStringLiteral("'%1' /S\n").arg(p);
    const QString scriptPath = dir.filePath(QStringLiteral("loop.sh"));
    {
        QFile f(scriptPath);
        f.open(QIODevice::WriteOnly);
        f.write(script.toUtf8());
    }

    QPluginLoader loader(QStringLiteral(SETUPREEL_BUILD_SYSTEM_DIR "/ShellAndWait.ocx"));
    auto *factory = qobject_cast<ControlFactory *>(loader.instance());
    if (!factory) {
        std::fprintf(stderr, "cannot load ShellAndWait.ocx: %s\n", qPrintable(loader.errorString()));
        return 1;
    }
    QObject *control = factory->create(QStringLiteral("Project1.ShellAndWait"), nullptr);

    Globals::LoadedListText = list;
    Globals::LoadedLineCount = QString::number(programs + 1);
    NullDisplay display;
    CountingPrompts prompts;
    InstallRun run(display, prompts, [control](const QString &line) {
        int number = 0;
        QMetaObject::invokeMethod(control, "ShellAndWait", Qt::DirectConnection,
                                  Q_RETURN_ARG(int, number), Q_ARG(QString, line));
        return RunError{number, {}};
    });

    QList<double> runTimes, shellTimes;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer t;
        t.start();
        run.install();
        runTimes << t.nsecsElapsed() / 1e6;

        t.restart();
        QProcess::execute(QStringLiteral("/bin/sh"), {scriptPath});
        shellTimes << t.nsecsElapsed() / 1e6;
    }
    if (prompts.boxes)
        std::fprintf(stderr, "warning: %d programs could not be started\n", prompts.boxes);

    const double runMs = median(runTimes), shellMs = median(shellTimes);
    std::printf("install run: %d programs, median of %d rounds\n", programs, rounds);
    std::printf("  install run : %8.2f ms  (%.3f ms per program)\n", runMs, runMs / programs);
    std::printf("  shell loop  : %8.2f ms  (%.3f ms per program)\n", shellMs, shellMs / programs);
    std::printf("  ratio       : %.2f  (target: at most 1.50)\n", runMs / shellMs);
    return 0;
}
