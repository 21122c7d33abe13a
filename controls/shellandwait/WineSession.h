// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A restart of the Wine prefix that an installation asked for. ExitWindowsEx
// with EWX_REBOOT starts "wineboot --end-session" and returns at once, so the
// restart runs after the setup has ended: wineboot runs the prefix's RunOnce
// entries one after another (a setup's "finish after restart" step), then its
// Run entries and start-up items. What it runs belongs to the installation:
// it is awaited, bounded, and told in one line.
#include "ProcessTree.h"
#include "RunAndWaitInterface.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <sys/types.h>

class QEventLoop;

namespace ShellAndWaitLogic {

// Whether wineboot's arguments (without argv[0]) ask for a restart: not the
// prefix's first start (--init), an update (--update), a shutdown
// (--shutdown, as ExitWindowsEx asks for everything but a reboot) or help.
bool isWineRestart(const QStringList &arguments);

class WineRestartWait
{
public:
    // At most this long: a RunOnce step takes seconds, while a Run entry that
    // stays (a tray program) would otherwise hold every later program back.
    static constexpr int BoundMs = 120000;

    enum class End {
        Ended,      // the restart and everything it started have ended
        GaveUp,     // the bound passed first
        Stopped,    // abandon() was called
        Interrupted // the thread's event loops were told to end
    };

    // since: when the installation began, in startTicksNow()'s ticks.
    explicit WineRestartWait(quint64 since);
    // Whatever still runs goes on running and is reaped when it ends.
    ~WineRestartWait();
    WineRestartWait(const WineRestartWait &) = delete;
    WineRestartWait &operator=(const WineRestartWait &) = delete;

    // Takes note of every wineboot restart among this process's children
    // that began with the installation, in a session of its own. Called as
    // soon as the program has ended (before anything reaps wineboot) and
    // again later; a handle on each keeps it known once it has ended.
    void notice();
    bool found() const { return !m_restarts.isEmpty(); }
    // The restarts' wineboot processes still running.
    QList<LeftoverProcess> processes() const;

    // Runs a local event loop until the restarts and what they started have
    // ended, boundMs passed, abandon() was called or the thread's loops are
    // told to end.
    End wait(int boundMs = BoundMs);
    void abandon();

    // Processes the wait for an installation's leftovers saw end before this
    // wait: those that began with a restart are programs it ran.
    void takeEnded(const QList<LeftoverWait::Ended> &ended) { m_endedBefore += ended; }

    // For people: what the restart ran, how long it took, what still ran
    // when waiting ended. waited: false when it was not waited for at all.
    QString summary(End end, bool waited = true) const;

private:
    struct Restart
    {
        pid_t pid = 0;
        int pidfd = -1;
        QString arguments;
        quint64 startTime = 0;
        bool ended = false;
    };
    bool restartsEnded();
    bool isRestart(pid_t pid) const; // one of m_restarts' wineboot processes
    quint64 restartStart() const;
    // The programs the restart ran that have already ended: named, reaped.
    void collectEnded();
    // Names each of ended that began with the restart, unless it is Wine's own.
    void noteRan(const QList<LeftoverWait::Ended> &ended);
    // Names in m_remaining what still runs of the restart; reaped when it ends.
    void keepStillRunning();

    quint64 m_since;
    QList<Restart> m_restarts;
    QList<LeftoverWait::Ended> m_endedBefore;
    QStringList m_ran;       // the programs the restart ran, by name
    QStringList m_remaining; // "<pid> <name>" of what still ran when waiting ended
    quint64 m_endTicks = 0;
    QEventLoop *m_loop = nullptr;
    LeftoverWait *m_started = nullptr; // while what the restart started is awaited
    bool m_abandoned = false;
    bool m_timedOut = false;
};

} // namespace ShellAndWaitLogic
