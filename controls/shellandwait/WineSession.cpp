// SPDX-License-Identifier: GPL-3.0-or-later
#include "WineSession.h"

#include "core/io/FileIO.h"

#include <QEventLoop>
#include <QObject>
#include <QScopeGuard>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ShellAndWaitLogic {

bool isWineRestart(const QStringList &arguments)
{
    // wineboot's own options, long and short (short ones may be combined).
    static const struct
    {
        char letter;
        const char *name;
    } options[] = {{'e', "end-session"}, {'f', "force"},    {'i', "init"},   {'k', "kill"},
                   {'r', "restart"},     {'s', "shutdown"}, {'u', "update"}, {'h', "help"}};
    QString letters;
    for (const QString &arg : arguments) {
        if (arg.startsWith(QLatin1String("--"))) {
            for (const auto &o : options)
                if (arg.mid(2) == QLatin1String(o.name))
                    letters += QLatin1Char(o.letter);
        } else if (arg.startsWith(QLatin1Char('-'))) {
            letters += arg.mid(1);
        }
    }
    for (const char notRestart : {'i', 'u', 's', 'h'})
        if (letters.contains(QLatin1Char(notRestart)))
            return false;
    return true;
}

// argv of a running process; empty for one that has ended.
static QStringList commandLineOf(pid_t pid)
{
    const FileIO::ReadResult r = FileIO::readFile("/proc/" + QByteArray::number(pid) + "/cmdline", 65536);
    QStringList args;
    if (!r.ok)
        return args;
    // Wine rewrites its argv in place, padded with blanks.
    for (const QByteArray &a : r.data.split('\0'))
        if (!a.trimmed().isEmpty())
            args << QString::fromUtf8(a.trimmed());
    return args;
}

static bool hasExited(int pidfd)
{
    pollfd p{pidfd, POLLIN, 0};
    return FileIO::retryOnSignal([&] { return ::poll(&p, 1, 0); }) > 0;
}

static void reapNow(pid_t pid)
{
    siginfo_t info{};
    FileIO::retryOnSignal([&] { return ::waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG); });
}

static QString seconds(quint64 ticks)
{
    static const long perSecond = ::sysconf(_SC_CLK_TCK);
    return QString::number(qRound(double(ticks) / double(perSecond > 0 ? perSecond : 100)));
}

WineRestartWait::WineRestartWait(quint64 since) : m_since(since) {}

WineRestartWait::~WineRestartWait()
{
    for (const Restart &r : std::as_const(m_restarts)) {
        if (!r.ended)
            reapInBackground(r.pid);
        if (r.pidfd >= 0)
            ::close(r.pidfd);
    }
}

void WineRestartWait::notice()
{
    for (const ProcessStat &child : childrenOfThisProcess()) {
        if (child.state == 'Z' || child.session == ownSession() || child.startTime < m_since)
            continue;
        if (isRestart(child.pid)
            || processName(child.pid).compare(QLatin1String("wineboot.exe"), Qt::CaseInsensitive) != 0)
            continue;
        QStringList args = commandLineOf(child.pid);
        if (args.isEmpty())
            continue;
        args.removeFirst();
        if (!isWineRestart(args))
            continue;
        Restart r;
        r.pid = child.pid;
        r.arguments = args.join(QLatin1Char(' '));
        r.startTime = child.startTime;
        const long fd = ::syscall(SYS_pidfd_open, child.pid, 0);
        if (fd >= 0) {
            r.pidfd = int(fd);
            ::fcntl(r.pidfd, F_SETFD, FD_CLOEXEC);
        } else {
            // No pidfd on this system: told, not awaited.
            r.ended = true;
        }
        m_restarts << r;
    }
}

QList<LeftoverProcess> WineRestartWait::processes() const
{
    QList<LeftoverProcess> list;
    for (const Restart &r : m_restarts)
        if (!r.ended)
            list << LeftoverProcess{r.pid, QStringLiteral("wineboot.exe"),
                                    QStringLiteral("wineboot.exe ") + r.arguments};
    return list;
}

bool WineRestartWait::restartsEnded()
{
    bool all = true;
    for (Restart &r : m_restarts) {
        if (!r.ended && hasExited(r.pidfd))
            r.ended = true;
        all = all && r.ended;
    }
    return all;
}

void WineRestartWait::noteRan(const QList<LeftoverWait::Ended> &ended)
{
    const quint64 start = restartStart();
    for (const LeftoverWait::Ended &e : ended)
        if (!isRestart(e.pid) && e.startTime >= start && !isWineServiceName(e.name) && !m_ran.contains(e.name))
            m_ran << e.name;
}

