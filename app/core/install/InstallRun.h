// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The install run: starts the programs of a loaded list one after another and
// waits for each to end. It tells a RunObserver what happens; showing it is
// the observer's.
#include "core/install/RunObserver.h"
#include "core/install/RunReport.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class DoneRecord;
class ListLock;
class Prompts;
class QEventLoop;
class QTimer;
class ProgramOutput;

// A list loaded for installing.
struct LoadedList
{
    QString file;         // where it was loaded from; empty when unknown
    QString title;        // its title line without the ">"
    QStringList programs; // its program lines as the list holds them

    // From a loaded list's text and its count of carriage returns (the
    // programs and the title).
    static LoadedList fromText(const QString &file, const QString &text, int lineCount);
};

// What one run-and-wait call tells of its program.
struct RunResult
{
    int number = 0; // 0: the program was started and has ended
    QString description;
    // The full code (under Wine the Windows code), when exitCodeKnown; that is
    // false when it did not run to its end or its code could not be read.
    int exitCode = 0;
    bool exitCodeKnown = true;
    // The wait for it (or what it left) was given up; they go on running.
    bool abandoned = false;
    int exitSignal = 0;     // the signal that ended it, 0 none
    QString startedFile;    // the file actually started
    QString installerType;  // installerKindId; empty when the control does not say
    QString machine;        // "x86", "x86-64", "ARM64" or empty
    QStringList leftBehind; // still running when the wait for them was given up
    QString wineRestart;    // what a restart of the Wine prefix it asked for did; empty: none
};

// Starts one command line and returns when the program has ended.
using RunAndWait = std::function<RunResult(const QString &commandLine)>;

class InstallRun
{
public:
    // InstallIndex is 16-bit and Cancel sets it to the program count plus one.
    static constexpr int MaxPrograms = 32766;
    // Lines of programs the closing message names before "and N more".
    static constexpr int MaxNewsLines = 20;

    InstallRun(RunObserver &observer, Prompts &prompts, RunAndWait runAndWait);
    ~InstallRun();

    // Install: the whole run of list (none: no list was loaded); returns when
    // it has ended.
    void install(std::optional<LoadedList> list);
    void cancel(); // Cancel: takes effect when the current program has ended

    bool isRunning() const { return m_running; }

    // Stops the control's wait for processes an ended setup left running;
    // false when it was not waiting for such.
    void setStopWaiting(std::function<bool()> stopWaiting) { m_stopWaiting = std::move(stopWaiting); }
    // Gives up the control's wait for the running program and all it
    // started (which go on running); false when nothing was awaited.
    void setAbandon(std::function<bool()> abandon) { m_abandon = std::move(abandon); }
    // How long one start of a program may run, with what it started, before
    // it is no longer waited for (outcome "timed out") and the run goes on;
    // 0 for no limit.
    void setProgramTimeout(int seconds) { m_timeoutSeconds = qMax(0, seconds); }
    // The control says the started program has ended and only these
    // processes it left behind are awaited: after Cancel they are waited for
    // no longer.
    void leftoversRemain(const QList<LeftoverProcess> &processes);

    // After a Windows setup that needs a restart, when programs follow:
    // nothing (Off), restart the Wine prefix (Wine), ask first (Ask), or end
    // the run there for a restart of the computer (Stop), as also when a
    // native setup made the system ask for one.
    enum class WineRestartMode { Off, Wine, Ask, Stop };
    void setWineRestart(WineRestartMode mode) { m_wineRestart = mode; }
    // After a run stopped for a restart: what happens next, for the closing
    // message (the program it goes on at, from 1). Unset: resume by hand.
    void setAfterStop(std::function<QString(int nextProgram)> afterStop) { m_afterStop = std::move(afterStop); }
    // The file a native setup creates when the system needs a restart.
    static QString rebootRequiredFile();

    // Hands the run-and-wait control the descriptor the next programs write
    // their output to (-1: where Setupreel writes its own). Given, each
    // program's output goes to a log file beside the run's report.
    void setOutputTo(std::function<void(int fd)> setOutput) { m_setOutput = std::move(setOutput); }
    // Whether the observer is told the output as it comes (programOutput).
    void setRelayOutput(bool relay) { m_relayOutput = relay; }

