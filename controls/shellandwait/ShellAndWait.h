// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The run-and-wait control "Project1.ShellAndWait": starts a command line and
// returns when the whole installation has ended (the started program and all
// it started), while the window's events keep flowing. The program reaches it
// through RunAndWaitControl; its members stay callable by name as well.
#include "ControlFactory.h"
#include "RunAndWaitInterface.h"
#include "core/io/FileIO.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QtCore/qcontainerfwd.h>

#include <sys/types.h>

namespace ShellAndWaitLogic {
class ChildWait;
class LeftoverWait;
struct LaunchPlan;
struct ProcessStat;
class WineRestartWait;
}

// C++ forbids a member named like its class, so the class carries a suffix;
// the host knows it only by "Project1.ShellAndWait" and its interface.
class ShellAndWaitControl : public QObject, public RunAndWaitControl
{
    Q_OBJECT
    Q_CLASSINFO("ClassName", "Project1.ShellAndWait")
    Q_INTERFACES(RunAndWaitControl)
public:
    explicit ShellAndWaitControl(QObject *parent = nullptr);
    // Never ends the started program: it keeps running on its own.
    ~ShellAndWaitControl() override;

    // What each member does: RunAndWaitControl.
    Q_INVOKABLE int ShellAndWait(const QString &commandLine) override;
    Q_INVOKABLE QString ErrorDescription() const override { return m_errorDescription; }
    Q_INVOKABLE int ExitCode() const override { return m_exitCode; }
    Q_INVOKABLE bool HasExitCode() const override { return m_hasExitCode; }
    Q_INVOKABLE int ExitSignal() const override { return m_exitSignal; }
    Q_INVOKABLE QString StartedFile() const override { return m_startedFile; }
    Q_INVOKABLE QString InstallerType() const override { return m_installerType; }
    Q_INVOKABLE QString Machine() const override { return m_machine; }
    Q_INVOKABLE QStringList LeftBehind() const override { return m_leftBehind; }
    Q_INVOKABLE QString WineRestart() const override { return m_wineRestart; }
    Q_INVOKABLE bool IsWaitingForLeftovers() const override { return m_leftovers || m_restart; }
    Q_INVOKABLE bool StopWaiting() override;
    Q_INVOKABLE bool Abandon() override;
    Q_INVOKABLE bool WasAbandoned() const override { return m_abandoned; }
    Q_INVOKABLE void SetOutput(int fd) override;
    QMetaObject::Connection onWaitingForLeftovers(const QObject *context, LeftoversHandler handler) override;

signals:
    // The started program has ended; the processes it left running are now awaited.
    void waitingForLeftovers(const QList<LeftoverProcess> &processes);

private:
    int fail(int number, const QString &description);
    // Starts a plan that can run and waits for the installation to end.
    int run(const ShellAndWaitLogic::LaunchPlan &plan);
    // Waits for the started program itself and keeps its exit code and
    // signal. False when the application is ending first. Nothing of this
    // object is touched once destroyed is set.
    bool waitForProgram(pid_t pid, const bool &destroyed);
    // The launcher's report: the Windows program's full exit code, or the
    // error it could not start it with. 0 when it left no report.
    int readLauncherResult(const ShellAndWaitLogic::LaunchPlan &plan);
    // Waits for the processes the program left behind. False when the
    // application is ending first; true when none is left, or StopWaiting()
    // or Abandon() gave them up (m_leftBehind names them).
    bool waitForLeftovers(const QSet<pid_t> &before, const ShellAndWaitLogic::ProcessStat &program,
                          ShellAndWaitLogic::WineRestartWait &restart, const bool &destroyed);
    // Waits, bounded, for a restart of the Wine prefix the installation asked
    // for, and keeps what it did in m_wineRestart. False when the application
    // is ending first.
    bool waitForWineRestart(ShellAndWaitLogic::WineRestartWait &restart, const bool &destroyed);
    // The application is ending while this call waits: what runs goes on on
    // its own, and no further program is started.
    int interrupted(const QString &description);
    // Abandon() while the program itself runs: it and all it started are
    // named in m_leftBehind and go on running.
    int abandoned(const QSet<pid_t> &before, const ShellAndWaitLogic::ProcessStat &program);
    // Reads and removes the launcher's code file; false when it left none.
    bool readCodeFile(const QString &path, int *code, int *startError);

    ShellAndWaitLogic::ChildWait *m_wait = nullptr;         // while a call waits
    ShellAndWaitLogic::LeftoverWait *m_leftovers = nullptr; // while left-behind ones are awaited
    bool *m_destroyed = nullptr;                            // flag in the waiting call's frame
    QString m_waitingFor;
    bool m_ending = false;  // the event loops were told to end during a wait
    bool m_stopped = false; // StopWaiting() or Abandon() during the current wait
    bool m_abandoned = false;
    FileIO::Fd m_output; // where started programs write; closed: this process's own
    QString m_errorDescription;
    int m_exitCode = -1;
    bool m_hasExitCode = false;
    int m_exitSignal = 0;
    QString m_startedFile;
    QString m_installerType;
    QString m_machine;
    QStringList m_leftBehind;
    QString m_wineRestart;
    // While Wine's restart that the program asked for is awaited.
    ShellAndWaitLogic::WineRestartWait *m_restart = nullptr;
};

class ShellAndWaitFactory : public QObject, public ControlFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID ControlFactory_iid FILE "shellandwait.json")
    Q_INTERFACES(ControlFactory)
public:
    QObject *create(const QString &className, QWidget *parent) override;
};
