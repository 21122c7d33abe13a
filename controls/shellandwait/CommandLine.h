// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Taking a list line apart into the program file and its arguments, the way
// the original platform finds the program in an unquoted command line.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace ShellAndWaitLogic {

struct CommandLine
{
    QString program;       // the file the line names; may not exist
    QStringList arguments; // already split, quotes removed
    // The bytes that name the program on disk: its file-name bytes, or, when
    // only those exist, its Windows-1252 bytes (a list written on Windows that
    // names a file whose name is Latin-1 bytes). Empty: those of program.
    QByteArray file;
};

// A quoted path is the program; otherwise the shortest prefix ending at a
// blank (or the end) that names an existing regular file. When none does,
// the first blank-separated word is the program.
CommandLine splitCommandLine(const QString &line);

// Whether path (bytes, as the file system takes them) is a regular file or a
// link to one.
bool isRegularFile(const QByteArray &path);

// The bytes of an existing regular file that name names (see file above), or
// empty when there is none.
QByteArray existingFile(const QString &name);

// The bytes of the program file of command.
QByteArray programFile(const CommandLine &command);

// Splits arguments as the Windows C runtime does: blanks separate, double
// quotes group and are removed, "" is an empty argument, backslashes are
// literal except before a quote (2n backslashes + quote: n backslashes and
// a grouping quote; 2n+1: n backslashes and a literal quote).
QStringList splitArguments(const QString &text);

} // namespace ShellAndWaitLogic
