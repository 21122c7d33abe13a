// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProcessTree.h"

#include "core/io/FileIO.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMultiHash>
#include <QObject>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ShellAndWaitLogic {

pid_t ownSession()
{
    static const pid_t session = ::getsid(0);
    return session;
}

bool becomeSubreaper(bool on) { return ::prctl(PR_SET_CHILD_SUBREAPER, on ? 1 : 0, 0, 0, 0) == 0; }

// The first 64 KiB at most: what is read here is far shorter.
static QByteArray readSmallFile(const QByteArray &path)
{
    const FileIO::Fd file = FileIO::open(path, O_RDONLY | O_CLOEXEC);
    if (!file.isOpen())
        return QByteArray();
    QByteArray data(65536, Qt::Uninitialized);
    const qsizetype n = FileIO::readUpTo(file.get(), data.data(), size_t(data.size()));
    data.truncate(qMax<qsizetype>(n, 0));
    return data;
}

bool readProcessStat(pid_t pid, ProcessStat *stat)
{
    const QByteArray text = readSmallFile("/proc/" + QByteArray::number(pid) + "/stat");
    // The command name may hold blanks and parentheses: the fields follow its last ')'.
    const qsizetype close = text.lastIndexOf(')');
    if (close < 0)
        return false;
    const QList<QByteArray> f = text.mid(close + 2).split(' ');
    if (f.size() < 20 || f.at(0).isEmpty())
        return false;
    stat->pid = pid;
    stat->state = f.at(0).at(0);
    stat->ppid = pid_t(f.at(1).toInt());
    stat->session = pid_t(f.at(3).toInt());
    stat->startTime = f.at(19).toULongLong();
    return true;
}

quint64 startTicksNow()
{
    timespec ts = {};
    ::clock_gettime(CLOCK_BOOTTIME, &ts);
    static const long ticks = ::sysconf(_SC_CLK_TCK);
    const quint64 ns = quint64(ts.tv_sec) * 1000000000ull + quint64(ts.tv_nsec);
    return ns / (1000000000ull / quint64(ticks > 0 ? ticks : 100));
}

namespace {

// The kernel lists each thread's children in /proc/self/task/<tid>/children
// (where it is built with that file): far cheaper than reading every process.
bool childListsAvailable()
{
    static const bool available =
            ::access(("/proc/self/task/" + QByteArray::number(::getpid()) + "/children").constData(), R_OK) == 0;
    return available;
}

QList<pid_t> listedChildren()
{
    QList<pid_t> pids;
    DIR *tasks = ::opendir("/proc/self/task");
    if (!tasks)
        return pids;
    while (const dirent *e = ::readdir(tasks)) {
        if (e->d_name[0] < '0' || e->d_name[0] > '9')
            continue;
        const QByteArray text = readSmallFile(QByteArray("/proc/self/task/") + e->d_name + "/children");
        for (const QByteArray &word : text.split(' ')) {
            bool ok = false;
            const int pid = word.trimmed().toInt(&ok);
            if (ok && pid > 0)
                pids.append(pid_t(pid));
        }
    }
    ::closedir(tasks);
    return pids;
}

QList<pid_t> allProcesses()
{
    QList<pid_t> pids;
    DIR *dir = ::opendir("/proc");
    if (!dir)
        return pids;
    while (const dirent *e = ::readdir(dir)) {
        char *end = nullptr;
        const long pid = std::strtol(e->d_name, &end, 10);
        if (pid > 0 && !*end)
            pids.append(pid_t(pid));
    }
    ::closedir(dir);
    return pids;
}

} // namespace

// One call instead of a walk through /proc when this process has no child at
// all, which is the usual case before and after a program.
static bool hasNoChildren()
{
    siginfo_t info = {};
    const int rc = FileIO::retryOnSignal([&] { return ::waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT); });
    return rc < 0 && errno == ECHILD;
}

