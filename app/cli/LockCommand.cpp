// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/LockCommand.h"

#include "cli/CheckCommand.h"
#include "cli/Cli.h"
#include "cli/Terminal.h"
#include "core/lists/ListLock.h"

namespace LockCommand {

int run(const QString &listPath, Terminal &terminal)
{
    TerminalPrompts prompts(terminal, TerminalPrompts::TitleLayout::BeforeText);
    const ListSequences::InstallLoad load = CheckCommand::loadList(listPath, prompts, terminal);
    if (!load.loaded)
        return Cli::Refused;
    int files = 0;
    const QString error = ListLock::write(listPath, load.text, load.lineCount, &files);
    if (!error.isEmpty()) {
        terminal.errorLine(QStringLiteral("setupreel: %1 is not locked: %2").arg(listPath, error));
        return Cli::Refused;
    }
    terminal.line(QStringLiteral("Locked %1 program file(s) of %2 in %3")
                          .arg(files)
                          .arg(listPath, ListLock::lockFileOf(listPath)));
    return Cli::AllSucceeded;
}

} // namespace LockCommand
