#include "ShellAndWait.h"

#include "ChildWait.h"
#include "CommandLine.h"
#include "FileNameCodec.h"
#include "LaunchPlan.h"
#include "ProcessTree.h"

#include <QFileInfo>
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
    return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absolutePath()
            + QStringLiteral("/WineWait.exe");
}

ShellAndWaitControl::ShellAndWaitControl(QObject *parent) : QObject(parent)
{
}

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
    }
}

int ShellAndWaitControl::fail(int number, const QString &description)
{
    m_errorDescription = description;
    return number;
}

bool ShellAndWaitControl::StopWaiting()
{
    if (!m_leftovers)
        return false;
    m_stopped = true;
    m_leftovers->abandon();
    return true;
}

bool ShellAndWaitControl::readCodeFile(const QString &path, int *code, int *startError)
{
    const QByteArray name = FileNameCodec::encodeFileName(path);
    QByteArray text;
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd >= 0) {
        char buf[64];
        ssize_t n;
        do {
            n = ::read(fd, buf, sizeof buf);
        } while (n < 0 && errno == EINTR);
        if (n > 0)
            text = QByteArray(buf, n).trimmed();
        ::close(fd);
    }
    ::unlink(name.constData());
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

// The error for a Windows error number the launcher could not start a program with.
static StartError windowsStartError(int error, const QString &program)
{
    const QString why = QStringLiteral("Windows error %1").arg(error);
    switch (error) {
    case 2:     // ERROR_FILE_NOT_FOUND
    case 3:     // ERROR_PATH_NOT_FOUND
        return {FileNotFound, QStringLiteral("File not found: %1 (%2)").arg(program, why)};
    case 5:     // ERROR_ACCESS_DENIED
        return {PermissionDenied, QStringLiteral("Permission denied: %1 cannot be started (%2)")
                                          .arg(program, why)};
    case 193:   // ERROR_BAD_EXE_FORMAT
    case 216:   // ERROR_EXE_MACHINE_TYPE_MISMATCH
        return {MachineMismatch, QStringLiteral("%1 is not a program Wine can run (%2)").arg(program, why)};
    default:
        return {InvalidCall, QStringLiteral("%1 cannot be started under Wine (%2)").arg(program, why)};
    }
}

int ShellAndWaitControl::ShellAndWait(const QString &commandLine)
{
    // A call from an event handled during a wait: one program at a time.
    if (m_destroyed)
        return fail(StillWaiting,
                    QStringLiteral("This program is still waiting for %1 to end").arg(m_waitingFor));
    if (m_ending)
        return fail(Interrupted,
                    QStringLiteral("User interrupt occurred: Setupreel is ending, %1 was not started")
                            .arg(commandLine));

    m_exitCode = -1;
    m_exitSignal = 0;
    m_startedFile.clear();
    m_installerType.clear();
    m_machine.clear();
    m_leftBehind.clear();
    m_stopped = false;

    const CommandLine command = splitCommandLine(commandLine);
    const LaunchPlan plan = planLaunch(command, startsThroughWine(command.program)
                                               ? findWineSetup(launcherPath()) : WineSetup());
    if (!plan.file.isEmpty()) {
        m_startedFile = FileNameCodec::decodeFileName(plan.file);
        m_installerType = installerKindId(plan.installer.kind);
        m_machine = machineName(plan.installer.machine);
    }
    if (!plan.ok())
        return fail(plan.error, plan.description);

    // Taken by name now, so that no older file is read as this program's result.
    const QByteArray codeFile = FileNameCodec::encodeFileName(plan.codeFile);
    if (!codeFile.isEmpty()) {
        const int fd = ::open(codeFile.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0)
            ::close(fd);
    }

    // A setup's orphans come to this process during the call, so their end can
    // be awaited.
    SubreaperScope subreaper;
    QSet<pid_t> before;
    for (const ProcessStat &child : childrenOfThisProcess())
        before.insert(child.pid);

    // Taken before the start: what began earlier is no part of this installation.
    ProcessStat program;
    program.startTime = startTicksNow();
    pid_t pid = 0;
    if (const int err = spawnPlan(plan, &pid)) {
        if (!codeFile.isEmpty())
            ::unlink(codeFile.constData());
        const StartError e = startError(err, plan);
        return fail(e.number, e.description);
    }
    program.pid = pid;

    bool destroyed = false;
    m_destroyed = &destroyed;
    m_waitingFor = plan.program;
    bool ended;
    {
        ChildWait wait(pid);
        m_wait = &wait;
        ended = wait.wait();
        if (destroyed)
            return NoError;     // this object is gone
        m_wait = nullptr;
        if (ended) {
            m_exitCode = wait.exitSignal() ? -1 : wait.exitCode();
            m_exitSignal = wait.exitSignal();
        }
    }
    if (!ended) {
        // The application is ending (its loops were told to exit): the program
        // keeps running, and no further one is started.
        m_destroyed = nullptr;
        m_ending = true;
        return fail(Interrupted,
                    QStringLiteral("User interrupt occurred: Setupreel is ending while %1 runs; "
                                   "it goes on running on its own")
                            .arg(plan.program));
    }

    int result = NoError;
    if (!codeFile.isEmpty()) {
        int startErr = 0;
        int code = 0;
        if (readCodeFile(plan.codeFile, &code, &startErr)) {
            if (startErr) {
                const StartError e = windowsStartError(startErr, plan.program);
                m_exitCode = -1;
                result = fail(e.number, e.description);
            } else {
                m_exitCode = code;
            }
        }
        // No code file: the launcher did not run; Wine's own status stands.
    }

    // What the program started may still be installing.
    LeftoverWait leftovers(before, program);
    if (leftovers.find()) {
        m_leftovers = &leftovers;
        emit waitingForLeftovers();
        const bool done = !destroyed && leftovers.wait();
        if (destroyed)
            return result;
        m_leftovers = nullptr;
        if (!done) {
            m_leftBehind = leftovers.remaining();
            if (!m_stopped) {
                m_destroyed = nullptr;
                m_ending = true;
                return fail(Interrupted,
                            QStringLiteral("User interrupt occurred: Setupreel is ending while "
                                           "processes %1 started still run; they go on running on their own")
                                    .arg(plan.program));
            }
        }
    }
    m_destroyed = nullptr;
    if (result == NoError)
        m_errorDescription.clear();
    return result;
}

QObject *ShellAndWaitFactory::create(const QString &className, QWidget *parent)
{
    if (className.compare(QLatin1String("Project1.ShellAndWait"), Qt::CaseInsensitive) != 0)
        return nullptr;
    return new ShellAndWaitControl(parent);
}
