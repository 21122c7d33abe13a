// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What each program line of a list last did, kept per list beside the reports
// ($XDG_STATE_HOME/setupreel/done/<SHA-256 of the list's path>.json): its
// text, the file started and that file's SHA-256, the outcome and the run.
// Rewritten whole with the run's report; what the run did since is read from
// the report's journal, so a crash loses nothing. --skip-done, --resume and
// --status read it. QtCore only.
#include "core/install/RunReport.h"
#include "core/io/FileIO.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

struct DoneEntry
{
    int number = 0;  // the program line's number, from 1
    QString line;    // as the list holds it
    QString file;    // the file started; empty when none was
    QString sha256;  // of that file as it was started; empty when it was not read
    QString outcome; // outcomeId
    QString result;  // RunReport::resultText
    QString report;  // the JSON report of its run
    QString runStart;
    QString end; // when it ended; empty while it runs (or when its run was cut short there)

    bool succeeded() const;
};

// The list's last run, as far as it got.
struct LastRun
{
    QString report;
    QString start;
    bool finished = false; // it reached its end (cancelled or not)
    bool cancelled = false;
    bool stoppedForRestart = false;
    int programCount = 0;
    int ended = 0;       // programs ended (or skipped), from the first on
    QString linesSha256; // of its program lines: a resume needs the same lines
};

class DoneRecord
{
public:
    // The record of listFile and its program lines; reportFolder:
    // where reports are kept (empty: the default), the record is beside it.
    DoneRecord(const QString &reportFolder, const QString &listFile, const QStringList &programs);

    // Reads the record, making no folder; false and *error when one is there
    // and cannot be read (a missing record is an empty one).
    bool read(QString *error = nullptr);

    const std::optional<LastRun> &lastRun() const { return m_lastRun; }

    enum class State { Done, Failed, NeverRun, Changed };
    struct LineState
    {
        State state = State::NeverRun;
        std::optional<DoneEntry> last; // what the line last did
        QString file;                  // the file it resolves to now; empty: not found
        QString sha256;                // that file's now
    };
    // Line number's state now (the file hashed again).
    LineState stateOf(int number) const;
    static QString stateId(State state);   // "done", "failed", "never-run", "changed"
    static QString stateText(State state); // "done", "failed", "never run", "changed since"

    // Where --resume starts: the first program of the last run that did not
    // end. at 0: nothing to resume (told) or refused (refusal).
    struct Resume
    {
        int at = 0;
        QString told;    // why there is nothing, or what is resumed
        QString refusal; // the list's lines are no longer those of that run
    };
    Resume resumePoint() const;

    // For a run: lines already done with the same file are skipped, and
    // lines before resumeAt (0: none) count as ended in the resumed run.
    void planSkips(bool skipDone, int resumeAt);
    // Before program index starts: whether it is skipped, as the record of a
    // program not started (with --skip-done its file is hashed to compare).
    std::optional<ProgramRecord> beforeStart(int index);
    // Writes the record for the run as it is now; empty, or why not.
    QString write(const RunRecord &run, const QString &reportJson);

    // The SHA-256 of a file in hex; empty when it cannot be read.
    static QString fileSha256(const QByteArray &path);

private:
    const DoneEntry *find(int number, const QString &line) const;
    // The last run's journal, when it was cut short or still runs.
    void foldInJournal();
    QString located(int number, QByteArray *name = nullptr) const;

    QString m_folder, m_listFile;
    QStringList m_programs;
    QByteArray m_name; // the record's file name in the folder
    FileIO::Fd m_fd;   // the folder, held open from the first write
    QList<DoneEntry> m_entries;
    QHash<QString, QList<int>> m_byLine; // entries by their line's text
    std::optional<LastRun> m_lastRun;
    bool m_skipDone = false;
    int m_resumeAt = 0;
};
