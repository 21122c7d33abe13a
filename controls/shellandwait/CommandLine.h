#pragma once
// Taking a list line apart into the program file and its arguments, the way
// the original platform finds the program in an unquoted command line.
#include <QString>
#include <QStringList>

namespace ShellAndWaitLogic {

struct CommandLine
{
    QString program;        // the file the line names; may not exist
    QStringList arguments;  // already split, quotes removed
};

// A quoted path is the program; otherwise the shortest prefix ending at a
// blank (or the end) that names an existing regular file. When none does,
// the first blank-separated word is the program.
CommandLine splitCommandLine(const QString &line);

// Splits arguments as the Windows C runtime does: blanks separate, double
// quotes group and are removed, "" is an empty argument, backslashes are
// literal except before a quote (2n backslashes + quote: n backslashes and
// a grouping quote; 2n+1: n backslashes and a literal quote).
QStringList splitArguments(const QString &text);

} // namespace ShellAndWaitLogic