    // Where reports are kept; empty for the default folder.
    void setReportFolder(const QString &folder) { m_reportFolder = folder; }
    // A file that gets the JSON report at every write as well; empty for none.
    void setReportCopy(const QString &path) { m_reportCopy = path; }
    // Lines whose text and file last succeeded are not started again; lines
    // before resumeAt (from 1; 0 for none) ended in the run resumed. Both
    // are recorded as skipped.
    void setSkipDone(bool skip) { m_skipDone = skip; }
    void setResumeAt(int index) { m_resumeAt = index; }
    // Why the record of what is done was last not written; empty when it was.
    QString doneRecordError() const { return m_doneError; }
    // "Another installation is in progress": how long to wait before the same
    // program is started again, and how long to keep trying.
    void setRetryTiming(int intervalMs, int limitMs);

    // The report of the last run; empty paths before the first.
    QString reportTextPath() const { return m_reportText; }
    QString reportJsonPath() const { return m_reportJson; }
    // What the last run did, program by program (empty before the first);
    // the report's error, empty when it was written.
    const RunRecord &lastRun() const { return m_lastRun; }
    QString reportError() const { return m_reportError; }
    // Why the copy setReportCopy names was last not written; empty when it was.
    QString reportCopyError() const { return m_reportCopyError; }

private:
    // Says why a run cannot start now; false then.
    bool mayStart(const std::optional<LoadedList> &list);
    // The list's programs one after another, until the last or Cancel; how
    // many were not started.
    int runPrograms(const LoadedList &list, RunRecord &record);
    ProgramRecord runProgram(int index, const QString &item, const QString &listFile);
    // Whether the Wine prefix is restarted after rec (asking when so set).
    bool restartsWineAfter(const ProgramRecord &rec);
    // Why the run stops after rec for a restart of the computer; empty: it
    // goes on. rebootWasRequired: the system asked for one before it started.
    QString stopsForRestartAfter(const ProgramRecord &rec, bool rebootWasRequired) const;
    // Counts down the retry interval on the observer; true when it has passed
    // or ready() (asked each second) says so, false on Cancel.
    bool waitBeforeRetry(const std::function<bool()> &ready = {});
    // The outcome of a program whose processes were let go while running:
    // timed out, or (after Cancel) abandoned; else the one read.
    ReadOutcome leftRunning(const ProgramRecord &rec, bool timedOut) const;
    // The record changed: it is written now, or soon, at a pace that keeps
    // the report's cost a small share of the run's whatever its length.
    void reportChanged(int notBeforeMs = 0);
    // The running program has run RunningAfterMs: its line in the journal,
    // and a writing of the report, paced.
    void programRunsLong();
    // The program last in the record has ended: its line in the journal.
    void programEndedInReport();
    void writeReport();
    void tellTheEnd(const RunRecord &record, int notStarted);

    RunObserver &m_observer;
    Prompts &m_prompts;
    RunAndWait m_runAndWait;
    std::function<bool()> m_stopWaiting, m_abandon;
    int m_timeoutSeconds = 0;
    WineRestartMode m_wineRestart = WineRestartMode::Off;
    std::function<void(int)> m_setOutput;
    std::function<QString(int)> m_afterStop;
    bool m_relayOutput = false;
    QString m_reportFolder, m_reportCopy;
    QString m_reportText, m_reportJson, m_reportError, m_reportCopyError;
    RunRecord m_lastRun;
    int m_retryIntervalMs = 10 * 1000;
    int m_retryLimitMs = 10 * 60 * 1000;
    // While a run goes on: its record and report.
    RunRecord *m_record = nullptr;
    RunReport *m_report = nullptr;
    DoneRecord *m_done = nullptr; // from when the run may start its programs
    bool m_skipDone = false;
    int m_resumeAt = 0;
    QString m_doneError;
    const ListLock *m_lock = nullptr;  // the list's, checked before each program
    QTimer *m_reportDue = nullptr;     // a write put off
    QTimer *m_runningDue = nullptr;    // the running program runs long
    ProgramOutput *m_output = nullptr; // where the programs' output goes
    QByteArray m_runningLogName;       // its log while a program runs
    QString m_runningLogPath;
    QElapsedTimer m_lastWrite;       // the report's last writing
    qint64 m_lastWriteCostMs = 0;    // how long it took
    qsizetype m_programsWritten = 0; // programs in it
    bool m_runningWritten = false;   // the last of them as running
    QElapsedTimer m_currentSince;    // the running program's start
    bool m_journalOk = true;         // every event is in the journal
    QElapsedTimer m_lastSync;        // the journal's last sync
    qint64 m_syncCostMs = 0;
    QEventLoop *m_retryWait = nullptr; // while waiting to start a program again
    bool m_running = false;
    bool m_cancelled = false;
};
