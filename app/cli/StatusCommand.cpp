// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/StatusCommand.h"

#include "cli/CheckCommand.h"
#include "cli/Cli.h"
#include "cli/Terminal.h"
#include "core/common/TextTable.h"
#include "core/install/InstallRun.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>

namespace StatusCommand {

namespace {

QJsonValue orNull(const QString &s) { return s.isEmpty() ? QJsonValue() : QJsonValue(s); }

// The rows under a heading, with no line feed after the last.
QString table(const QList<QStringList> &cells)
{
    QString out = TextTable::columns(cells);
    out.chop(1);
    return out;
}

} // namespace

QJsonObject stateJson(const DoneRecord::LineState &state)
{
    QJsonObject o;
    o.insert(QStringLiteral("state"), DoneRecord::stateId(state.state));
    o.insert(QStringLiteral("done"), state.state == DoneRecord::State::Done);
    o.insert(QStringLiteral("sha256"), orNull(state.sha256));
    QJsonValue last;
    if (state.last) {
        QJsonObject l;
        l.insert(QStringLiteral("file"), orNull(state.last->file));
        l.insert(QStringLiteral("sha256"), orNull(state.last->sha256));
        l.insert(QStringLiteral("outcome"), state.last->outcome);
        l.insert(QStringLiteral("result"), state.last->result);
        l.insert(QStringLiteral("report"), state.last->report);
        l.insert(QStringLiteral("runStart"), state.last->runStart);
        l.insert(QStringLiteral("end"), orNull(state.last->end));
        last = l;
    }
    o.insert(QStringLiteral("last"), last);
    return o;
}

int run(const QString &listPath, bool json, Terminal &terminal)
{
    TerminalPrompts prompts(terminal, TerminalPrompts::TitleLayout::BeforeText);
    // Keyed as --install keys it: by the full path.
    const QString path = QDir::current().absoluteFilePath(listPath);
    const ListSequences::InstallLoad load = CheckCommand::loadList(path, prompts, terminal);
    if (!load.loaded)
        return Cli::Refused;
    const LoadedList list = LoadedList::fromText(path, load.text, load.lineCount);
    DoneRecord record(QString(), path, list.programs);
    QString error;
    if (!record.read(&error)) {
        terminal.errorLine(QStringLiteral("setupreel: the record of what is done cannot be read: ") + error);
        return Cli::Refused;
    }

    int done = 0;
    QJsonArray lines;
    QList<QStringList> cells{
            {QStringLiteral("No."), QStringLiteral("State"), QStringLiteral("Line"), QStringLiteral("Last")}};
    for (int n = 1; n <= list.programs.size(); ++n) {
        const DoneRecord::LineState state = record.stateOf(n);
        done += state.state == DoneRecord::State::Done ? 1 : 0;
        if (json) {
            QJsonObject o = stateJson(state);
            o.insert(QStringLiteral("number"), n);
            o.insert(QStringLiteral("line"), list.programs.at(n - 1));
            o.insert(QStringLiteral("file"), orNull(state.file));
            lines.append(o);
            continue;
        }
        QString last;
        if (state.last)
            last = QStringLiteral("%1, run started %2").arg(state.last->result, state.last->runStart);
        cells << QStringList{QString::number(n), DoneRecord::stateText(state.state), list.programs.at(n - 1), last};
    }
    const bool allDone = done == list.programs.size();
    if (json) {
        QJsonObject doc;
        doc.insert(QStringLiteral("format"), QStringLiteral("setupreel-status/1"));
        doc.insert(QStringLiteral("listFile"), path);
        doc.insert(QStringLiteral("done"), allDone);
        doc.insert(QStringLiteral("lines"), lines);
        terminal.lines(QString::fromUtf8(QJsonDocument(doc).toJson(QJsonDocument::Indented)).trimmed());
    } else {
        terminal.lines(table(cells));
        terminal.line(QStringLiteral("%1 of %2 program line(s) done.").arg(done).arg(list.programs.size()));
    }
    return allDone ? Cli::AllSucceeded : Cli::SomeNotSucceeded;
}

} // namespace StatusCommand
