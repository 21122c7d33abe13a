// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// setupreel --lock LIST.SR: loads the list as the main window's Load does and
// writes LIST.SR.lock beside it, the SHA-256 of the list and of each program
// file its lines resolve to, which every later run of the list checks.
#include <QString>

class Terminal;

namespace LockCommand {

// 0 when the lock was written; 2 when the list was refused or could not be
// read, a line's file was not found or could not be read, or the lock could
// not be written.
int run(const QString &listPath, Terminal &terminal);

} // namespace LockCommand
