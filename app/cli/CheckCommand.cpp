#include "cli/CheckCommand.h"

#include "cli/Terminal.h"
#include "core/lists/ListCheck.h"
#include "core/lists/ListFile.h"
#include "core/lists/ListSequences.h"

namespace CheckCommand {

namespace {

// The copy of the list with the suggestions: empty when written, else why not.
QString writeSuggested(const QString &listPath, const QString &writeTo, const QString &loadedText,
                       const QList<ListCheck::Row> &rows)
{
    QString error;
    const QByteArray bytes = ListFile::readListBytes(listPath, &error);
    if (!error.isEmpty())
        return error;
    // The copy is made from the very bytes that were checked.
    if (ListFile::decodeListBytes(bytes) != loadedText)
        return QStringLiteral("The list changed while it was checked.");
    const QByteArray copy = ListCheck::withSuggestions(bytes, rows);
    if (copy.isEmpty())
        return QStringLiteral("The list changed while it was checked.");
    return ListFile::writeNewFile(writeTo, listPath, copy);
}

} // namespace

int run(const QString &listPath, const QString &writeTo, Terminal &terminal)
{
    TerminalPrompts prompts(terminal, TerminalPrompts::TitleLayout::BeforeText);
    const ListSequences::InstallLoad load = ListSequences::loadFileForInstalling(listPath, prompts);
    if (!load.loaded)
        return 2;

    const QList<ListCheck::Row> rows = ListCheck::check(load.text, load.lineCount, listPath);
    QString table = ListCheck::table(rows);
    table.chop(1); // its last line end; every line gets one as it is written
    terminal.lines(table);
    qsizetype found = 0, suggested = 0;
    for (const ListCheck::Row &row : rows) {
        found += row.file.isEmpty() ? 0 : 1;
        suggested += row.suggestion.isEmpty() ? 0 : 1;
    }
    terminal.line(QStringLiteral("%1 of %2 program file(s) found.").arg(found).arg(rows.size()));

    if (!writeTo.isEmpty()) {
        const QString error = writeSuggested(listPath, writeTo, load.text, rows);
        if (!error.isEmpty()) {
            terminal.errorLine(
                    QStringLiteral("The list with the suggested switches could not be written to %1.").arg(writeTo)
                    + QLatin1Char('\n') + error);
            return 2;
        }
        terminal.line(QStringLiteral("Written to %1 with %2 suggested switch(es).").arg(writeTo).arg(suggested));
        if (!writeTo.endsWith(QLatin1String("SR")))
            terminal.errorLine(QStringLiteral("Note: Load takes only list files whose names end in \"SR\"."));
    }
    return found == rows.size() ? 0 : 1;
}

} // namespace CheckCommand
