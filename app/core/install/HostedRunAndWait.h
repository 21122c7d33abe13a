// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The hosted "Project1.ShellAndWait" control, reached through its interface:
// cast once, then called directly.
#include "RunAndWaitInterface.h"
#include "core/install/InstallRun.h"

#include <QPointer>

class HostedRunAndWait
{
public:
    // control: what the host created; null when the library is missing.
    explicit HostedRunAndWait(QObject *control = nullptr);

    // Starts commandLine and waits for the program; without a usable control
    // the result is that error.
    RunResult run(const QString &commandLine) const;
    // Stops the control's wait for processes an ended setup left running;
    // false when it was waiting for none.
    bool stopWaiting() const;
    // Gives up waiting for the running program and what it started, which go
    // on running; false when no program is awaited.
    bool abandon() const;
    // Where the programs started afterwards write their output: a duplicate
    // of fd; -1: this process's own standard output and error.
    void setOutput(int fd) const;
    // Calls handler while context lives each time the control begins waiting
    // for processes an ended setup left running.
    QMetaObject::Connection onWaitingForLeftovers(const QObject *context,
                                                  RunAndWaitControl::LeftoversHandler handler) const;

    // Serves run with everything of this control but starting programs:
    // stopping its waits, where the setups' output goes, and the processes
    // they leave running (after Cancel not waited for: no further program
    // starts after them). This object and run outlive context's connections.
    void serve(InstallRun &run, const QObject *context) const;

private:
    QPointer<QObject> m_object; // the control's window may go away during a call
    RunAndWaitControl *m_control = nullptr;
};
