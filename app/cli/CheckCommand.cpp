// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CheckCommand.h"

#include "FileNameCodec.h"
#include "InstallerType.h"
#include "cli/StatusCommand.h"
#include "cli/Terminal.h"
#include "core/install/InstallRun.h"
#include "core/lists/ListCheck.h"
#include "core/lists/ListFile.h"
#include "core/lists/ListLock.h"
#include "core/lists/ListSequences.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>

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

// Whether a line's file is held to a hash the list was locked with; no lock
// is read here yet.
// The line's state against the list's lock, as the table's Lock column says.
QString lockStateOf(const ListCheck::Row &row) { return row.lock.isEmpty() ? QStringLiteral("unlocked") : row.lock; }

QJsonValue orNull(const QString &s) { return s.isEmpty() ? QJsonValue() : QJsonValue(s); }

// The rows for scripts: the table's cells, what the file is, whether it will
// run here, its lock state and what it last did.
QString rowsJson(const QString &listPath, const QString &text, int lineCount, const QList<ListCheck::Row> &rows)
{
    const QString path = QDir::current().absoluteFilePath(listPath);
    const LoadedList list = LoadedList::fromText(path, text, lineCount);
    DoneRecord record(QString(), path, list.programs);
    record.read(); // one that cannot be read tells nothing done
    QJsonArray lines;
    for (const ListCheck::Row &row : rows) {
        QJsonObject o = StatusCommand::stateJson(record.stateOf(row.number));
        o.insert(QStringLiteral("number"), row.number);
        o.insert(QStringLiteral("line"), row.line);
        o.insert(QStringLiteral("file"), orNull(FileNameCodec::decodeFileName(row.file)));
        const ShellAndWaitLogic::InstallerInfo info =
                row.file.isEmpty() ? ShellAndWaitLogic::InstallerInfo() : ShellAndWaitLogic::inspectInstaller(row.file);
        o.insert(QStringLiteral("type"), row.file.isEmpty() ? QJsonValue() : installerKindId(info.kind));
        o.insert(QStringLiteral("typeName"), orNull(row.type));
        o.insert(QStringLiteral("machine"), orNull(ShellAndWaitLogic::machineName(info.machine)));
        o.insert(QStringLiteral("canRun"), !row.file.isEmpty() && row.problem.isEmpty());
        o.insert(QStringLiteral("problem"), orNull(row.file.isEmpty() ? QStringLiteral("not found") : row.problem));
        o.insert(QStringLiteral("switch"), orNull(row.switchText));
        o.insert(QStringLiteral("suggestedSwitch"), orNull(row.suggestion));
        o.insert(QStringLiteral("lock"), lockStateOf(row));
        lines.append(o);
    }
    QJsonObject doc;
    doc.insert(QStringLiteral("format"), QStringLiteral("setupreel-check/1"));
    doc.insert(QStringLiteral("listFile"), path);
    doc.insert(QStringLiteral("unendedLine"), orNull(ListCheck::unendedLine(text)));
    doc.insert(QStringLiteral("lines"), lines);
    return QString::fromUtf8(QJsonDocument(doc).toJson(QJsonDocument::Indented)).trimmed();
}

} // namespace

ListSequences::InstallLoad loadList(const QString &path, Prompts &prompts, Terminal &terminal)
{
    ListSequences::InstallLoad load = ListSequences::loadFileForInstalling(path, prompts);
    if (!load.loaded && !load.reason.isEmpty())
        terminal.errorLine(QStringLiteral("setupreel: %1 is not loaded: %2.").arg(path, load.reason));
    return load;
}

int run(const QString &listPath, const QString &writeTo, bool json, Terminal &terminal)
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
    qsizetype found = 0, suggested = 0;
    for (const ListCheck::Row &row : rows) {
        found += row.file.isEmpty() ? 0 : 1;
        suggested += row.suggestion.isEmpty() ? 0 : 1;
    }
    if (json) {
        terminal.lines(rowsJson(listPath, load.text, load.lineCount, rows));
    } else {
        QString table = ListCheck::table(rows);
        table.chop(1); // its last line end; every line gets one as it is written
        terminal.lines(table);
        terminal.line(QStringLiteral("%1 of %2 program file(s) found.").arg(found).arg(rows.size()));
    }
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
