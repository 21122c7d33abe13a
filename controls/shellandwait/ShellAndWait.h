#pragma once
// The run-and-wait control "Project1.ShellAndWait": starts a command line and
// returns when the whole installation has ended (the started program and all
// it started), while the window's events keep flowing. Its members are
// reached late-bound, by name.
#include "ControlFactory.h"

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
}

// C++ forbids a member named like its class, so the class carries a suffix;
// the host knows it only by "Project1.ShellAndWait" and its member names.
class ShellAndWaitControl : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("ClassName", "Project1.ShellAndWait")
public:
    explicit ShellAndWaitControl(QObject *parent = nullptr);
    // Never ends the started program: it keeps running on its own.
    ~ShellAndWaitControl() override;

    // Starts commandLine and returns once that program and every process it
    // started have ended. 0 when it was started, whatever its exit code;
    // else the error number, with ErrorDescription() saying why.
    Q_INVOKABLE int ShellAndWait(const QString &commandLine);
    // The description of the last error; empty after a call that succeeded.
    Q_INVOKABLE QString ErrorDescription() const { return m_errorDescription; }
    // The full exit code of the last program (a Windows program's own code
    // under Wine); -1 when the last call ran no program to its end.
    Q_INVOKABLE int ExitCode() const { return m_exitCode; }
    // The signal that ended the last program; 0 for none.
    Q_INVOKABLE int ExitSignal() const { return m_exitSignal; }
    // The file the last call started (or refused), as text.
    Q_INVOKABLE QString StartedFile() const { return m_startedFile; }
    // Its installer type ("nsis", "msi", …) and PE machine ("x86", empty for none).
    Q_INVOKABLE QString InstallerType() const { return m_installerType; }
    Q_INVOKABLE QString Machine() const { return m_machine; }
    // "<pid> <name>" of each process still running when the wait for what the
    // last program left behind was given up.
    Q_INVOKABLE QStringList LeftBehind() const { return m_leftBehind; }
    // Whether the started program has ended and only the processes it left
    // behind are awaited.
    Q_INVOKABLE bool IsWaitingForLeftovers() const { return m_leftovers != nullptr; }
    // Gives up waiting for left-behind processes, which go on running; the
    // waiting call returns at once. False (and nothing changes) while the
    // started program itself still runs.
    Q_INVOKABLE bool StopWaiting();

signals:
    // The started program has ended; what it left behind is now awaited.
    void waitingForLeftovers();

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
    // gave them up (m_leftBehind names them).
    bool waitForLeftovers(const QSet<pid_t> &before, const ShellAndWaitLogic::ProcessStat &program,
                          const bool &destroyed);
    // The application is ending while this call waits: what runs goes on on
    // its own, and no further program is started.
    int interrupted(const QString &description);
    // Reads and removes the launcher's code file; false when it left none.
    bool readCodeFile(const QString &path, int *code, int *startError);

    ShellAndWaitLogic::ChildWait *m_wait = nullptr;         // while a call waits
    ShellAndWaitLogic::LeftoverWait *m_leftovers = nullptr; // while left-behind ones are awaited
    bool *m_destroyed = nullptr;                            // flag in the waiting call's frame
    QString m_waitingFor;
    bool m_ending = false;  // the event loops were told to end during a wait
    bool m_stopped = false; // StopWaiting() during the current wait
    QString m_errorDescription;
    int m_exitCode = -1;
    int m_exitSignal = 0;
    QString m_startedFile;
    QString m_installerType;
    QString m_machine;
    QStringList m_leftBehind;
};

class ShellAndWaitFactory : public QObject, public ControlFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID ControlFactory_iid FILE "shellandwait.json")
    Q_INTERFACES(ControlFactory)
public:
    QObject *create(const QString &className, QWidget *parent) override;
};
