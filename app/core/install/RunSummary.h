// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The results of many install runs on many machines, from their JSON reports
// (a controller's fetched `reports/<host>/…`): per machine, list and program
// line the newest outcome of a run that started it, as a table for the
// terminal and as one self-contained HTML page. QtCore only.
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace RunSummary {

struct Program
{
    int number = 0;        // in the list, from 1
    QString line;          // as the list holds it; empty when no report names it
    QString outcome;       // the report's id ("succeeded", "failed", …) or "never-started"
    QString result;        // in words, with the exit code where it says something
    QDateTime start, end;  // of the program in the run shown; invalid when none ran it
    bool succeeded = true; // succeeded, needs a restart, or skipped as done before
};

struct List
{
    QString file;  // its full path on the machine
    QString title; // as its newest run read it
    int runs = 0;
    QList<Program> programs;
};

struct Machine
{
    QString host;
    QList<List> lists;
};

struct Summary
{
    QList<Machine> machines; // by host name, each one's lists by file
    int reports = 0;
    QStringList problems; // report files and folders that could not be read, one line each
    bool folderUnreadable = false;
};

// Reads every "setupreel-run/1" report below folders, no link followed; a
// report with no host takes the name of the folder it is in under its folder.
Summary read(const QStringList &folders);

// One row per machine, list and program, then the totals.
QString table(const Summary &summary);
// The totals alone: machines, lists, programs by outcome.
QString totals(const Summary &summary);
// The same as one HTML page that loads nothing: each machine's failures first,
// and machines with failures before the others.
QByteArray html(const Summary &summary, const QDateTime &made);

// How long a program took, for people: "0.4 s", "12 s", "3 min 04 s".
QString duration(qint64 ms);

bool allSucceeded(const Summary &summary);

} // namespace RunSummary
