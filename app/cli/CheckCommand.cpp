#include "cli/CheckCommand.h"

#include "cli/Terminal.h"
#include "core/lists/ListCheck.h"
#include "core/lists/ListFile.h"
#include "core/lists/ListLock.h"
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

ListSequences::InstallLoad loadList(const QString &path, Prompts &prompts, Terminal &terminal)
{
    ListSequences::InstallLoad load = ListSequences::loadFileForInstalling(path, prompts);
    if (!load.loaded && !load.reason.isEmpty())
        terminal.errorLine(QStringLiteral("setupreel: %1 is not loaded: %2.").arg(path, load.reason));
    return load;
}

int run(const QString &listPath, const QString &writeTo, Terminal &terminal)
{
    TerminalPrompts prompts(terminal, TerminalPrompts::TitleLayout::BeforeText);
    const ListSequences::InstallLoad load = loadList(listPath, prompts, terminal);
    if (!load.loaded)
        return 2;

    QList<ListCheck::Row> rows = ListCheck::check(load.text, load.lineCount, listPath);
    // A locked list: each file against the lock, as --install checks it.
    const ListLock lock(listPath);
    QStringList programs;
    for (ListCheck::Row &row : rows) {
        programs << row.line;
        if (!lock.exists() || row.file.isEmpty())
            continue;
        const ListLock::FileCheck state = lock.check(row.file);
        row.lock = ListLock::integrityId(state.integrity);
        if (row.problem.isEmpty())
            row.problem = state.refusal;
    }
    QString table = ListCheck::table(rows);
    table.chop(1); // its last line end; every line gets one as it is written
    terminal.lines(table);
    qsizetype found = 0, suggested = 0;
    for (const ListCheck::Row &row : rows) {
        found += row.file.isEmpty() ? 0 : 1;
        suggested += row.suggestion.isEmpty() ? 0 : 1;
    }
    terminal.line(QStringLiteral("%1 of %2 program file(s) found.").arg(found).arg(rows.size()));
    // What --install would refuse or could not start, said before it is tried.
    bool allRun = found == rows.size();
    for (const ListCheck::Row &row : rows) {
        if (!row.problem.isEmpty())
            terminal.errorLine(QStringLiteral("Line %1 will not run: %2").arg(row.number).arg(row.problem));
        allRun = allRun && row.problem.isEmpty();
    }
    const QString refused = lock.listRefusal(load.title, programs);
    if (!refused.isEmpty()) {
        terminal.errorLine(
                refused + QStringLiteral(" --install refuses it; lock it again, or remove %1.").arg(lock.lockFile()));
        allRun = false;
    }
    const QString unended = ListCheck::unendedLine(load.text);
    if (!unended.isEmpty()) {
        terminal.errorLine(QStringLiteral("The last line has no line end (CR LF), so no load reads it: ") + unended);
        allRun = false;
    }

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
    return allRun ? 0 : 1;
}

} // namespace CheckCommand
