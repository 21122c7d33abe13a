#pragma once
// The run-and-wait control "Project1.ShellAndWait": starts a command line and
// returns when the started program has ended, while the window's events keep
// flowing. Its members are reached late-bound, by name.
#include "ControlFactory.h"

#include <QObject>
#include <QString>

namespace ShellAndWaitLogic { class ChildWait; }

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

    // Starts commandLine and returns once that program has ended. 0 when it
    // was started, whatever its exit code; else the error number, with
    // ErrorDescription() saying why.
    Q_INVOKABLE int ShellAndWait(const QString &commandLine);
    // The description of the last error; empty after a call that succeeded.
    Q_INVOKABLE QString ErrorDescription() const { return m_errorDescription; }
    // The exit status of the last program that ended; -1 when the last call
    // ran no program to its end.
    Q_INVOKABLE int ExitCode() const { return m_exitCode; }

private:
    int fail(int number, const QString &description);

    ShellAndWaitLogic::ChildWait *m_wait = nullptr;   // while a call waits
    bool *m_destroyed = nullptr;                       // flag in the waiting call's frame
    QString m_waitingFor;
    bool m_ending = false;      // the event loops were told to end during a wait
    QString m_errorDescription;
    int m_exitCode = -1;
};

class ShellAndWaitFactory : public QObject, public ControlFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID ControlFactory_iid FILE "shellandwait.json")
    Q_INTERFACES(ControlFactory)
public:
    QObject *create(const QString &className, QWidget *parent) override;
};