void WineRestartWait::collectEnded()
{
    const quint64 start = restartStart();
    noteRan(m_endedBefore);
    for (const ProcessStat &child : childrenOfThisProcess()) {
        if (child.state != 'Z' || child.session == ownSession() || child.startTime < start)
            continue;
        // Only its kernel name is left (up to 15 characters).
        const QString name = processName(child.pid);
        if (!isRestart(child.pid) && !isWineServiceName(name))
            m_ran << name;
        reapNow(child.pid);
    }
}

bool WineRestartWait::isRestart(pid_t pid) const
{
    return std::any_of(m_restarts.cbegin(), m_restarts.cend(), [pid](const Restart &r) { return r.pid == pid; });
}

quint64 WineRestartWait::restartStart() const
{
    quint64 start = 0;
    for (const Restart &r : m_restarts)
        start = start ? qMin(start, r.startTime) : r.startTime;
    return start;
}

void WineRestartWait::keepStillRunning()
{
    const quint64 start = restartStart();
    for (const ProcessStat &child : childrenOfThisProcess()) {
        if (child.state == 'Z' || child.session == ownSession() || child.startTime < start)
            continue;
        const QString name = processName(child.pid);
        const bool restart = isRestart(child.pid);
        if (restart || !isWineServiceName(name)) {
            m_remaining << QStringLiteral("%1 %2").arg(child.pid).arg(name);
            if (!restart)
                reapInBackground(child.pid);
        }
    }
}

WineRestartWait::End WineRestartWait::wait(int boundMs)
{
    const auto endWith = [this](End end) {
        m_endTicks = startTicksNow();
        return end;
    };
    if (m_restarts.isEmpty())
        return endWith(End::Ended);
    const auto cut = [this]() {
        if (m_started)
            m_started->abandon();
        else if (m_loop)
            m_loop->quit();
    };
    const auto notEnded = [this]() { return m_abandoned ? End::Stopped : m_timedOut ? End::GaveUp : End::Interrupted; };
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &deadline, [this, cut] {
        m_timedOut = true;
        cut();
    });
    deadline.start(boundMs);

    // wineboot itself, which runs the RunOnce entries one after another.
    if (!restartsEnded() && !m_abandoned) {
        QEventLoop loop;
        QList<QSocketNotifier *> notifiers;
        for (const Restart &r : std::as_const(m_restarts)) {
            if (r.ended)
                continue;
            auto *n = new QSocketNotifier(r.pidfd, QSocketNotifier::Read);
            QObject::connect(n, &QSocketNotifier::activated, n, [this, &loop] {
                if (restartsEnded())
                    loop.quit();
            });
            notifiers << n;
        }
        m_loop = &loop;
        loop.exec();
        m_loop = nullptr;
        qDeleteAll(notifiers);
    }
    if (!restartsEnded()) {
        keepStillRunning();
        return endWith(notEnded());
    }

    // What it ran: the RunOnce entries have ended, Run entries may run on.
    collectEnded();
    ProcessStat start;
    start.startTime = restartStart();
    LeftoverWait started({}, start);
    // Those that end from here on, also between the look above and this
    // one's first, are reaped by this wait: it names them.
    const auto noteEnded = qScopeGuard([&] { noteRan(started.endedProcesses()); });
    if (!started.find())
        return endWith(End::Ended);
    for (const LeftoverProcess &p : started.remainingProcesses())
        m_ran << p.name;
    m_started = &started;
    const bool done = !m_abandoned && !m_timedOut && started.wait();
    m_started = nullptr;
    if (done)
        return endWith(End::Ended);
    m_remaining = started.remaining();
    return endWith(notEnded());
}

void WineRestartWait::abandon()
{
    m_abandoned = true;
    if (m_started)
        m_started->abandon();
    else if (m_loop)
        m_loop->quit();
}

QString WineRestartWait::summary(End end, bool waited) const
{
    if (m_restarts.isEmpty())
        return QString();
    const Restart &first = m_restarts.first();
    QString text = QStringLiteral("Wine restarted the prefix (wineboot %1)").arg(first.arguments);
    if (!waited)
        return text + QStringLiteral("; not waited for");
    // What still runs is named below.
    if (!m_ran.isEmpty())
        text += QStringLiteral(" and ran %1").arg(m_ran.join(QLatin1String(", ")));
    else if (end == End::Ended)
        text += QStringLiteral(" and ran no program");
    const quint64 ticks = (m_endTicks ? m_endTicks : startTicksNow()) - restartStart();
    switch (end) {
    case End::Ended: return text + QStringLiteral(", %1 s").arg(seconds(ticks));
    case End::GaveUp:
        return text
               + QStringLiteral("; gave up waiting after %1 s, still running: %2")
                         .arg(seconds(ticks), m_remaining.join(QLatin1String(", ")));
    case End::Stopped:
    case End::Interrupted:
        return text
               + QStringLiteral("; stopped waiting after %1 s, still running: %2")
                         .arg(seconds(ticks), m_remaining.join(QLatin1String(", ")));
    }
    return text;
}

} // namespace ShellAndWaitLogic
