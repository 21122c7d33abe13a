// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// setupreel --summarize DIR... [--html FILE]: one table of the results of
// many machines' runs from their JSON reports (a controller's fetched
// reports/<host>/...), and the same as one HTML page.
#include <QString>
#include <QStringList>

class Terminal;

namespace SummarizeCommand {

// Returns 0 when every program line shown succeeded (a restart needed and a
// line skipped as done before count as success), 1 when some did not, 2 when
// no report was found, a folder could not be read or the page not written.
int run(const QStringList &folders, const QString &htmlPath, Terminal &terminal);

} // namespace SummarizeCommand
