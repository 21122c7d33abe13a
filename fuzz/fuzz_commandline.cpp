// SPDX-License-Identifier: GPL-3.0-or-later
// Splitting a command line: arguments quoted by the platform's rules and
// joined by blanks split back into the same arguments, and the program of a
// line without quotes is always the line's own beginning.
#include "CommandLine.h"
#include "FuzzSupport.h"

#include <cstdint>
#include <cstdlib>

namespace {

// The inverse of the splitting rules: backslashes double only before a quote.
QString quoted(const QString &arg)
{
    if (!arg.isEmpty() && !arg.contains(u' ') && !arg.contains(u'\t') && !arg.contains(u'"'))
        return arg;
    QString out = QStringLiteral("\"");
    qsizetype slashes = 0;
    for (const QChar c : arg) {
        if (c == u'\\') {
            ++slashes;
            continue;
        }
        if (c == u'"')
            out += QString(slashes * 2 + 1, u'\\');
        else
            out += QString(slashes, u'\\');
        slashes = 0;
        out += c;
    }
    out += QString(slashes * 2, u'\\');
    out += u'"';
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));

    const QStringList args = text.split(QChar(u'\0'));
    QStringList parts;
    for (const QString &a : args)
        parts << quoted(a);
    check(ShellAndWaitLogic::splitArguments(parts.join(u' ')) == args, "quoted arguments split back");

    const ShellAndWaitLogic::CommandLine line = ShellAndWaitLogic::splitCommandLine(text);
    if (!text.contains(u'"')) {
        qsizetype start = 0;
        while (start < text.size() && (text.at(start) == u' ' || text.at(start) == u'\t'))
            ++start;
        check(QStringView(text).mid(start).startsWith(line.program), "an unquoted program is the line's start");
    }
    for (const QString &a : line.arguments)
        check(a.size() <= text.size(), "no argument is longer than the line");
    return 0;
}
