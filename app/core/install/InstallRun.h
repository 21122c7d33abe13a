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

class Prompts;
class QEventLoop;

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
    int exitCode = 0;       // the full code (under Wine the Windows code); -1 unknown
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
    // The control says the started program has ended and only these
    // processes it left behind are awaited: after Cancel they are waited for
    // no longer.
    void leftoversRemain(const QList<LeftoverProcess> &processes);

    // Where reports are kept; empty for the default folder.
    void setReportFolder(const QString &folder) { m_reportFolder = folder; }
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

private:
    // Says why a run cannot start now; false then.
    bool mayStart(const std::optional<LoadedList> &list);
    // The list's programs one after another, until the last or Cancel; how
    // many were not started.
    int runPrograms(const LoadedList &list, RunRecord &record, RunReport &report);
    ProgramRecord runProgram(int index, const QString &item, const QString &listFile);
    bool waitBeforeRetry();
    void writeReport(RunReport &report, const RunRecord &record, bool always);
    void tellTheEnd(const RunRecord &record, int notStarted);

    RunObserver &m_observer;
    Prompts &m_prompts;
    RunAndWait m_runAndWait;
    std::function<bool()> m_stopWaiting;
    QString m_reportFolder;
    QString m_reportText, m_reportJson, m_reportError;
    RunRecord m_lastRun;
    int m_retryIntervalMs = 10 * 1000;
    int m_retryLimitMs = 10 * 60 * 1000;
    QElapsedTimer m_lastWrite;         // the report's last writing
    QEventLoop *m_retryWait = nullptr; // while waiting to start a program again
    bool m_running = false;
    bool m_cancelled = false;
};
