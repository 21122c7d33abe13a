// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the install run tells as it goes: the events a window or the terminal
// turns into what it shows. Each arrives on the run's thread, in this order:
// runStarted, then per program programStarting (again for each new attempt),
// the waits, programEnded; at last runEnded. cancelPressed may come at any time.
#include "RunAndWaitInterface.h"
#include "core/install/RunReport.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// A program of the list as it is being started.
struct ProgramStart
{
    int index = 0;       // its place in the list, from 1
    int attempt = 1;     // more than 1: started again after "another installation is in progress"
    QString line;        // as the list holds it
    QString file;        // the file started, as the run resolves it; empty when none was found
    QByteArray fileName; // the same as the file system names it

    // installerKindId, read from the file's bytes when first asked: the
    // run-and-wait control reads them again to start the program, and a run
    // of many small programs should not pay twice for an answer nobody asks.
    QString installerType() const;

private:
    mutable std::optional<QString> m_installerType;
};

// The note the window and the terminal show while the run waits to start a
// program again: "Another installation is in progress: trying again in N s".
QString anotherInstallationNote(int secondsLeft);
// The note while the run waits for processes an ended setup left running:
// "waiting for processes the setup left running: 375 sleep 100000".
QString leftoversNote(const QList<LeftoverProcess> &processes);

class RunObserver
{
public:
    virtual ~RunObserver() = default;

    virtual void runStarted(int programCount) = 0;
    virtual void programStarting(const ProgramStart &program) = 0;
    // The program said another installation is in progress: it is started
    // again after secondsLeft (told again as the count goes down).
    virtual void waitingForAnotherInstallation(int secondsLeft) = 0;
    // What the running program wrote to its standard output and error, as it
    // comes (only when the run relays it; see InstallRun::setRelayOutput).
    virtual void programOutput(const QByteArray &bytes) { Q_UNUSED(bytes); }
    // The program has ended; these processes it left running are awaited.
    virtual void waitingForLeftovers(const QList<LeftoverProcess> &processes) = 0;
    virtual void programEnded(const ProgramRecord &program) = 0;
    virtual void runEnded(const RunRecord &run) = 0;
    // Cancel: the current program goes on to its end, no further one starts.
    virtual void cancelPressed() = 0;
};
