// SPDX-License-Identifier: GPL-3.0-or-later
#include "ShellAndWait.h"

#include "ChildWait.h"
#include "CommandLine.h"
#include "FileNameCodec.h"
#include "LaunchPlan.h"
#include "ProcessTree.h"
#include "WineSession.h"
#include "core/io/FileIO.h"

#include <QFileInfo>
#include <QScopeGuard>
#include <QSet>
#include <QWidget>

#include <cerrno>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

using namespace ShellAndWaitLogic;

// WineWait.exe lies beside this control's own file.
static QString launcherPath()
{
    Dl_info info;
    if (!dladdr(reinterpret_cast<void *>(&launcherPath), &info) || !info.dli_fname)
        return QString();
    return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absolutePath() + QStringLiteral("/WineWait.exe");
}

ShellAndWaitControl::ShellAndWaitControl(QObject *parent) : QObject(parent) {}

ShellAndWaitControl::~ShellAndWaitControl()
{
    if (m_destroyed) {
        // The waiting call returns without touching this object again; what
        // it waited for is left running and reaped later.
        *m_destroyed = true;
        if (m_wait)
            m_wait->abandon();
        if (m_leftovers)
            m_leftovers->abandon();
        if (m_restart)
            m_restart->abandon();
    }
}

int ShellAndWaitControl::fail(int number, const QString &description)
{
    m_errorDescription = description;
    return number;
}

bool ShellAndWaitControl::StopWaiting()
{
    if (!m_leftovers && !m_restart)
        return false;
    m_stopped = true;
    if (m_leftovers)
        m_leftovers->abandon();
    if (m_restart)
        m_restart->abandon();
    return true;
}

bool ShellAndWaitControl::Abandon()
{
    if (!m_wait && !m_leftovers)
        return false;
    m_abandoned = true;
    m_stopped = true;
    if (m_wait)
        m_wait->abandon();
    if (m_leftovers)
        m_leftovers->abandon();
    return true;
}

void ShellAndWaitControl::SetOutput(int fd)
{
    // Above the standard three, so the child's own 1 and 2 are never it.
    m_output.reset(fd < 0 ? -1 : ::fcntl(fd, F_DUPFD_CLOEXEC, 3));
}

// "<pid> <command line>" of each.
static QStringList described(const QList<LeftoverProcess> &processes)
{
    QStringList list;
    for (const LeftoverProcess &p : processes)
        list << QStringLiteral("%1 %2").arg(p.pid).arg(p.commandLine);
    return list;
}

QMetaObject::Connection ShellAndWaitControl::onWaitingForLeftovers(const QObject *context, LeftoversHandler handler)
{
    return connect(this, &ShellAndWaitControl::waitingForLeftovers, context, std::move(handler));
}

bool ShellAndWaitControl::readCodeFile(const QString &path, int *code, int *startError)
{
    const QByteArray name = FileNameCodec::encodeFileName(path);
    QByteArray text;
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd >= 0) {
        char buf[64];
        const qsizetype n = FileIO::readUpTo(fd, buf, sizeof buf);
        if (n > 0)
            text = QByteArray(buf, n);
        ::close(fd);
    }
    ::unlink(name.constData());
    // The launcher ends what it writes with a line end: without it the write
    // was cut short (a full disk) and the number may be a part.
    if (!text.endsWith('\n'))
        return false;
    text = text.trimmed();
    bool ok = false;
    if (text.startsWith("start-error ")) {
        *startError = int(text.mid(12).toUInt(&ok));
        return ok;
    }
    // A DWORD; read as the signed number Windows' own tools show.
    const uint value = text.toUInt(&ok);
    if (ok)
        *code = int(qint32(quint32(value)));
    return ok;
}

// The Windows error numbers WineWait.exe reports as "start-error N".
enum WindowsError {
    WinFileNotFound = 2,
    WinPathNotFound = 3,
    WinAccessDenied = 5,
    WinBadExeFormat = 193,
    WinMachineTypeMismatch = 216,
};

