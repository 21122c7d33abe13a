// The terminal commands against the shell doing the same work, in one run:
//  - setupreel --inspect of 1,000 setup files against head -c 65536 of the same
//    files (target: at most 2x);
//  - setupreel --install of 300 trivial programs against a shell loop starting
//    the same programs (target: at most 1.2x);
//  - the same with 10,000 programs that all fail and with 10,000 that succeed:
//    the cost per program stays flat whatever the outcomes and the length
//    (target: at most 1.2x the loop, either way).
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
    const int longPrograms = argc > 3 ? std::atoi(argv[3]) : 10000;
    const int rounds = 7;
    const int longRounds = 3;
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

    // Trivial programs, as bench_install starts them: a list of count of them
    // and a shell script starting the same, each ending with code.
    const auto makeRun = [&](const QString &name, int count, int code) -> std::pair<QString, QString> {
        const QString program = dir.filePath(name + QStringLiteral(".sh"));
        if (!writeFile(program, "#!/bin/sh\nexit " + QByteArray::number(code) + "\n", true))
            return {};
        QByteArray list = ">bench\r\n";
        QByteArray script;
        for (int i = 0; i < count; ++i) {
            // Each line its own file name, as a real list's are.
            const QString path = dir.filePath(QStringLiteral("%1-%2.sh").arg(name).arg(i));
            if (!QFile::link(program, path))
                return {};
            list += path.toUtf8() + " /S\r\n";
            script += "'" + path.toUtf8() + "' /S\n";
        }
        const QString listPath = dir.filePath(name + QStringLiteral(".SR"));
        const QString scriptPath = dir.filePath(name + QStringLiteral("-loop.sh"));
        if (!writeFile(listPath, list) || !writeFile(scriptPath, script))
            return {};
        return {listPath, scriptPath};
    };
    const auto [listPath, scriptPath] = makeRun(QStringLiteral("prog"), programs, 0);
    const auto [okLong, okLongLoop] = makeRun(QStringLiteral("ok"), longPrograms, 0);
    const auto [failLong, failLongLoop] = makeRun(QStringLiteral("fail"), longPrograms, 1);
    if (listPath.isEmpty() || okLong.isEmpty() || failLong.isEmpty())
        return 1;
    QList<double> installTimes, shellTimes;
    for (int r = 0; r < rounds; ++r) {
        installTimes << timed(setupreel, {QStringLiteral("--install"), listPath}, env);
        shellTimes << timed(QStringLiteral("/bin/sh"), {scriptPath}, env);
    }
    QList<double> okTimes, okLoopTimes, failTimes, failLoopTimes;
    for (int r = 0; r < longRounds; ++r) {
        okTimes << timed(setupreel, {QStringLiteral("--install"), okLong}, env);
        okLoopTimes << timed(QStringLiteral("/bin/sh"), {okLongLoop}, env);
        failTimes << timed(setupreel, {QStringLiteral("--install"), failLong}, env, 1);
        failLoopTimes << timed(QStringLiteral("/bin/sh"), {failLongLoop}, env, 1);
    }

    for (const QList<double> *times :
         {&inspectTimes, &headTimes, &installTimes, &shellTimes, &okTimes, &okLoopTimes, &failTimes, &failLoopTimes}) {
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
    printRatio(QStringLiteral("setupreel --install of %1 programs").arg(number(longPrograms)),
               QStringLiteral("a shell loop starting the same programs"), median(okTimes), median(okLoopTimes), 1.2);
    printRatio(QStringLiteral("setupreel --install of %1 failing programs").arg(number(longPrograms)),
               QStringLiteral("a shell loop starting the same programs"), median(failTimes), median(failLoopTimes),
               1.2);
    return 0;
}
