// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// --inspect [--json] FILE...: each file's installer type, PE machine and the
// silent switch that type accepts, read from the file's bytes.
#include <QStringList>

class Terminal;

namespace InspectCommand {

// Returns 0, or 2 when a file could not be read (the others are still told).
int run(const QStringList &files, bool json, Terminal &terminal);

} // namespace InspectCommand
