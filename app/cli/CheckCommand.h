// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// setupreel --check LIST.SR [--write-suggested NEW.SR]: loads the list as the
// main window's Load does and prints, for each program line, the file it
// resolves to, its installer type, its switch and a suggested silent switch.
#include "core/lists/ListSequences.h"

#include <QString>

class Prompts;
class Terminal;

namespace CheckCommand {

// writeTo: where to write a copy of the list with the suggested switches;
// empty for none. json: the rows as JSON for scripts (with each line's lock
// state and whether it is done) in place of the table. Returns 0 when every program line will run, 1 when some
// will not (its file not found or not startable here, or a last line without
// a line end, which no load reads), 2 when the list was refused or could not
// be read, or the copy could not be written.
int run(const QString &listPath, const QString &writeTo, bool json, Terminal &terminal);

// A list file as the terminal commands load it: as the main window's Load
// does, and a refusal, after the window's own message, gets a line on
// standard error that names the file and what is wrong with it.
ListSequences::InstallLoad loadList(const QString &path, Prompts &prompts, Terminal &terminal);

} // namespace CheckCommand
