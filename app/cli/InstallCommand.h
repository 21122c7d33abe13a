// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// --install LIST.SR [--report FILE]: the main window's Load and Install with no
// window: the same list checks and refusals, the same run and report.
#include "core/install/InstallRun.h"

#include <QString>

class Terminal;

namespace InstallCommand {

// What a run repeats: --skip-done (lines done before are not started again)
// and --resume (the list's last unfinished run goes on where it stopped).
struct Repeat
{
    bool skipDone = false;
    bool resume = false;
    // --resume-after-reboot: a run stopped for a restart leaves an entry
    // that resumes it after the restart; resumeCount: the resumes in a row
    // so far (--resume-count, written into that entry).
    bool resumeAfterReboot = false;
    int resumeCount = 0;
};

// Returns the exit status (Cli::Status).
// timeoutSeconds: how long one program may run (with what it started) before
// it is no longer waited for; 0 for no limit. restart: what follows a Windows
// setup that needs a restart.
int run(const QString &listPath, const QString &reportTo, int timeoutSeconds, Repeat repeat,
        InstallRun::WineRestartMode restart, Terminal &terminal);

} // namespace InstallCommand
