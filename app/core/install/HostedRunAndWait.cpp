// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/install/HostedRunAndWait.h"

#include "ControlContract.h"

HostedRunAndWait::HostedRunAndWait(QObject *control)
    : m_object(control), m_control(qobject_cast<RunAndWaitControl *>(control))
{
}

RunResult HostedRunAndWait::run(const QString &commandLine) const
{
    RunResult result;
    if (!m_object) {
        result.number = RunTimeError::CantCreateObject;
        result.description = QStringLiteral("The run-and-wait control (ShellAndWait.ocx) is not available.");
        return result;
    }
    if (!m_control) {
        result.number = RunTimeError::NotSupported;
        result.description = QStringLiteral("The run-and-wait control does not support this action.");
        return result;
    }
    result.number = m_control->ShellAndWait(commandLine);
    result.exitCodeKnown = false;
    if (!m_object) // its window went away while the program ran
        return result;
    if (result.number != 0) {
        result.description = m_control->ErrorDescription();
    } else if (m_control->HasExitCode()) {
        result.exitCode = m_control->ExitCode();
        result.exitCodeKnown = true;
    }
    result.abandoned = m_control->WasAbandoned();
    result.exitSignal = m_control->ExitSignal();
    result.startedFile = m_control->StartedFile();
    result.installerType = m_control->InstallerType();
    result.machine = m_control->Machine();
    result.leftBehind = m_control->LeftBehind();
    result.wineRestart = m_control->WineRestart();
    return result;
}

bool HostedRunAndWait::abandon() const { return m_object && m_control && m_control->Abandon(); }

void HostedRunAndWait::setOutput(int fd) const
{
    if (m_object && m_control)
        m_control->SetOutput(fd);
}

bool HostedRunAndWait::stopWaiting() const
{
    if (!m_object || !m_control || !m_control->IsWaitingForLeftovers())
        return false;
    return m_control->StopWaiting();
}

QMetaObject::Connection HostedRunAndWait::onWaitingForLeftovers(const QObject *context,
                                                                RunAndWaitControl::LeftoversHandler handler) const
{
    if (!m_object || !m_control)
        return {};
    return m_control->onWaitingForLeftovers(context, std::move(handler));
}

void HostedRunAndWait::serve(InstallRun &run, const QObject *context) const
{
    run.setStopWaiting([this] { return stopWaiting(); });
    run.setAbandon([this] { return abandon(); });
    run.setOutputTo([this](int fd) { setOutput(fd); });
    onWaitingForLeftovers(context, [&run](const QList<LeftoverProcess> &processes) { run.leftoversRemain(processes); });
}
