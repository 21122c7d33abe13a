// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The run-and-wait control ("Project1.ShellAndWait") as the program calls it:
// the host casts the hosted object to this interface once and calls its
// members directly, so a renamed member is a build error, not an unknown.
#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QtPlugin>

#include <functional>

// A process an ended setup left running, while the control waits for it.
struct LeftoverProcess
{
    qint64 pid = 0;
    QString name;        // its program's file name (argv[0]'s last part), else the kernel's command name
    QString commandLine; // its arguments joined by single blanks, else the kernel's command name

    bool operator==(const LeftoverProcess &other) const
    {
        return pid == other.pid && name == other.name && commandLine == other.commandLine;
    }
};

class RunAndWaitControl
{
public:
    virtual ~RunAndWaitControl() = default;

    // Starts commandLine and returns once that program and every process it
    // started have ended. 0 when it was started, whatever its exit code;
    // else the error number (RunTimeError), with ErrorDescription() saying why.
    virtual int ShellAndWait(const QString &commandLine) = 0;
    // The description of the last error; empty after a call that succeeded.
    virtual QString ErrorDescription() const = 0;
    // The full exit code of the last program (a Windows program's own code
    // under Wine, where -1 is the real code 0xFFFFFFFF); meaningful only
    // while HasExitCode() is true.
    virtual int ExitCode() const = 0;
    // False when the last call ran no program to its end (not started, ended
    // by a signal, abandoned while it ran) or its code could not be read
    // (under Wine: the launcher left no code file).
    virtual bool HasExitCode() const = 0;
    // The signal that ended the last program; 0 for none.
    virtual int ExitSignal() const = 0;
    // The file the last call started (or refused), as text.
    virtual QString StartedFile() const = 0;
    // Its installer type (installerKindId: "nsis", "msi", …) and PE machine
    // ("x86", empty for none).
    virtual QString InstallerType() const = 0;
    virtual QString Machine() const = 0;
    // "<pid> <command line>" of each process still running when the wait for
    // the last program or what it left behind was given up.
    virtual QStringList LeftBehind() const = 0;
    // What a restart of the Wine prefix that the last program asked for did
    // (the programs it ran, how long it took, what still ran when the bounded
    // wait for it ended), for people; empty when it started none.
    virtual QString WineRestart() const = 0;
    // Whether the started program has ended and only the processes it left
    // behind (or Wine's restart it asked for) are awaited.
    virtual bool IsWaitingForLeftovers() const = 0;
    // Gives up waiting for left-behind processes, which go on running; the
    // waiting call returns at once. False (and nothing changes) while the
    // started program itself still runs.
    virtual bool StopWaiting() = 0;
    // Gives up waiting for the started program itself and what it left, which
    // go on running; the waiting call returns at once, LeftBehind() naming
    // every process still running (the program too, if it still runs). False
    // when no call waits.
    virtual bool Abandon() = 0;
    // Whether Abandon() ended the last call's wait.
    virtual bool WasAbandoned() const = 0;
    // The standard output and error of programs started afterwards go to a
    // duplicate of fd; -1: this process's own are inherited.
    virtual void SetOutput(int fd) = 0;

    using LeftoversHandler = std::function<void(const QList<LeftoverProcess> &processes)>;
    // Calls handler, in context's thread and while context lives, each time
    // the started program has ended and the processes it left running are
    // awaited. Ended with QObject::disconnect on what it returns.
    virtual QMetaObject::Connection onWaitingForLeftovers(const QObject *context, LeftoversHandler handler) = 0;
};

#define RunAndWaitControl_iid "org.setupreel.RunAndWaitControl/1.1"
Q_DECLARE_INTERFACE(RunAndWaitControl, RunAndWaitControl_iid)
