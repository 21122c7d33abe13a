// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The report of an install run: one JSON file for scripts and one text file
// for people, named by the run's start time, written whole when the run
// starts, while a program runs long and at the end; between these writings a
// journal beside them (one JSON line per event, appended) holds every program
// as it starts and ends, so a run cut short still leaves its report up to the
// last program, which readers make from the journal. QtCore only.
#include "core/install/RunOutcome.h"
#include "core/install/WineRestart.h"
#include "core/io/FileIO.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

struct ProgramRecord
{
    QString line;        // as the list holds it
    QString startedFile; // the file actually started; empty when none was
    QDateTime start;
    QDateTime end;
    QString installerType;                          // installerKindId
    QString machine;                                // machineName, empty for none
    QString sha256;                                 // of the file's bytes before its start; empty when not read
    QString integrity = QStringLiteral("unlocked"); // against the list's lock: or "verified", "mismatch"
    ProgramEnd programEnd;
    ReadOutcome outcome;
    int errorNumber = 0; // not started: the control's error
    QString errorText;
    int attempts = 1;                         // more than 1 after "another installation in progress"
    QStringList leftBehind;                   // processes still running when the wait for them was given up
    QString outputLog;                        // the log of what it wrote; empty when it wrote nothing or none was kept
    QString wineRestart;                      // what a restart of the Wine prefix it asked for did; empty: none
    std::optional<WineRestartRecord> restart; // the prefix restarted after it (--restart=wine)
};

struct RunRecord
{
    QString listFile;
    QString title;
    QString host;
    QString prefix, prefixArch; // the Wine prefix setups run in, its "win64"/"win32" (empty: not made)
    QDateTime start;
    QDateTime end;        // invalid while the run goes on
    int programCount = 0; // programs in the list
    bool cancelled = false;
    // Why the run stopped for a restart of the computer; empty: it did not.
    QString stoppedForRestart;
    QList<ProgramRecord> programs; // the ones that were started or tried, once ended
    // The program running now (outcome Running): a report cut short by a
    // crash or a kill names it.
    std::optional<ProgramRecord> current;
};

// How the programs of a run ended, counted as the report's summary counts them.
struct RunTally
{
    int succeeded = 0;
    int restartNeeded = 0;
    int notSucceeded = 0; // failed, crashed, cancelled, not started, left running
    int running = 0;      // started and not ended (in a report cut short: interrupted there)
    int neverStarted = 0; // the list's programs the run did not reach
    int skipped = 0;      // not started again: done before, or ended in the run resumed
};
RunTally tally(const RunRecord &run);

// A run's journal as read back: what its report says up to the last event.
struct RunJournal
{
    struct Ended
    {
        int number = 0;      // the program's place in the list, from 1
        QString result;      // RunReport::resultText
        QJsonObject program; // as the report's "programs" holds it
    };
    bool valid = false;    // it begins with a run's header
    QJsonObject run;       // the report's fields as the run began
    QList<Ended> ended;    // in the order they ended
    int runningNumber = 0; // 0: none was running at its last event
    QJsonObject running;
    bool cancelled = false;
    std::optional<QJsonObject> end; // the run's end: end, cancelled, stoppedForRestart, …

    static RunJournal parse(const QByteArray &bytes);
    // The JSON report the run had written at its last event.
    QByteArray toJson() const;
};

class JsonText;

class RunReport
{
public:
    // folder: where reports are kept; empty for the default.
    explicit RunReport(const QString &folder = QString());

    // $XDG_STATE_HOME/setupreel/runs, by default ~/.local/state/setupreel/runs.
    static QString defaultFolder();
    // The local time now, kept with its offset from UTC: written many times
    // over, it then needs no time zone lookup each time.
    static QDateTime now();

    // Opens the folder (refused when it is a link, another user's or others
    // may write to it: then every write fails with why) and takes the file
    // names for a run starting at start, made empty at once so that no other
    // run takes them too.
    void begin(const QDateTime &start);
    // A file that takes a copy of the JSON at every write (--report FILE);
    // empty for none.
    void setCopy(const QString &path) { m_copy = path; }
    // Writes both files whole, each replacing the old one only when complete,
    // then keeps only the newest runs, and writes the copy. False and *error
    // when the kept report failed; the copy's failure is copyError().
    bool write(const RunRecord &run, QString *error = nullptr);
    // Writes the copy alone.
    void writeCopy(const RunRecord &run);
    // Why the copy's last write failed; empty when it was written.
    QString copyError() const { return m_copyError; }

    QString jsonPath() const { return m_base.isEmpty() ? QString() : m_base + QLatin1String(".json"); }
    QString textPath() const { return m_base.isEmpty() ? QString() : m_base + QLatin1String(".txt"); }
    // The journal beside a JSON report.
    static QString journalPathOf(const QString &jsonPath);

    // The journal: each call appends one line (made at the first; none when
    // the folder was refused). False when it could not be written.
    bool journalStart(const RunRecord &run);
    bool journalRunning(const ProgramRecord &running, int number);
    bool journalEnded(const RunRecord &run); // its last program has ended
    bool journalEnd(const RunRecord &run);
    // Puts what the journal holds on the disk.
    void syncJournal();
    // The run's report is whole: its journal goes.
    void removeJournal();
    // The log of the output of the list's program number index (from 1; 0:
    // the program running now, until it ends): its name in folder(), and its path.
    QByteArray outputName(int index) const;
    QString outputPath(int index) const;
    // The folder reports are made in, held open; -1 when it was refused.
    int folder() const { return m_runs.get(); }

    // Opens folder held in fd, made for its user only when create (links
    // followed up to its parent, never at it); refused, with why, when it is
    // a link, another user's or others may write to it.
    // A time as the report writes it: ISO 8601 with milliseconds and the
    // offset from UTC; empty for none.
    static QString stamp(const QDateTime &t);

    static QString openOwnFolder(const QString &folder, FileIO::Fd &fd, bool create = true);

    static QByteArray toJson(const RunRecord &run, const QString &keptError = QString());
    static QString toText(const RunRecord &run);
    // How a program ended, for people: "failed (exit code 1603): a fatal error …".
    static QString resultText(const ProgramRecord &program);

    static constexpr int KeptRuns = 100;

private:
    friend struct RunJournal;
    bool saveWhole(const QString &path, const QByteArray &bytes, QString *error,
                   FileIO::FolderSync sync = FileIO::FolderSync::Now) const;
    void prune() const;
    static void writeProgram(JsonText &w, const ProgramRecord &program);
    static QByteArray programJson(const ProgramRecord &program); // indented, as an element of "programs"
    static QByteArray programLine(const ProgramRecord &program); // on one line
    // The report's fields but its programs; keptError: why the kept report
    // could not be written, for the copy.
    static QJsonObject rootObject(const RunRecord &run, const QString &keptError = QString());
    static QByteArray assembleJson(const QJsonObject &root, const QList<QByteArray> &programs);
    bool journal(const QJsonObject &event);
    bool journalLine(const QByteArray &line);
    static QString programText(const ProgramRecord &program, int number, int programCount);
    static QString assembleText(const RunRecord &run, const QString &programs);

    QString m_folder;
    FileIO::Fd m_runs; // the folder, held open from begin on
    QString m_folderError;
    QString m_base;
    QString m_copy, m_copyError;
    bool m_pruned = false;
    FileIO::Fd m_journal; // appended to, from the first event on
    // The programs of this run as already written.
    QList<QByteArray> m_programJson;
    QString m_programText;
    qsizetype m_programTexts = 0; // programs in m_programText
};
