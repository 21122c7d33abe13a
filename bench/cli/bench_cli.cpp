// The terminal commands against the shell doing the same work, in one run:
//  - setupreel --inspect of 1,000 setup files against head -c 65536 of the same
//    files (target: at most 2x);
//  - setupreel --install of 300 trivial programs against a shell loop starting
//    the same programs (target: at most 1.2x).
// Prints the medians of several rounds, the ratios, their targets and
// whether they are met.
#include "BenchSupport.h"
#include "CraftedSetups.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

// Milliseconds the command takes, its output thrown away; -1 when it failed.
double timed(const QString &program, const QStringList &args, const QProcessEnvironment &env, int expect = 0)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != expect)
        return -1;
    return t.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int files = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int programs = argc > 2 ? std::atoi(argv[2]) : 300;
    const int rounds = 7;
    const QString setupreel = QStringLiteral(SETUPREEL_BUILD_APP_DIR "/setupreel");

    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("XDG_STATE_HOME"), dir.filePath(QStringLiteral("state")));

    // Setup files of every kind, each 2 MiB as real ones are at least.
    using namespace CraftedSetups;
    const QByteArray kinds[] = {
            pe(I386, {code()}, nsisFirstHeader()),
            innoSetup(),
            wixBurn(),
            sevenZipSfx(),
            pe(Amd64, {code()}),
            compound(msiClsid()),
    };
    const qint64 size = 2 * 1024 * 1024;
    QStringList paths;
    for (int i = 0; i < files; ++i) {
        const QString path = dir.filePath(QStringLiteral("setup%1.exe").arg(i));
        if (!writeFile(path, kinds[i % std::size(kinds)], false, size)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        paths << path;
    }

    QList<double> inspectTimes, headTimes;
    const QStringList headArgs{QStringLiteral("-q"), QStringLiteral("-c"), QStringLiteral("65536")};
    for (int r = 0; r < rounds; ++r) {
        inspectTimes << timed(setupreel, QStringList{QStringLiteral("--inspect")} + paths, env);
        headTimes << timed(QStringLiteral("head"), headArgs + paths, env);
    }

    // Trivial programs, as bench_install starts them.
    QByteArray list = ">bench\r\n";
    QByteArray script;
    for (int i = 0; i < programs; ++i) {
        const QString path = dir.filePath(QStringLiteral("prog%1.sh").arg(i));
        if (!writeFile(path, "#!/bin/sh\nexit 0\n", true))
            return 1;
        list += path.toUtf8() + " /S\r\n";
        script += "'" + path.toUtf8() + "' /S\n";
    }
    const QString listPath = dir.filePath(QStringLiteral("bench.SR"));
    const QString scriptPath = dir.filePath(QStringLiteral("loop.sh"));
    if (!writeFile(listPath, list) || !writeFile(scriptPath, script))
        return 1;
    QList<double> installTimes, shellTimes;
    for (int r = 0; r < rounds; ++r) {
        installTimes << timed(setupreel, {QStringLiteral("--install"), listPath}, env);
        shellTimes << timed(QStringLiteral("/bin/sh"), {scriptPath}, env);
    }

    for (const QList<double> *times : {&inspectTimes, &headTimes, &installTimes, &shellTimes}) {
        if (times->contains(-1)) {
            std::fprintf(stderr, "a command failed\n");
            return 1;
        }
    }
    const double inspectMs = median(inspectTimes), headMs = median(headTimes);
    const double installMs = median(installTimes), shellMs = median(shellTimes);
    std::printf("terminal commands, median of %d rounds; --install: %.3f ms a program, the loop %.3f ms\n", rounds,
                installMs / programs, shellMs / programs);
    printRatio(QStringLiteral("setupreel --inspect of %1 setup files").arg(number(files)),
               QStringLiteral("head -c 65536 of the same files"), inspectMs, headMs, 2.0);
    printRatio(QStringLiteral("setupreel --install of %1 programs").arg(number(programs)),
               QStringLiteral("a shell loop starting the same programs"), installMs, shellMs, 1.2);
    return 0;
}
