// SPDX-License-Identifier: GPL-3.0-or-later
// The terminal commands against the shell doing the same work, in one run:
//  - setupreel --inspect of 1,000 setup files against head -c 65536 of the same
//    files (target: at most 2x);
//  - setupreel --install of 100, 1,000 and 10,000 trivial programs against a
//    shell loop starting the same programs (target: at most 1.1x at each);
//  - the same with programs that all fail, 100 to 16,000 of them: the cost per
//    program stays flat whatever the outcomes and the length (target: at most
//    1.2x the loop at each);
//  - the bytes a run of 10,000 failing programs writes (every write of the
//    process: its report, journal, record and lines) against the size of the
//    report it leaves (target: at most 3x).
// Beside each --install row it shows the floor: this process starting the same
// programs the way the run-and-wait control does (vfork, own session, stdin
// from /dev/null, a pidfd polled, the child reaped) and nothing else, so the
// part of the gap that is the run's own work can be told from the mechanism's.
// Prints the medians of several rounds, each round running setupreel and the
// loop one after the other, the ratios, their targets and whether they are met.
#include "BenchSupport.h"
#include "CraftedSetups.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

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

// What the process started by args wrote (every write(2) it made: wchar of
// /proc/PID/io, read while it is a zombie); -1 when it could not be read.
qint64 bytesWritten(const QStringList &args, const QProcessEnvironment &env)
{
    std::vector<QByteArray> storage;
    for (const QString &a : args)
        storage.push_back(a.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &a : storage)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<QByteArray> envStorage;
    for (const QString &v : env.toStringList())
        envStorage.push_back(v.toLocal8Bit());
    std::vector<char *> envp;
    for (QByteArray &v : envStorage)
        envp.push_back(v.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return -1;
    siginfo_t info{};
    qint64 wchar = -1;
    if (::waitid(P_PID, id_t(pid), &info, WEXITED | WNOWAIT) == 0) {
        QFile io(QStringLiteral("/proc/%1/io").arg(pid));
        if (io.open(QIODevice::ReadOnly))
            for (const QByteArray &line : io.readAll().split('\n'))
                if (line.startsWith("wchar:"))
                    wchar = line.mid(6).trimmed().toLongLong();
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return wchar;
}

struct FloorChild
{
    char *const *argv;
    int devNull;
};

int startFloorChild(void *arg)
{
    const auto *c = static_cast<const FloorChild *>(arg);
    if (::setsid() < 0 || ::dup2(c->devNull, 0) < 0)
        ::_exit(127);
    ::execve(c->argv[0], c->argv, environ);
    ::_exit(127);
}

// Milliseconds to start each program of lines (path and one argument, as the
// lists hold them) and wait for its end as the control does, with no other
// work; -1 when one could not be started or ended with another code.
double floorLoopMs(const QList<QByteArray> &paths, const QByteArray &argument, int expect)
{
    const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (devNull < 0)
        return -1;
    constexpr size_t StackSize = 64 * 1024;
    std::vector<char> stack(StackSize);
    QElapsedTimer t;
    t.start();
    bool ok = true;
    for (const QByteArray &path : paths) {
        char *argv[] = {const_cast<char *>(path.constData()), const_cast<char *>(argument.constData()), nullptr};
        FloorChild child{argv, devNull};
        const pid_t pid = ::clone(startFloorChild, stack.data() + StackSize, CLONE_VM | CLONE_VFORK | SIGCHLD, &child);
        const int pidfd = pid > 0 ? int(::syscall(SYS_pidfd_open, pid, 0)) : -1;
        if (pidfd >= 0) {
            pollfd ready{pidfd, POLLIN, 0};
            ::poll(&ready, 1, -1);
            ::close(pidfd);
        }
        // Reaped also after a failure, so none is left a zombie.
        int status = 0;
        const bool reaped = pid > 0 && ::waitpid(pid, &status, 0) == pid;
        ok = ok && reaped && WIFEXITED(status) && WEXITSTATUS(status) == expect;
    }
    const double ms = t.nsecsElapsed() / 1e6;
    ::close(devNull);
    return ok ? ms : -1;
}

// The sizes of the JSON and text reports in folder, together.
qint64 reportBytes(const QString &folder)
{
    qint64 bytes = 0;
    for (const QFileInfo &f :
         QDir(folder).entryInfoList({QStringLiteral("run-*.json"), QStringLiteral("run-*.txt")}, QDir::Files))
        bytes += f.size();
    return bytes;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int files = argc > 1 ? std::atoi(argv[1]) : 1000;
    // A scale for the lists' lengths (0.1: a tenth of each), for a quick look.
    const double scale = argc > 2 ? std::atof(argv[2]) : 1.0;
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
    const qint64 setupSize = 2 * 1024 * 1024;
    QStringList paths;
    for (int i = 0; i < files; ++i) {
        const QString path = dir.filePath(QStringLiteral("setup%1.exe").arg(i));
        if (!writeFile(path, kinds[i % std::size(kinds)], false, setupSize)) {
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
    struct Run
    {
        QString list, loop;
        QList<QByteArray> programs; // each line's file, for the floor
    };
    const auto makeRun = [&](const QString &name, int count, int code) -> Run {
        const QString program = dir.filePath(name + QStringLiteral(".sh"));
        if (!writeFile(program, "#!/bin/sh\nexit " + QByteArray::number(code) + "\n", true))
            return {};
        QByteArray list = ">bench\r\n";
        QByteArray script;
        QList<QByteArray> programs;
        for (int i = 0; i < count; ++i) {
            // Each line its own file name, as a real list's are.
            const QString path = dir.filePath(QStringLiteral("%1-%2.sh").arg(name).arg(i));
            if (!QFile::link(program, path))
                return {};
            list += path.toUtf8() + " /S\r\n";
            script += "'" + path.toUtf8() + "' /S\n";
            programs << QFile::encodeName(path);
        }
        const QString listPath = dir.filePath(name + QStringLiteral(".SR"));
        const QString scriptPath = dir.filePath(name + QStringLiteral("-loop.sh"));
        if (!writeFile(listPath, list) || !writeFile(scriptPath, script))
            return {};
        return {listPath, scriptPath, programs};
    };
    struct Size
    {
        int count;
        int code; // each program's exit code
        double target;
    };
    const Size sizes[] = {{100, 0, 1.1}, {1000, 0, 1.1}, {10000, 0, 1.1}, {100, 1, 1.2},
                          {500, 1, 1.2}, {1000, 1, 1.2}, {10000, 1, 1.2}, {16000, 1, 1.2}};
    struct Row
    {
        Size size;
        int count;
        double ms, loopMs, floorMs;
    };
    QList<Row> rows;
    QString bytesList;
    for (const Size &size : sizes) {
        const int count = qMax(1, int(size.count * scale));
        const auto [list, loop, programs] =
                makeRun(QStringLiteral("%1-%2").arg(size.code ? "fail" : "ok").arg(count), count, size.code);
        if (list.isEmpty()) {
            std::fprintf(stderr, "cannot write the lists\n");
            return 1;
        }
        if (size.code && size.count == 10000)
            bytesList = list;
        // Fewer rounds of the long ones: their medians settle sooner.
        const int n = count >= 5000 ? 3 : count >= 1000 ? 5 : rounds;
        QList<double> times, loopTimes, floorTimes;
        for (int r = 0; r < n; ++r) {
            times << timed(setupreel, {QStringLiteral("--install"), list}, env, size.code ? 1 : 0);
            loopTimes << timed(QStringLiteral("/bin/sh"), {loop}, env, size.code);
            floorTimes << floorLoopMs(programs, "/S", size.code);
        }
        if (times.contains(-1) || loopTimes.contains(-1) || floorTimes.contains(-1)) {
            std::fprintf(stderr, "a command failed (%d programs)\n", count);
            return 1;
        }
        rows << Row{size, count, median(times), median(loopTimes), median(floorTimes)};
    }

    // One more run of the 10,000 failing programs, alone in its state folder.
    QProcessEnvironment bytesEnv = env;
    const QString bytesState = dir.filePath(QStringLiteral("state-bytes"));
    bytesEnv.insert(QStringLiteral("XDG_STATE_HOME"), bytesState);
    const qint64 written =
            bytesList.isEmpty() ? -1 : bytesWritten({setupreel, QStringLiteral("--install"), bytesList}, bytesEnv);
    const qint64 kept = reportBytes(bytesState + QStringLiteral("/setupreel/runs"));

    if (inspectTimes.contains(-1) || headTimes.contains(-1)) {
        std::fprintf(stderr, "a command failed\n");
        return 1;
    }
    const double inspectMs = median(inspectTimes), headMs = median(headTimes);
    std::printf("terminal commands, medians of 3 to %d rounds\n", rounds);
    printRatio(QStringLiteral("setupreel --inspect of %1 setup files").arg(number(files)),
               QStringLiteral("head -c 65536 of the same files"), inspectMs, headMs, 2.0);
    for (const Row &row : rows) {
        std::printf("  --install of %d%s: %.3f ms a program, the loop %.3f ms, the floor %.3f ms (%.2f× of it)\n",
                    row.count, row.size.code ? " failing" : "", row.ms / row.count, row.loopMs / row.count,
                    row.floorMs / row.count, row.ms / row.floorMs);
        printRatio(QStringLiteral("setupreel --install of %1 %2programs")
                           .arg(number(row.count), row.size.code ? QStringLiteral("failing ") : QString()),
                   QStringLiteral("a shell loop starting the same programs"), row.ms, row.loopMs, row.size.target);
    }
    if (written < 0 || kept <= 0) {
        std::fprintf(stderr, "the bytes written could not be measured\n");
        return 1;
    }
    const double ratio = double(written) / double(kept);
    printResult(QStringLiteral("bytes written by setupreel --install of %1 failing programs")
                        .arg(number(qMax(1, int(10000 * scale)))),
                QStringLiteral("the size of the report it leaves (JSON and text)"),
                QStringLiteral("%1 MB / %2 MB = %3×")
                        .arg(double(written) / 1e6, 0, 'f', 1)
                        .arg(double(kept) / 1e6, 0, 'f', 1)
                        .arg(ratio, 0, 'f', 2),
                QStringLiteral("≤ 3.00×"), ratio <= 3.0);
    return 0;
}
