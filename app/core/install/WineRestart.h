// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Restarting a Wine prefix in place of the computer, for a Windows setup that
// needs a restart (3010, 1641) before the next program: the prefix's session
// and server are ended, it is started again (its boot does the pending file
// renames and the machine's RunOnce entries), and the user's RunOnce entries,
// which Wine never runs, are run through the launcher for their exit codes.
// Also which prefix a run uses (--prefix) and its architecture. QtCore only.
#include <QList>
#include <QString>
#include <QStringList>

struct PendingRename
{
    QString from; // as the registry holds it ("\??\C:\...")
    QString to;   // empty: the file is to be deleted
    bool done = false;
};

struct RunOnceRan
{
    QString name;
    QString command;
    int exitCode = 0;
    bool exitCodeKnown = false;
    QString error; // why it did not run or its code is unknown; empty when it ran
};

// What one restart found pending and did.
struct WineRestartRecord
{
    QString prefix;
    QStringList programsEnded; // "<pid> <name>" of the Windows programs running before it
    QList<PendingRename> renames;
    QList<RunOnceRan> runOnce;
    QString error; // a step that did not end in time or failed; empty when none
    qint64 ms = 0;
};

namespace WineRestart {

// Bounds of each step: ending the session, the server, starting again, one
// RunOnce command (a "finish after restart" step of a setup).
constexpr int EndSessionMs = 30000;
constexpr int ServerMs = 30000;
constexpr int BootMs = 120000;
constexpr int RunOnceMs = 600000;

// A value of a key in a Wine registry file (system.reg, user.reg).
struct RegValue
{
    QString name;
    QString type; // "sz", "multi_sz", or another type written as hex
    QStringList strings;
};
// The values of key (as Wine writes it, "Software\Microsoft\..."; any letter
// case) in a registry file's text.
QList<RegValue> valuesOf(const QByteArray &regFile, const QString &key);
// The pending renames of system.reg, as pairs in the order they are to be done.
QList<PendingRename> pendingRenames(const QByteArray &systemReg);
// The user's RunOnce values of user.reg: name and command.
QList<RegValue> userRunOnce(const QByteArray &userReg);

// A file name as the prefix's registry holds it ("\??\C:\a.txt", "C:\a.txt")
// as a path on this system, through the prefix's drive links; empty when it
// names no drive.
QString unixPathOf(const QString &prefix, const QString &windowsPath);

// The prefix's "<pid> <name>" Windows programs running now, without Wine's
// own services, and whether its server runs.
QStringList runningPrograms(const QString &prefix, bool *serverRuns = nullptr);

// Ends prefix's session and server, starts it again and runs the user's
// RunOnce entries through launcher (WineWait.exe; empty or missing: they
// are recorded, not run). Bounded at every step; the event loop turns.
WineRestartRecord restart(const QString &prefix, const QString &launcher);

// For people, one line each: what the restart ended, renamed and ran.
QStringList summary(const WineRestartRecord &record);

// --prefix: a NAME is $XDG_DATA_HOME/wineprefixes/NAME (by default
// ~/.local/share/wineprefixes), a DIR (with a slash) is used as it is. Empty
// and *error for a name that is not one.
QString prefixFor(const QString &nameOrDir, QString *error);
// Whether the prefix has been made (its system.reg exists).
bool prefixExists(const QString &prefix);
// Makes a missing prefix, 64-bit; false and *error when it could not be.
bool createPrefix(const QString &prefix, QString *error);
// "win64" or "win32" from the prefix's system.reg; empty when unknown.
QString prefixArch(const QString &prefix);

} // namespace WineRestart
