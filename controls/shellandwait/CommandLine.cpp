// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandLine.h"

#include "FileNameCodec.h"

#include <sys/stat.h>

namespace ShellAndWaitLogic {

static bool isBlank(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); }

QStringList splitArguments(const QString &text)
{
    QStringList args;
    QString current;
    bool inArgument = false;
    bool inQuotes = false;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (!inQuotes && isBlank(c)) {
            if (inArgument) {
                args << current;
                current.clear();
                inArgument = false;
            }
            continue;
        }
        inArgument = true;
        if (c == QLatin1Char('\\')) {
            qsizetype count = 0;
            while (i + count < n && text.at(i + count) == QLatin1Char('\\'))
                ++count;
            const bool beforeQuote = i + count < n && text.at(i + count) == QLatin1Char('"');
            if (!beforeQuote) {
                current += QString(count, QLatin1Char('\\'));
                i += count - 1;
                continue;
            }
            current += QString(count / 2, QLatin1Char('\\'));
            if (count % 2 == 1) {
                current += QLatin1Char('"');
                i += count; // the quote is taken as text
            } else {
                i += count - 1; // the quote is handled as a quote next round
            }
            continue;
        }
        if (c == QLatin1Char('"')) {
            inQuotes = !inQuotes;
            continue;
        }
        current += c;
    }
    if (inArgument)
        args << current;
    return args;
}

bool isRegularFile(const QByteArray &path)
{
    struct stat st;
    return !path.isEmpty() && ::stat(path.constData(), &st) == 0 && S_ISREG(st.st_mode);
}

QByteArray existingFile(const QString &name)
{
    // Encoded as the file system holds names, never through QFile::encodeName,
    // which turns the kept bytes of a name that is not UTF-8 into U+FFFD.
    const QByteArray bytes = FileNameCodec::encodeFileName(name);
    if (isRegularFile(bytes))
        return bytes;
    QByteArray cp1252;
    if (FileNameCodec::encodeCp1252(name, &cp1252) && cp1252 != bytes && isRegularFile(cp1252))
        return cp1252;
    return QByteArray();
}

QByteArray programFile(const CommandLine &command)
{
    return command.file.isEmpty() ? FileNameCodec::encodeFileName(command.program) : command.file;
}

CommandLine splitCommandLine(const QString &line)
{
    CommandLine result;
    qsizetype start = 0;
    while (start < line.size() && isBlank(line.at(start)))
        ++start;
    if (start == line.size())
        return result;

    if (line.at(start) == QLatin1Char('"')) {
        const qsizetype close = line.indexOf(QLatin1Char('"'), start + 1);
        if (close < 0) {
            result.program = line.mid(start + 1);
            result.file = existingFile(result.program);
            return result;
        }
        result.program = line.mid(start + 1, close - start - 1);
        result.file = existingFile(result.program);
        result.arguments = splitArguments(line.mid(close + 1));
        return result;
    }

    // Each blank ends a candidate; the first one that is a file wins.
    for (qsizetype end = start; end <= line.size(); ++end) {
        if (end < line.size() && !isBlank(line.at(end)))
            continue;
        const QString candidate = line.mid(start, end - start);
        const QByteArray file = existingFile(candidate);
        if (!file.isEmpty()) {
            result.program = candidate;
            result.file = file;
            result.arguments = splitArguments(line.mid(end));
            return result;
        }
    }

    // Nothing exists: the first word is named as the missing file.
    qsizetype end = start;
    while (end < line.size() && !isBlank(line.at(end)))
        ++end;
    result.program = line.mid(start, end - start);
    result.arguments = splitArguments(line.mid(end));
    return result;
}

} // namespace ShellAndWaitLogic
