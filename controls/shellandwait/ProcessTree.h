// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What an installation leaves running after its first program has ended.
// This process is a child subreaper, so a setup's orphans (a bootstrapper's
// real installer; every process Wine starts, as Wine double-forks) become
// its children; they are told from the program's own children by their
// session and start time, read from /proc.
#include "RunAndWaitInterface.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>
#include <sys/types.h>

class QEventLoop;
class QSocketNotifier;

namespace ShellAndWaitLogic {

struct ProcessStat
{
    pid_t pid = 0;
    pid_t ppid = 0;
    pid_t session = 0;
    char state = '?';
    quint64 startTime = 0; // clock ticks after boot
};

// This process's own session: a setup's processes are told from it by theirs.
// It never changes (only the setups get sessions of their own), so it is
// asked once.
pid_t ownSession();

// Makes this process the one orphaned descendants are handed to (on) or
// hands them to init again (off). False when the system refuses.
bool becomeSubreaper(bool on = true);

// This process is a subreaper while one lives: only during a call, so the
// processes other parts of the program start detached (System Info) never
// come back to it as zombies.
class SubreaperScope
{
public:
    SubreaperScope() { becomeSubreaper(true); }
    ~SubreaperScope() { becomeSubreaper(false); }
    SubreaperScope(const SubreaperScope &) = delete;
    SubreaperScope &operator=(const SubreaperScope &) = delete;
};

bool readProcessStat(pid_t pid, ProcessStat *stat);
// Now, in the clock ticks after boot that ProcessStat::startTime counts,
// rounded down: a process started later never shows an earlier start.
quint64 startTicksNow();
// Every process whose parent is this process, as /proc shows them now.
QList<ProcessStat> childrenOfThisProcess();
// The program's file name: the last part of argv[0] (a Windows path under
// Wine), else the kernel's command name.
QString processName(pid_t pid);
// Its arguments joined by single blanks, else the kernel's command name.
QString processCommandLine(pid_t pid);
// Each of roots still running and every process running below it, each
// once, without Wine's service processes and wine server.
QList<LeftoverProcess> runningTrees(const QList<pid_t> &roots);
// Wine's own processes that outlive the programs of a prefix: its services
// and the wine server.
bool isWineServiceProcess(pid_t pid);
bool isWineServiceName(const QString &name);

// Reaps pid, a child of this process, whenever it ends, on a thread of its own.
void reapInBackground(pid_t pid);

// Waits, with the thread's events flowing and without polling, until every
// process an installation left behind has ended.
class LeftoverWait
{
public:
    // before: the children this process had before the program started;
    // program: the started program (already ended). Wine's service processes
    // and wine server are not waited for, also when a script started Wine.
    LeftoverWait(const QSet<pid_t> &before, const ProcessStat &program);
    // Whatever is still running is left running and reaped when it ends.
    ~LeftoverWait();
    LeftoverWait(const LeftoverWait &) = delete;
    LeftoverWait &operator=(const LeftoverWait &) = delete;

    // Looks for leftovers; true when there are some to wait for.
    bool find();
    // Runs a local event loop until none is left (true), or abandon() is
    // called or the thread's loops are told to end (false).
    bool wait();
    void abandon();

    // "<pid> <command line>" of each leftover still awaited.
    QStringList remaining() const;
    // The same, as id, name and command line.
    QList<LeftoverProcess> remainingProcesses() const;
    // The processes awaited now, whose trees are still running.
    QList<pid_t> remainingPids() const;

    // Each process this wait saw end (and reaped), with its start time: a
    // Wine restart's programs may end during it, and their restart names them.
    struct Ended
    {
        pid_t pid;
        QString name;
        quint64 startTime;
    };
    const QList<Ended> &endedProcesses() const { return m_ended; }

private:
    struct Watched;
    void scan();
    void ended(pid_t pid);

    QSet<pid_t> m_before;
    ProcessStat m_program;
    QSet<pid_t> m_known; // watched, ignored or reaped
    QList<Ended> m_ended;
    QList<std::shared_ptr<Watched>> m_watched;
    QEventLoop *m_loop = nullptr;
    bool m_abandoned = false;
};

} // namespace ShellAndWaitLogic