QList<ProcessStat> childrenOfThisProcess()
{
    QList<ProcessStat> children;
    if (hasNoChildren())
        return children;
    const pid_t self = ::getpid();
    const QList<pid_t> candidates = childListsAvailable() ? listedChildren() : allProcesses();
    for (const pid_t pid : candidates) {
        ProcessStat st;
        if (readProcessStat(pid, &st) && st.ppid == self)
            children.append(st);
    }
    return children;
}

QString processName(pid_t pid)
{
    const QByteArray proc = "/proc/" + QByteArray::number(pid);
    QByteArray argv0 = readSmallFile(proc + "/cmdline");
    argv0.truncate(argv0.indexOf('\0') < 0 ? argv0.size() : argv0.indexOf('\0'));
    const qsizetype cut = std::max(argv0.lastIndexOf('/'), argv0.lastIndexOf('\\'));
    QString name = QString::fromUtf8(argv0.mid(cut + 1));
    if (name.isEmpty())
        name = QString::fromUtf8(readSmallFile(proc + "/comm")).trimmed();
    return name;
}

QString processCommandLine(pid_t pid)
{
    const QByteArray proc = "/proc/" + QByteArray::number(pid);
    QByteArray args = readSmallFile(proc + "/cmdline");
    while (args.endsWith('\0'))
        args.chop(1);
    args.replace('\0', ' ');
    if (args.isEmpty())
        return QString::fromUtf8(readSmallFile(proc + "/comm")).trimmed();
    return QString::fromUtf8(args);
}

QList<LeftoverProcess> runningTrees(const QList<pid_t> &roots)
{
    QMultiHash<pid_t, pid_t> children;
    for (const pid_t pid : allProcesses()) {
        ProcessStat st;
        if (readProcessStat(pid, &st))
            children.insert(st.ppid, pid);
    }
    QList<LeftoverProcess> list;
    QSet<pid_t> seen;
    QList<pid_t> pending = roots;
    while (!pending.isEmpty()) {
        const pid_t pid = pending.takeFirst();
        ProcessStat st;
        if (seen.contains(pid) || !readProcessStat(pid, &st) || st.state == 'Z')
            continue;
        seen.insert(pid);
        if (isWineServiceProcess(pid))
            continue;
        list << LeftoverProcess{pid, processName(pid), processCommandLine(pid)};
        QList<pid_t> below = children.values(pid);
        std::sort(below.begin(), below.end());
        pending += below;
    }
    return list;
}

bool isWineServiceName(const QString &name)
{
    static const char *const services[] = {
            "services.exe", "explorer.exe", "winedevice.exe",      "plugplay.exe", "rpcss.exe",
            "svchost.exe",  "wineboot.exe", "winemenubuilder.exe", "conhost.exe",
    };
    const QString lower = name.toLower();
    for (const char *s : services)
        if (lower == QLatin1String(s))
            return true;
    return lower.startsWith(QLatin1String("wineserver"));
}

bool isWineServiceProcess(pid_t pid)
{
    if (isWineServiceName(processName(pid)))
        return true;
    const QString exe = QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget();
    return QFileInfo(exe).fileName().startsWith(QLatin1String("wineserver"));
}

// Reaps pid if it has ended; true when it was reaped (or is no child any more).
static bool reapIfEnded(pid_t pid, int pidfd)
{
    siginfo_t info{};
    const int rc = FileIO::retryOnSignal([&] {
        return pidfd >= 0 ? ::waitid(P_PIDFD, id_t(pidfd), &info, WEXITED | WNOHANG)
                          : ::waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG);
    });
    if (rc < 0 && errno == EINVAL && pidfd >= 0) // a kernel without P_PIDFD
        return reapIfEnded(pid, -1);
    if (rc < 0)
        return true; // not ours to wait for any more
    return info.si_pid != 0;
}

struct LeftoverWait::Watched
{
    pid_t pid = 0;
    quint64 startTime = 0;
    int pidfd = -1;
    QString name;
    QString commandLine;
    QSocketNotifier *notifier = nullptr;

