// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/lists/ListCheck.h"

#include "CommandLine.h"
#include "FileNameCodec.h"
#include "InstallerType.h"
#include "LaunchPlan.h"
#include "core/common/TextTable.h"
#include "core/io/FileIO.h"
#include "core/lists/ListFile.h"
#include "core/lists/ProgramLocator.h"

#include <algorithm>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

namespace ListCheck {

using namespace ShellAndWaitLogic;

namespace {

// The interpreter a "#!" line names, or empty when the file has none.
QByteArray interpreterOf(const QByteArray &head)
{
    if (!head.startsWith("#!"))
        return QByteArray();
    QByteArray first = head.mid(2, head.indexOf('\n') < 0 ? -1 : head.indexOf('\n') - 2).trimmed();
    const qsizetype blank = first.indexOf(' ');
    return blank < 0 ? first : first.left(blank);
}

// Why a file the control would start directly cannot run: the kernel takes
// programs (ELF) and scripts with a "#!" line whose interpreter is there.
QString directStartProblem(const LaunchPlan &plan)
{
    const FileIO::Fd fd = FileIO::open(plan.file, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (!fd.isOpen())
        return QString(); // its start says why
    char buffer[256] = {};
    const qsizetype have = FileIO::readUpTo(fd.get(), buffer, sizeof buffer);
    const QByteArray head(buffer, qMax<qsizetype>(0, have));
    if (head.startsWith("\x7f"
                        "ELF"))
        return QString();
    const QByteArray interpreter = interpreterOf(head);
    if (interpreter.isEmpty())
        return QStringLiteral("%1 cannot be run: it is neither a program (ELF) nor a script that begins with \"#!\"")
                .arg(plan.program);
    if (!isRegularFile(interpreter) || ::access(interpreter.constData(), X_OK) != 0)
        return QStringLiteral("%1 cannot be run: the interpreter it names, %2, is not there")
                .arg(plan.program, FileNameCodec::decodeFileName(interpreter));
    return QString();
}

// Why the control would refuse to start the line's file, as it refuses it.
QString startProblem(const ProgramLocator::Location &where, const WineSetup &wine)
{
    const CommandLine command = splitCommandLine(where.commandLine);
    const LaunchPlan plan = planLaunch(command, startsThroughWine(command.program) ? wine : WineSetup());
    if (!plan.ok())
        return plan.description;
    if (!plan.wine && plan.executable != QLatin1String("/bin/sh"))
        return directStartProblem(plan);
    return QString();
}

} // namespace

QList<Row> check(const QString &text, int lineCount, const QString &listFile)
{
    QList<Row> rows;
    std::optional<WineSetup> wine; // looked up for the first Windows file
    qsizetype from = 0;
    for (int k = 1; k < lineCount; ++k) {
        Row row;
        row.number = k;
        row.line = ListFile::listItemFrom(text, from);
        from = text.indexOf(QLatin1Char('\r'), from) + 1;

        const ProgramLocator::Location where = ProgramLocator::locate(row.line, listFile);
        row.switchText = where.arguments.trimmed();
        row.file = where.file;
        if (!where.file.isEmpty()) {
            const InstallerKind kind = inspectInstaller(where.file).kind;
            row.type = installerKindName(kind);
            if (row.switchText.isEmpty())
                row.suggestion = silentSwitch(kind);
            if (!wine && startsThroughWine(FileNameCodec::decodeFileName(where.file)))
                wine = findWineSetup(QString());
            row.problem = startProblem(where, wine.value_or(WineSetup()));
        }
        rows << row;
    }
    return rows;
}

QString unendedLine(const QString &text)
{
    const qsizetype cr = text.lastIndexOf(QLatin1Char('\r'));
    // The one character behind the carriage return is skipped unread.
    return cr < 0 ? QString() : text.mid(cr + 2);
}

QString table(const QList<Row> &rows)
{
    const QStringList heading{QStringLiteral("No."),  QStringLiteral("Line"),   QStringLiteral("Resolves to"),
                              QStringLiteral("Type"), QStringLiteral("Switch"), QStringLiteral("Suggested")};
    const bool locked = std::any_of(rows.begin(), rows.end(), [](const Row &row) { return !row.lock.isEmpty(); });
    QList<QStringList> cells{heading};
    if (locked)
        cells.first() << QStringLiteral("Lock");
    for (const Row &row : rows) {
        cells << QStringList{QString::number(row.number),
                             row.line,
                             row.file.isEmpty() ? QStringLiteral("not found") : FileNameCodec::decodeFileName(row.file),
                             row.type,
                             row.switchText,
                             row.suggestion};
        if (locked)
            cells.last() << row.lock;
    }
    // Padded up to the last cell that says something; no blanks behind it.
    return TextTable::columns(cells);
}

QByteArray withSuggestions(const QByteArray &original, const QList<Row> &rows)
{
    QByteArray out;
    out.reserve(original.size() + rows.size() * 8);
    qsizetype from = 0;
    int lineEnds = 0; // carriage returns copied so far
    for (const Row &row : rows) {
        if (row.suggestion.isEmpty())
            continue;
        // Program line k ends at carriage return k + 1.
        while (lineEnds < row.number + 1) {
            const qsizetype cr = original.indexOf('\r', from);
            if (cr < 0)
                return QByteArray();
            out += QByteArrayView(original).sliced(from, cr - from);
            if (++lineEnds == row.number + 1)
                out += ' ' + FileNameCodec::encodeFileName(row.suggestion);
            out += '\r';
            from = cr + 1;
        }
    }
    out += QByteArrayView(original).sliced(from);
    return out;
}

} // namespace ListCheck
