// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How a program file is started on this platform, and the error numbers
// (RunTimeError) and texts a start that cannot happen is reported with.
#include "CommandLine.h"
#include "ControlContract.h"
#include "InstallerType.h"

#include <QString>
#include <QStringList>

#include <sys/types.h>

namespace ShellAndWaitLogic {

struct LaunchPlan
{
    int error = RunTimeError::NoError;
    QString description;   // empty when error is 0
    QString program;       // the file the command line names
    QString executable;    // what is started; also argv[0]
    QStringList arguments; // argv[1...]
    QByteArray file;       // the bytes of the file started, absolute
    InstallerInfo installer;
    bool wine = false; // started through Wine
    QString codeFile;  // where the launcher leaves the exit code; empty: none

    bool ok() const { return error == RunTimeError::NoError; }
};

// The Wine that Windows setup files are started with, and what it can run.
struct WineSetup
{
    QString wine;                       // empty when there is none
    QString launcher;                   // WineWait.exe; empty: programs start without it
    QString prefix;                     // the Wine prefix folder
    QChar rootDrive = QLatin1Char('Z'); // the drive that maps "/"
    bool runsX86 = true;
    bool runsX64 = true;
    bool runsArm64 = false;
};

// The full path of "wine" on the search path, or empty.
QString findWine();
// $WINEPREFIX, else ~/.wine.
QString winePrefix();
// The drive letter that maps "/" in prefix's dosdevices; Z when the prefix
// is not made yet or none does.
QChar rootDriveOf(const QString &prefix);
// Whether the Wine at winePath has its 32-bit part (Debian's wine32, or a
// build's i386 loader or libraries). root: where the system's folders are.
bool wineRuns32Bit(const QString &winePath, const QString &root = QStringLiteral("/"));
// The Wine found here, started through launcher (when it exists).
WineSetup findWineSetup(const QString &launcher);

// Whether program names a file that starts through Wine (.exe, .msi, .bat),
// so the Wine set-up is only looked up for those.
bool startsThroughWine(const QString &program);

// A fresh name for a launcher's code file: setupreel-<pid>-<count>-<random>.code.
QString newCodeFileName();

// winePath: the Wine to start Windows files with, empty when there is none.
// Windows programs start directly through Wine, the exit code cut to 8 bits.
LaunchPlan planLaunch(const CommandLine &command, const QString &winePath);
// With a launcher in wine, through it: wine launcher C:\windows\temp\<code
// file> <program's command line>.
LaunchPlan planLaunch(const CommandLine &command, const WineSetup &wine);

struct StartError
{
    int number;
    QString description;
};

// The error for an errno from starting plan's executable.
StartError startError(int errnum, const LaunchPlan &plan);

// Starts the plan in a session of its own, with the environment of this
// process, stdin from /dev/null and stdout and stderr on output (-1: this
// process's own); never through a shell. Returns 0 and sets *pid, or returns
// the errno.
int spawnPlan(const LaunchPlan &plan, pid_t *pid, int output = -1);

} // namespace ShellAndWaitLogic
