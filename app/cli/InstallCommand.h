#pragma once
// --install LIST.SR [--report FILE]: the main window's Load and Install with no
// window: the same list checks and refusals, the same run and report.
#include <QString>

class Terminal;

namespace InstallCommand {

// Returns the exit status (Cli::Status).
int run(const QString &listPath, const QString &reportTo, Terminal &terminal);

} // namespace InstallCommand
