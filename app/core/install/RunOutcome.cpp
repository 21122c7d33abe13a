// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/install/RunOutcome.h"

#include <csignal>
#include <cstring>

using ShellAndWaitLogic::InstallerKind;

namespace {

bool usesWindowsInstallerCodes(InstallerKind kind)
{
    // Windows programs report these codes whatever built them; a bootstrapper
    // passes on the code of the package it ran.
    return ShellAndWaitLogic::isWindowsKind(kind);
}

ReadOutcome is(RunOutcome outcome, const char *meaning = nullptr)
{
    return {outcome, meaning ? QString::fromLatin1(meaning) : QString()};
}

} // namespace

ReadOutcome readOutcome(InstallerKind kind, const ProgramEnd &end)
{
    if (!end.started)
        return is(RunOutcome::NotStarted);
    if (end.signal != 0) {
        const char *name = sigabbrev_np(end.signal);
        return {RunOutcome::Crashed,
                QStringLiteral("ended by signal %1%2")
                        .arg(end.signal)
                        .arg(name ? QStringLiteral(" (SIG%1)").arg(QLatin1String(name)) : QString())};
    }
    if (!end.exitCodeKnown)
        return is(RunOutcome::Unknown);
    const int code = end.exitCode;
    if (code == 0)
        return is(RunOutcome::Succeeded);

    if (kind == InstallerKind::Nsis) {
        if (code == 1)
            return is(RunOutcome::Cancelled, "cancelled by the user");
        if (code == 2)
            return is(RunOutcome::Failed, "aborted by the installer's script");
    }
    if (kind == InstallerKind::InnoSetup) {
        switch (code) {
        case 1: return is(RunOutcome::Failed, "setup failed to initialize");
        case 2: return is(RunOutcome::Cancelled, "cancelled by the user before installing");
        case 3: return is(RunOutcome::Failed, "a fatal error while preparing the next step");
        case 4: return is(RunOutcome::Failed, "a fatal error during installation");
        case 5: return is(RunOutcome::Cancelled, "cancelled by the user during installation");
        case 6: return is(RunOutcome::Failed, "the setup process was ended");
        case 7: return is(RunOutcome::Failed, "preparing to install failed");
        case 8: return is(RunOutcome::RestartNeeded, "preparing to install failed: restart, then run it again");
        default: break;
        }
    }
    if (usesWindowsInstallerCodes(kind)) {
        switch (code) {
        case 3010: return is(RunOutcome::RestartNeeded, "a restart is needed to finish the installation");
        case 1641: return is(RunOutcome::RestartNeeded, "the installer started a restart");
        case 1602:
        case 1223: return is(RunOutcome::Cancelled, "cancelled by the user");
        case 1618: return is(RunOutcome::InstallInProgress, "another installation is in progress");
        case 1603: return is(RunOutcome::Failed, "a fatal error during installation");
        case 1619: return is(RunOutcome::Failed, "the package could not be opened");
        case 1620: return is(RunOutcome::Failed, "the package is invalid");
        case 1638: return is(RunOutcome::Failed, "another version of the product is already installed");
        default: break;
        }
    }
    return is(RunOutcome::Failed);
}

InstallerKind installerKindFromId(const QString &id)
{
    for (const InstallerKind kind :
         {InstallerKind::WindowsInstaller, InstallerKind::Nsis, InstallerKind::InnoSetup, InstallerKind::WixBurn,
          InstallerKind::InstallShield, InstallerKind::SevenZipSfx, InstallerKind::WindowsProgram,
          InstallerKind::BatchFile, InstallerKind::ShellScript, InstallerKind::NativeProgram}) {
        if (ShellAndWaitLogic::installerKindId(kind) == id)
            return kind;
    }
    return InstallerKind::Unknown;
}

QString outcomeId(RunOutcome outcome)
{
    switch (outcome) {
    case RunOutcome::Succeeded: return QStringLiteral("succeeded");
    case RunOutcome::RestartNeeded: return QStringLiteral("restart-needed");
    case RunOutcome::Cancelled: return QStringLiteral("cancelled");
    case RunOutcome::InstallInProgress: return QStringLiteral("install-in-progress");
    case RunOutcome::Failed: return QStringLiteral("failed");
    case RunOutcome::Crashed: return QStringLiteral("crashed");
    case RunOutcome::NotStarted: return QStringLiteral("not-started");
    case RunOutcome::Unknown: return QStringLiteral("unknown");
    case RunOutcome::Running: return QStringLiteral("running");
    case RunOutcome::Abandoned: return QStringLiteral("abandoned");
    case RunOutcome::TimedOut: return QStringLiteral("timed-out");
    case RunOutcome::Skipped: return QStringLiteral("skipped");
    }
    return QString();
}

QString outcomeText(RunOutcome outcome)
{
    switch (outcome) {
    case RunOutcome::Succeeded: return QStringLiteral("succeeded");
    case RunOutcome::RestartNeeded: return QStringLiteral("succeeded, restart needed");
    case RunOutcome::Cancelled: return QStringLiteral("cancelled by the user");
    case RunOutcome::InstallInProgress: return QStringLiteral("another installation in progress");
    case RunOutcome::Failed: return QStringLiteral("failed");
    case RunOutcome::Crashed: return QStringLiteral("crashed");
    case RunOutcome::NotStarted: return QStringLiteral("not started");
    case RunOutcome::Unknown: return QStringLiteral("ended, exit code unknown");
    case RunOutcome::Running: return QStringLiteral("running (or cut short there)");
    case RunOutcome::Abandoned: return QStringLiteral("left running, no longer waited for");
    case RunOutcome::TimedOut: return QStringLiteral("timed out, left running");
    case RunOutcome::Skipped: return QStringLiteral("skipped");
    }
    return QString();
}

bool outcomeIsNews(RunOutcome outcome) { return outcome != RunOutcome::Succeeded && outcome != RunOutcome::Skipped; }
