// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// setupreel --status LIST.SR [--json]: what each program line of the list
// last did, from the record the install runs keep (done, failed, never run,
// changed since), so a configuration manager can ask whether to run it.
#include "core/install/DoneRecord.h"

#include <QJsonObject>
#include <QString>

class Terminal;

namespace StatusCommand {

// Returns 0 when every program line is done, 1 when some is not, 2 when the
// list was refused or the record could not be read.
int run(const QString &listPath, bool json, Terminal &terminal);

// A line's state for scripts: "state", "done" and what it "last" did.
QJsonObject stateJson(const DoneRecord::LineState &state);

} // namespace StatusCommand
