#pragma once
// setupreel --check LIST.SR [--write-suggested NEW.SR]: loads the list as the
// main window's Load does and prints, for each program line, the file it
// resolves to, its installer type, its switch and a suggested silent switch.
#include <QString>

class Terminal;

namespace CheckCommand {

// writeTo: where to write a copy of the list with the suggested switches;
// empty for none. Returns 0 when every program line resolves to a file, 1
// when some line's file was not found, 2 when the list was refused or could
// not be read, or the copy could not be written.
int run(const QString &listPath, const QString &writeTo, Terminal &terminal);

} // namespace CheckCommand
