// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Checking a list before it is installed: where each program line's file is
// found, what kind of installer it is, and the silent switch a line without
// one could be given. The copy with those switches keeps every other byte of
// the list as it is.
#include <QByteArray>
#include <QList>
#include <QString>

namespace ListCheck {

struct Row
{
    int number = 0;     // the program line's number, 1 for the first
    QString line;       // as the list holds it
    QByteArray file;    // the file it resolves to, absolute; empty: not found
    QString type;       // the installer's readable kind; empty when not found
    QString switchText; // the line's switch as written
    QString suggestion; // a silent switch for a line without one; empty: none
    // Why a found file will not start as the run starts it (no Wine, a 32-bit
    // setup this Wine cannot run, not executable); empty when it will.
    QString problem;
    // Its file against the list's lock ("verified", "mismatch"); empty when
    // the list has no lock or the file was not found.
    QString lock;
};

// The rows of a list's text as the main window's Load accepted it (lineCount:
// its carriage returns), the files looked for and judged as the install run
// and the run-and-wait control do, with the Wine found here.
QList<Row> check(const QString &text, int lineCount, const QString &listFile);

// The text behind the last line end of a list's text: a last line that no
// load reads. Empty when there is none.
QString unendedLine(const QString &text);

// The rows as a table, one line a row after a heading; a "Lock" column when
// a row has a lock state. Cells are as the list
// and the file names hold them, control characters included: what writes the
// table to a terminal filters those, one character for one.
QString table(const QList<Row> &rows);

// The list's bytes with each row's suggestion behind its line (one blank,
// then the switch, as the editor's switch dialog adds one); every other byte
// stays. Empty when a row's line end is not where the rows say it is.
QByteArray withSuggestions(const QByteArray &original, const QList<Row> &rows);

} // namespace ListCheck
