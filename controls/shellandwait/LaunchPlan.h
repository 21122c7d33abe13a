#pragma once
// How a program file is started on this platform, and the error numbers and
// texts a start that cannot happen is reported with.
#include "CommandLine.h"

#include <QString>
#include <QStringList>

#include <sys/types.h>

namespace ShellAndWaitLogic {

enum ErrorNumber {
    NoError = 0,
    InvalidCall = 5,        // also: a Windows setup file and no Wine
    OutOfMemory = 7,
    StillWaiting = 10,      // a call while another one still waits
    Interrupted = 18,       // the program is ending
    FileNotFound = 53,
    PermissionDenied = 70,
    FileAccessError = 75,
};

struct LaunchPlan
{
    int error = NoError;
    QString description;    // empty when error is 0
    QString program;        // the file the command line names
    QString executable;     // what is started; also argv[0]
    QStringList arguments;  // argv[1...]

    bool ok() const { return error == NoError; }
};

// The full path of "wine" on the search path, or empty.
QString findWine();

// winePath: the Wine to start Windows files with, empty when there is none.
LaunchPlan planLaunch(const CommandLine &command, const QString &winePath);

struct StartError
{
    int number;
    QString description;
};

// The error for an errno from starting plan's executable.
StartError startError(int errnum, const LaunchPlan &plan);

// Starts the plan in a session of its own, with the environment, stdout and
// stderr of this process and stdin from /dev/null; never through a shell.
// Returns 0 and sets *pid, or returns the errno.
int spawnPlan(const LaunchPlan &plan, pid_t *pid);

} // namespace ShellAndWaitLogic
