// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Waiting for a started program to end while the calling thread's events keep
// being dispatched, without polling: the process's pidfd wakes a local event
// loop; where pidfd_open is missing, a thread blocked in waitpid does.
#include <QtGlobal>

#include <memory>
#include <sys/types.h>

class QEventLoop;
class QObject;
class QSocketNotifier;

namespace ShellAndWaitLogic {

class ChildWait
{
public:
    enum class Method { Auto, Thread };

    // pid must be a child of this process that nobody else waits for.
    explicit ChildWait(pid_t pid, Method method = Method::Auto);
    // A child that has not ended is left running; a detached thread reaps it
    // when it ends.
    ~ChildWait();
    ChildWait(const ChildWait &) = delete;
    ChildWait &operator=(const ChildWait &) = delete;

    // Runs a local event loop until the child has ended, abandon() is called
    // or the thread's event loops are told to end. True when it has ended.
    bool wait();
    // Ends wait() without waiting for the child any longer.
    void abandon();

    bool hasEnded() const { return m_ended; }
    // Exit status; 128 + signal number when a signal ended it; -1 when unknown.
    int exitCode() const { return m_exitCode; }
    // The signal that ended it; 0 when it exited.
    int exitSignal() const { return m_exitSignal; }
    bool usesPidfd() const { return m_usesPidfd; }
    pid_t pid() const { return m_pid; }

    struct Shared;

private:
    void startThread();
    void childEnded(int status, bool known);
    void closePidfd();

    pid_t m_pid;
    int m_pidfd = -1;
    QSocketNotifier *m_notifier = nullptr;
    std::shared_ptr<Shared> m_shared; // with the waiting thread, if any
    QObject *m_relay = nullptr;       // receives the waiting thread's news
    QEventLoop *m_loop = nullptr;
    bool m_usesPidfd = false;
    bool m_ended = false;
    bool m_abandoned = false;
    int m_exitCode = -1;
    int m_exitSignal = 0;
};

} // namespace ShellAndWaitLogic
