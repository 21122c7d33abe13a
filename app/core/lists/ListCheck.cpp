#include "core/lists/ListCheck.h"

#include "CommandLine.h"
#include "FileNameCodec.h"
#include "InstallerType.h"
#include "core/lists/ListFile.h"
#include "core/lists/ProgramLocator.h"

namespace ListCheck {

using namespace ShellAndWaitLogic;

QList<Row> check(const QString &text, int lineCount, const QString &listFile)
{
    QList<Row> rows;
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
        }
        rows << row;
    }
    return rows;
}

QString table(const QList<Row> &rows)
{
    const QStringList heading{QStringLiteral("No."),  QStringLiteral("Line"),   QStringLiteral("Resolves to"),
                              QStringLiteral("Type"), QStringLiteral("Switch"), QStringLiteral("Suggested")};
    QList<QStringList> cells{heading};
    for (const Row &row : rows)
        cells << QStringList{QString::number(row.number),
                             row.line,
                             row.file.isEmpty() ? QStringLiteral("not found") : FileNameCodec::decodeFileName(row.file),
                             row.type,
                             row.switchText,
                             row.suggestion};
    QList<qsizetype> widths(heading.size(), 0);
    for (const QStringList &line : cells)
        for (qsizetype c = 0; c < line.size(); ++c)
            widths[c] = qMax(widths.at(c), line.at(c).size());

    QString out;
    for (const QStringList &line : cells) {
        // Padded up to the last cell that says something; no blanks behind it.
        qsizetype last = line.size() - 1;
        while (last > 0 && line.at(last).isEmpty())
            --last;
        for (qsizetype c = 0; c <= last; ++c) {
            out += line.at(c);
            if (c < last)
                out += QString(widths.at(c) - line.at(c).size() + 2, QLatin1Char(' '));
        }
        out += QLatin1Char('\n');
    }
    return out;
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
