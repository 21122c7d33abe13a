// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChildWait.h"

#include "ProcessTree.h"
#include "core/io/FileIO.h"

#include <QEventLoop>
#include <QMetaObject>
#include <QObject>
#include <QSocketNotifier>

#include <cerrno>
#include <dlfcn.h>
#include <functional>
#include <mutex>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace ShellAndWaitLogic {

struct ChildWait::Shared
{
    std::mutex mutex;
    QObject *relay = nullptr; // nulled (under the mutex) before the relay goes away
};

// A waiting thread runs code of this library; the library must stay loaded
// until that thread is done, even if the host unloads the plugin.
static void keepLibraryLoaded()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Dl_info info;
        if (dladdr(reinterpret_cast<void *>(&keepLibraryLoaded), &info) && info.dli_fname)
            dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    });
}

static pid_t waitBlocking(pid_t pid, int *status)
{
    return FileIO::retryOnSignal([&] { return ::waitpid(pid, status, 0); });
}

// Reaps pid whenever it ends; tells shared->relay if that is still there.
static void startWaitingThread(pid_t pid, std::shared_ptr<ChildWait::Shared> shared,
                               std::function<void(int, bool)> onEnd)
{
    keepLibraryLoaded();
    std::thread([pid, shared, onEnd] {
        int status = 0;
        const bool known = waitBlocking(pid, &status) == pid;
        if (!shared)
            return;
        std::lock_guard<std::mutex> lock(shared->mutex);
        // A queued call to the relay is dropped if the relay is deleted first.
        if (shared->relay)
            QMetaObject::invokeMethod(
                    shared->relay, [onEnd, status, known] { onEnd(status, known); }, Qt::QueuedConnection);
    }).detach();
}

void reapInBackground(pid_t pid) { startWaitingThread(pid, nullptr, {}); }

ChildWait::ChildWait(pid_t pid, Method method) : m_pid(pid)
{
    if (method == Method::Auto) {
        const long fd = ::syscall(SYS_pidfd_open, pid, 0);
        if (fd >= 0) {
            m_pidfd = int(fd);
            m_usesPidfd = true; // close-on-exec, as every pidfd is
            m_notifier = new QSocketNotifier(m_pidfd, QSocketNotifier::Read);
            QObject::connect(m_notifier, &QSocketNotifier::activated, m_notifier, [this] {
                int status = 0;
                const pid_t rc = FileIO::retryOnSignal([&] { return ::waitpid(m_pid, &status, WNOHANG); });
                if (rc == 0)
                    return; // not yet; the notifier stays armed
                childEnded(status, rc == m_pid);
            });
            return;
        }
    }
    startThread();
}

void ChildWait::startThread()
{
    m_relay = new QObject;
    m_shared = std::make_shared<Shared>();
    m_shared->relay = m_relay;
    startWaitingThread(m_pid, m_shared, [this](int status, bool known) { childEnded(status, known); });
}

ChildWait::~ChildWait()
{
    if (m_shared) {
        // The waiting thread goes on and reaps the child; it no longer reports.
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        m_shared->relay = nullptr;
    }
    delete m_relay;
    const bool handOver = !m_ended && m_pidfd >= 0;
    closePidfd();
    if (handOver)
        startWaitingThread(m_pid, nullptr, {});
}

void ChildWait::closePidfd()
{
    delete m_notifier;
    m_notifier = nullptr;
    if (m_pidfd >= 0) {
        ::close(m_pidfd);
        m_pidfd = -1;
    }
}

void ChildWait::childEnded(int status, bool known)
{
    if (m_ended)
        return;
    m_ended = true;
    if (m_notifier)
        m_notifier->setEnabled(false);
    if (!known)
        m_exitCode = -1;
    else if (WIFEXITED(status))
        m_exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status)) {
        m_exitSignal = WTERMSIG(status);
        m_exitCode = 128 + m_exitSignal;
    } else
        m_exitCode = -1;
    if (m_loop)
        m_loop->quit();
}

bool ChildWait::wait()
{
    if (m_ended || m_abandoned || m_loop)
        return m_ended;
    QEventLoop loop;
    m_loop = &loop;
    loop.exec();
    m_loop = nullptr;
    return m_ended;
}

void ChildWait::abandon()
{
    m_abandoned = true;
    if (m_loop)
        m_loop->quit();
}

} // namespace ShellAndWaitLogic
