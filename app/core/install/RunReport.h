#pragma once
// The report of an install run: one JSON file for scripts and one text file
// for people, named by the run's start time, rewritten whole after every
// program so a run cut short still leaves its report up to the last program
// that ended. QtCore only.
#include "core/install/RunOutcome.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

struct ProgramRecord
{
    QString line;        // as the list holds it
    QString startedFile; // the file actually started; empty when none was
    QDateTime start;
    QDateTime end;
    QString installerType; // installerKindId
    QString machine;       // machineName, empty for none
    ProgramEnd programEnd;
    ReadOutcome outcome;
    int errorNumber = 0; // not started: the control's error
    QString errorText;
    int attempts = 1;       // more than 1 after "another installation in progress"
    QStringList leftBehind; // processes still running when the wait for them was given up
    QString wineRestart;    // what a restart of the Wine prefix it asked for did; empty: none
};

struct RunRecord
{
    QString listFile;
    QString title;
    QString host;
    QDateTime start;
    QDateTime end;        // invalid while the run goes on
    int programCount = 0; // programs in the list
    bool cancelled = false;
    QList<ProgramRecord> programs; // the ones that were started or tried
};

// How the programs of a run ended, counted as the report's summary counts them.
struct RunTally
{
    int succeeded = 0;
    int restartNeeded = 0;
    int notSucceeded = 0; // failed, crashed, cancelled, not started
    int neverStarted = 0; // the list's programs the run did not reach
};
RunTally tally(const RunRecord &run);

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

    // Picks the file names for a run starting at start; the first write
    // creates them.
    void begin(const QDateTime &start);
    // Writes both files whole, each replacing the old one only when complete,
    // then keeps only the newest runs. False and *error when it failed.
    bool write(const RunRecord &run, QString *error = nullptr);

    QString jsonPath() const { return m_base.isEmpty() ? QString() : m_base + QLatin1String(".json"); }
    QString textPath() const { return m_base.isEmpty() ? QString() : m_base + QLatin1String(".txt"); }

    static QByteArray toJson(const RunRecord &run);
    static QString toText(const RunRecord &run);
    // How a program ended, for people: "failed (exit code 1603): a fatal error …".
    static QString resultText(const ProgramRecord &program);

    static constexpr int KeptRuns = 100;

private:
    void prune() const;
    static QByteArray programJson(const ProgramRecord &program);
    static QByteArray assembleJson(const RunRecord &run, const QList<QByteArray> &programs);
    static QString programText(const ProgramRecord &program, int number, int programCount);
    static QString assembleText(const RunRecord &run, const QString &programs);

    QString m_folder;
    QString m_base;
    bool m_pruned = false;
    // The programs of this run as already written.
    QList<QByteArray> m_programJson;
    QString m_programText;
};