// The error for a Windows error number the launcher could not start a program with.
static StartError windowsStartError(int error, const QString &program)
{
    const QString why = QStringLiteral("Windows error %1").arg(error);
    switch (error) {
    case WinFileNotFound:
    case WinPathNotFound:
        return {RunTimeError::FileNotFound, QStringLiteral("File not found: %1 (%2)").arg(program, why)};
    case WinAccessDenied:
        return {RunTimeError::PermissionDenied,
                QStringLiteral("Permission denied: %1 cannot be started (%2)").arg(program, why)};
    case WinBadExeFormat:
    case WinMachineTypeMismatch:
        return {RunTimeError::MachineMismatch,
                QStringLiteral("%1 is not a program Wine can run (%2)").arg(program, why)};
    default:
        return {RunTimeError::InvalidCall, QStringLiteral("%1 cannot be started under Wine (%2)").arg(program, why)};
    }
}

// Taken by name before the start, so that no older file is read as this
// program's result. Its bytes; empty when the plan has no code file.
static QByteArray reserveCodeFile(const QString &path)
{
    const QByteArray name = FileNameCodec::encodeFileName(path);
    if (!name.isEmpty()) {
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0)
            ::close(fd);
    }
    return name;
}

static QSet<pid_t> childPids()
{
    QSet<pid_t> pids;
    for (const ProcessStat &child : childrenOfThisProcess())
        pids.insert(child.pid);
    return pids;
}

int ShellAndWaitControl::ShellAndWait(const QString &commandLine)
{
    // A call from an event handled during a wait: one program at a time.
    if (m_destroyed)
        return fail(RunTimeError::StillWaiting,
                    QStringLiteral("This program is still waiting for %1 to end").arg(m_waitingFor));
    if (m_ending)
        return fail(
                RunTimeError::Interrupted,
                QStringLiteral("User interrupt occurred: Setupreel is ending, %1 was not started").arg(commandLine));

    m_exitCode = -1;
    m_hasExitCode = false;
    m_abandoned = false;
    m_exitSignal = 0;
    m_startedFile.clear();
    m_installerType.clear();
    m_machine.clear();
    m_leftBehind.clear();
    m_wineRestart.clear();
    m_stopped = false;

    const CommandLine command = splitCommandLine(commandLine);
    const LaunchPlan plan =
            planLaunch(command, startsThroughWine(command.program) ? findWineSetup(launcherPath()) : WineSetup());
    if (!plan.file.isEmpty()) {
        m_startedFile = FileNameCodec::decodeFileName(plan.file);
        m_installerType = installerKindId(plan.installer.kind);
        m_machine = machineName(plan.installer.machine);
    }
    if (!plan.ok())
        return fail(plan.error, plan.description);
    return run(plan);
}

int ShellAndWaitControl::run(const LaunchPlan &plan)
{
    const QByteArray codeFile = reserveCodeFile(plan.codeFile);

    // A setup's orphans come to this process during the call, so their end can
    // be awaited.
    SubreaperScope subreaper;
    const QSet<pid_t> before = childPids();

    // Taken before the start: what began earlier is no part of this installation.
    ProcessStat program;
    program.startTime = startTicksNow();
    pid_t pid = 0;
    if (const int err = spawnPlan(plan, &pid, m_output.get())) {
        if (!codeFile.isEmpty())
            ::unlink(codeFile.constData());
        const StartError e = startError(err, plan);
        return fail(e.number, e.description);
    }
    program.pid = pid;

    // Set by the destructor: from then on nothing of this object is touched.
    bool destroyed = false;
    m_destroyed = &destroyed;
    m_waitingFor = plan.program;
    const bool ended = waitForProgram(pid, destroyed);
    if (destroyed)
        return RunTimeError::NoError;
    if (!ended && m_abandoned) {
        if (!codeFile.isEmpty())
            ::unlink(codeFile.constData());
        return abandoned(before, program);
    }
    if (!ended)
        return interrupted(QStringLiteral("User interrupt occurred: Setupreel is ending while %1 runs; "
                                          "it goes on running on its own")
                                   .arg(plan.program));
    // Wine's restart begins as the setup ends: noted before anything reaps it.
    WineRestartWait restart(program.startTime);
    restart.notice();

    // Under Wine only the launcher's file holds the code: Wine's own status is
    // its low 8 bits at best.
    const int result = plan.wine ? readLauncherResult(plan) : RunTimeError::NoError;

    // What the program started may still be installing.
    const bool settled = waitForLeftovers(before, program, restart, destroyed);
    if (destroyed)
        return result;
    if (!settled)
        return interrupted(QStringLiteral("User interrupt occurred: Setupreel is ending while "
                                          "processes %1 started still run; they go on running on their own")
                                   .arg(plan.program));
    if (!waitForWineRestart(restart, destroyed))
        return destroyed
                       ? result
                       : interrupted(QStringLiteral("User interrupt occurred: Setupreel is ending while "
                                                    "Wine restarts the prefix after %1; the restart goes on on its own")
                                             .arg(plan.program));
    m_destroyed = nullptr;
    if (result == RunTimeError::NoError)
        m_errorDescription.clear();
    return result;
}

