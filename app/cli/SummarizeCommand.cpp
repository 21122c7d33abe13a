// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/SummarizeCommand.h"

#include "FileNameCodec.h"
#include "cli/Cli.h"
#include "cli/Terminal.h"
#include "core/install/RunReport.h"
#include "core/install/RunSummary.h"
#include "core/io/FileIO.h"

namespace SummarizeCommand {

int run(const QStringList &folders, const QString &htmlPath, Terminal &terminal)
{
    const RunSummary::Summary summary = RunSummary::read(folders);
    for (const QString &problem : summary.problems)
        terminal.errorLine(QStringLiteral("setupreel: ") + problem);
    if (summary.machines.isEmpty()) {
        terminal.errorLine(
                QStringLiteral("setupreel: no run report found in %1.").arg(folders.join(QLatin1String(", "))));
        return Cli::Refused;
    }
    terminal.lines(RunSummary::table(summary));
    if (!htmlPath.isEmpty()) {
        const FileIO::WriteResult written = FileIO::replaceFile(FileNameCodec::encodeFileName(htmlPath),
                                                                RunSummary::html(summary, RunReport::now()));
        if (!written.ok()) {
            terminal.errorLine(
                    QStringLiteral("setupreel: the page %1 could not be written: %2").arg(htmlPath, written.reason()));
            return Cli::Refused;
        }
        terminal.line(QStringLiteral("Page: ") + htmlPath);
    }
    if (summary.folderUnreadable)
        return Cli::Refused;
    return RunSummary::allSucceeded(summary) ? Cli::AllSucceeded : Cli::SomeNotSucceeded;
}

} // namespace SummarizeCommand
