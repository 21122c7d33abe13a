// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a setup program's end means: its exit code read by the table its
// installer type publishes. QtCore only.
#include "InstallerType.h"

#include <QString>

enum class RunOutcome {
    Succeeded,
    RestartNeeded,     // succeeded; a restart finishes the installation
    Cancelled,         // by the user
    InstallInProgress, // another installation runs: try again later
    Failed,
    Crashed,    // ended by a signal
    NotStarted, // the run-and-wait control could not start it
    Unknown,    // it ended, and the control could not say how
    Running,    // started, not ended yet: in a report cut short, where the run stopped
    Abandoned,  // after Cancel its processes were left running, no longer waited for
    TimedOut,   // still running after the run's time limit; left running
    Skipped,    // not started: done before (--skip-done), or ended in the run resumed
};

struct ProgramEnd
{
    bool started = false;
    // The full code (under Wine the Windows code; 0xFFFFFFFF is -1), when exitCodeKnown.
    int exitCode = 0;
    bool exitCodeKnown = true;
    int signal = 0; // non-zero: ended by this signal
};

struct ReadOutcome
{
    RunOutcome outcome = RunOutcome::Failed;
    QString meaning; // what the code means for this type, where it is published
};

ReadOutcome readOutcome(ShellAndWaitLogic::InstallerKind kind, const ProgramEnd &end);

// The kind an installerKindId names; Unknown for any other text.
ShellAndWaitLogic::InstallerKind installerKindFromId(const QString &id);

// "succeeded", "restart-needed", … for the report's JSON.
QString outcomeId(RunOutcome outcome);
// "succeeded", "succeeded, restart needed", … for people.
QString outcomeText(RunOutcome outcome);
// Whether the outcome needs to be told at the end of a run.
bool outcomeIsNews(RunOutcome outcome);