bool ShellAndWaitControl::waitForProgram(pid_t pid, const bool &destroyed)
{
    ChildWait wait(pid);
    m_wait = &wait;
    const bool ended = wait.wait();
    if (destroyed)
        return ended;
    m_wait = nullptr;
    if (ended) {
        m_exitCode = wait.exitSignal() ? -1 : wait.exitCode();
        m_hasExitCode = m_exitCode >= 0;
        m_exitSignal = wait.exitSignal();
    }
    return ended;
}

int ShellAndWaitControl::readLauncherResult(const LaunchPlan &plan)
{
    int startErr = 0;
    int code = 0;
    m_hasExitCode = false;
    if (plan.codeFile.isEmpty() || !readCodeFile(plan.codeFile, &code, &startErr)) {
        m_exitCode = -1;
        return RunTimeError::NoError;
    }
    if (!startErr) {
        m_exitCode = code;
        m_hasExitCode = m_exitSignal == 0;
        return RunTimeError::NoError;
    }
    const StartError e = windowsStartError(startErr, plan.program);
    m_exitCode = -1;
    return fail(e.number, e.description);
}

bool ShellAndWaitControl::waitForLeftovers(const QSet<pid_t> &before, const ProcessStat &program,
                                           WineRestartWait &restart, const bool &destroyed)
{
    LeftoverWait leftovers(before, program);
    // What a Wine restart ran may end while the leftovers are awaited: its
    // restart still names it.
    const auto tellRestart = qScopeGuard([&] {
        if (!destroyed)
            restart.takeEnded(leftovers.endedProcesses());
    });
    if (!leftovers.find())
        return true;
    m_leftovers = &leftovers;
    emit waitingForLeftovers(leftovers.remainingProcesses());
    if (m_abandoned) // during the program's last moments
        leftovers.abandon();
    const bool done = !destroyed && leftovers.wait();
    if (destroyed)
        return done;
    m_leftovers = nullptr;
    if (done)
        return true;
    m_leftBehind = described(runningTrees(leftovers.remainingPids()));
    return m_stopped;
}

int ShellAndWaitControl::abandoned(const QSet<pid_t> &before, const ProcessStat &program)
{
    m_destroyed = nullptr;
    // What it started so far has come to this process, or runs below it.
    LeftoverWait leftovers(before, program);
    leftovers.find();
    m_leftBehind = described(runningTrees(QList<pid_t>{program.pid} + leftovers.remainingPids()));
    m_errorDescription.clear();
    return RunTimeError::NoError;
}

bool ShellAndWaitControl::waitForWineRestart(WineRestartWait &restart, const bool &destroyed)
{
    restart.notice(); // also one a leftover asked for
    if (!restart.found())
        return true;
    if (m_stopped) { // the wait for this installation was given up already
        m_wineRestart = restart.summary(WineRestartWait::End::Stopped, false);
        return true;
    }
    m_restart = &restart;
    if (!restart.processes().isEmpty())
        emit waitingForLeftovers(restart.processes());
    const WineRestartWait::End end = restart.wait();
    if (destroyed)
        return false;
    m_restart = nullptr;
    m_wineRestart = restart.summary(end);
    return end != WineRestartWait::End::Interrupted;
}

int ShellAndWaitControl::interrupted(const QString &description)
{
    m_destroyed = nullptr;
    m_ending = true;
    return fail(RunTimeError::Interrupted, description);
}

QObject *ShellAndWaitFactory::create(const QString &className, QWidget *parent)
{
    if (className.compare(QLatin1String("Project1.ShellAndWait"), Qt::CaseInsensitive) != 0)
        return nullptr;
    return new ShellAndWaitControl(parent);
}