    ~Watched()
    {
        // Possibly inside the notifier's own signal: it goes later.
        if (notifier) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
        if (pidfd >= 0)
            ::close(pidfd);
    }
};

LeftoverWait::LeftoverWait(const QSet<pid_t> &before, const ProcessStat &program) : m_before(before), m_program(program)
{
}

LeftoverWait::~LeftoverWait()
{
    for (const auto &w : m_watched)
        reapInBackground(w->pid);
}

bool LeftoverWait::find()
{
    scan();
    return !m_watched.isEmpty();
}

void LeftoverWait::scan()
{
    for (const ProcessStat &child : childrenOfThisProcess()) {
        if (m_known.contains(child.pid) || m_before.contains(child.pid))
            continue;
        // Children the rest of this program starts stay in its session; the
        // installation runs in a session of its own and began with the program.
        if (child.session == ownSession() || child.startTime < m_program.startTime)
            continue;
        m_known.insert(child.pid);
        if (child.state == 'Z') {
            // Already ended: its own children came to this process first.
            m_ended.append({child.pid, processName(child.pid), child.startTime});
            reapIfEnded(child.pid, -1);
            continue;
        }
        if (isWineServiceProcess(child.pid)) {
            // Wine's own: ends when Wine decides; nobody waits for it.
            reapInBackground(child.pid);
            continue;
        }
        auto w = std::make_shared<Watched>();
        w->pid = child.pid;
        w->startTime = child.startTime;
        w->name = processName(child.pid);
        w->commandLine = processCommandLine(child.pid);
        const long fd = ::syscall(SYS_pidfd_open, child.pid, 0);
        if (fd < 0) {
            // No pidfd on this system: it is reaped when it ends, not awaited.
            reapInBackground(child.pid);
            continue;
        }
        w->pidfd = int(fd);
        ::fcntl(w->pidfd, F_SETFD, FD_CLOEXEC);
        w->notifier = new QSocketNotifier(w->pidfd, QSocketNotifier::Read);
        const pid_t pid = child.pid;
        QObject::connect(w->notifier, &QSocketNotifier::activated, w->notifier, [this, pid] { ended(pid); });
        m_watched.append(w);
    }
}

void LeftoverWait::ended(pid_t pid)
{
    for (qsizetype i = 0; i < m_watched.size(); ++i) {
        const auto w = m_watched.at(i);
        if (w->pid != pid)
            continue;
        if (!reapIfEnded(pid, w->pidfd))
            return; // woken early; the notifier stays armed
        m_ended.append({pid, w->name, w->startTime});
        m_watched.removeAt(i);
        // Its children, if any, have just been handed to this process.
        scan();
        if (m_watched.isEmpty() && m_loop)
            m_loop->quit();
        return;
    }
}

bool LeftoverWait::wait()
{
    if (m_watched.isEmpty() || m_abandoned || m_loop)
        return m_watched.isEmpty();
    QEventLoop loop;
    m_loop = &loop;
    loop.exec();
    m_loop = nullptr;
    return m_watched.isEmpty();
}

void LeftoverWait::abandon()
{
    m_abandoned = true;
    if (m_loop)
        m_loop->quit();
}

QStringList LeftoverWait::remaining() const
{
    QStringList list;
    for (const auto &w : m_watched)
        list << QStringLiteral("%1 %2").arg(w->pid).arg(w->commandLine);
    return list;
}

QList<LeftoverProcess> LeftoverWait::remainingProcesses() const
{
    QList<LeftoverProcess> list;
    for (const auto &w : m_watched)
        list << LeftoverProcess{w->pid, w->name, w->commandLine};
    return list;
}

QList<pid_t> LeftoverWait::remainingPids() const
{
    QList<pid_t> list;
    for (const auto &w : m_watched)
        list << w->pid;
    return list;
}

} // namespace ShellAndWaitLogic
