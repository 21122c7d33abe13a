#pragma once
// The install run: starts the programs of the loaded list one after another and
// waits for each to end. It knows the window only by the display operations below.
#include "core/install/RunReport.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <functional>

class Prompts;
class QEventLoop;
class QObject;

class InstallDisplay
{
public:
    virtual ~InstallDisplay() = default;
    virtual void setButtonsEnabled(bool enabled) = 0; // Exit, Point, Load, Install
    virtual void setCancelVisible(bool visible) = 0;
    virtual void setModeText(const QString &text) = 0;        // Label5
    virtual void setRemainderText(const QString &text) = 0;   // Label4
    virtual void setCurrentFileText(const QString &text) = 0; // Label3
    virtual void setProgressVisible(bool visible) = 0;
    virtual void setProgressMax(int max) = 0;
    virtual void setProgressValue(int value) = 0;
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
};

// Starts one command line and returns when the program has ended.
using RunAndWait = std::function<RunResult(const QString &commandLine)>;

// The run-and-wait call on the hosted "Project1.ShellAndWait" control, by its
// members' names; what an older control cannot tell stays unknown.
RunResult runAndWaitOn(QObject *control, const QString &commandLine);
// Stops the control's wait for processes an ended setup left running; false
// when it was waiting for none.
bool stopWaitingOn(QObject *control);

class InstallRun
{
public:
    // InstallIndex is 16-bit and Cancel sets it to the program count plus one.
    static constexpr int MaxPrograms = 32766;
    // Lines of programs the closing message names before "and N more".
    static constexpr int MaxNewsLines = 20;

    InstallRun(InstallDisplay &display, Prompts &prompts, RunAndWait runAndWait);
    ~InstallRun();

    void install(); // Install: the whole run; returns when it has ended
    void cancel();  // Cancel: takes effect when the current program has ended

    bool isRunning() const { return m_running; }

    // Stops the control's wait for processes an ended setup left running;
    // false when it was not waiting for such.
    void setStopWaiting(std::function<bool()> stopWaiting) { m_stopWaiting = std::move(stopWaiting); }
    // The control says the started program has ended and only processes it
    // left behind are awaited: after Cancel they are waited for no longer.
    void leftoversRemain();

    // The list file the loaded list came from, for the report.
    void setListFile(const QString &path) { m_listFile = path; }
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
    bool mayStart(int programs);
    // The list's programs one after another, until the last or Cancel; how
    // many were not started.
    int runPrograms(const QString &text, int programs, RunRecord &record, RunReport &report);
    void showRunning(int programs);
    void showFinished(int remaining);
    ProgramRecord runProgram(const QString &item);
    bool waitBeforeRetry(const QString &item);
    void writeReport(RunReport &report, const RunRecord &record, bool always);
    void tellTheEnd(const RunRecord &record, int notStarted);

    InstallDisplay &m_display;
    Prompts &m_prompts;
    RunAndWait m_runAndWait;
    std::function<bool()> m_stopWaiting;
    QString m_listFile;
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
