#include "cli/CheckCommand.h"

#include "common/Prompts.h"
#include "lists/ListCheck.h"
#include "lists/ListFile.h"
#include "lists/ListSequences.h"

#include <QTextStream>

namespace CheckCommand {

namespace {

// Load's messages, on the terminal: the title, then the text's lines.
class TerminalPrompts final : public Prompts
{
public:
    explicit TerminalPrompts(QTextStream &err) : m_err(err) {}
    void messageBox(const QString &text, const QString &title, MsgIcon) override
    {
        QString lines = text;
        lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        m_err << (title.isEmpty() ? QStringLiteral("Setupreel") : title) << ": " << lines << Qt::endl;
    }
    QString inputBox(const QString &, const QString &, const QString &) override { return QString(); }
    bool showFileDialog(QObject *, FileDialogMode) override { return false; }

private:
    QTextStream &m_err;
};

// The copy of the list with the suggestions: empty when written, else why not.
QString writeSuggested(const QString &listPath, const QString &writeTo, const QString &loadedText,
                       const QList<ListCheck::Row> &rows)
{
    QString error;
    const QByteArray bytes = ListFile::ReadListBytes(listPath, &error);
    if (!error.isEmpty())
        return error;
    // The copy is made from the very bytes that were checked.
    if (ListFile::DecodeListBytes(bytes) != loadedText)
        return QStringLiteral("The list changed while it was checked.");
    const QByteArray copy = ListCheck::withSuggestions(bytes, rows);
    if (copy.isEmpty())
        return QStringLiteral("The list changed while it was checked.");
    return ListFile::WriteNewFile(writeTo, listPath, copy);
}

} // namespace

int run(const QString &listPath, const QString &writeTo, QTextStream &out, QTextStream &err)
{
    TerminalPrompts prompts(err);
    const ListSequences::InstallLoad load = ListSequences::loadFileForInstalling(listPath, prompts);
    if (!load.loaded)
        return 2;

    const QList<ListCheck::Row> rows = ListCheck::check(load.text, load.lineCount, listPath);
    out << ListCheck::table(rows);
    qsizetype found = 0, suggested = 0;
    for (const ListCheck::Row &row : rows) {
        found += row.file.isEmpty() ? 0 : 1;
        suggested += row.suggestion.isEmpty() ? 0 : 1;
    }
    out << QStringLiteral("%1 of %2 program file(s) found.").arg(found).arg(rows.size()) << Qt::endl;

    if (!writeTo.isEmpty()) {
        const QString error = writeSuggested(listPath, writeTo, load.text, rows);
        if (!error.isEmpty()) {
            err << QStringLiteral("The list with the suggested switches could not be written to %1.")
                       .arg(writeTo)
                << '\n' << error << Qt::endl;
            return 2;
        }
        out << QStringLiteral("Written to %1 with %2 suggested switch(es).").arg(writeTo).arg(suggested)
            << Qt::endl;
        if (!writeTo.endsWith(QLatin1String("SR")))
            err << QStringLiteral("Note: Load takes only list files whose names end in \"SR\".") << Qt::endl;
    }
    return found == rows.size() ? 0 : 1;
}

} // namespace CheckCommand
