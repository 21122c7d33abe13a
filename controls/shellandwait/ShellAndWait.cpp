#include "ShellAndWait.h"

#include "ChildWait.h"
#include "CommandLine.h"
#include "LaunchPlan.h"

#include <QWidget>

using namespace ShellAndWaitLogic;

ShellAndWaitControl::ShellAndWaitControl(QObject *parent) : QObject(parent) {}

ShellAndWaitControl::~ShellAndWaitControl()
{
    if (m_wait) {
        // The waiting call returns without touching this object again; its
        // ChildWait leaves the program running and reaps it later.
        *m_destroyed = true;
        m_wait->abandon();
    }
}

int ShellAndWaitControl::fail(int number, const QString &description)
{
    m_errorDescription = description;
    return number;
}

int ShellAndWaitControl::ShellAndWait(const QString &commandLine)
{
    // A call from an event handled during a wait: one program at a time.
    if (m_wait)
        return fail(StillWaiting,
                    QStringLiteral("This program is still waiting for %1 to end").arg(m_waitingFor));
    if (m_ending)
        return fail(Interrupted,
                    QStringLiteral("User interrupt occurred: Setupreel is ending, %1 was not started")
                            .arg(commandLine));

    m_exitCode = -1;
    const LaunchPlan plan = planLaunch(splitCommandLine(commandLine), findWine());
    if (!plan.ok())
        return fail(plan.error, plan.description);

    pid_t pid = 0;
    if (const int err = spawnPlan(plan, &pid)) {
        const StartError e = startError(err, plan);
        return fail(e.number, e.description);
    }

    ChildWait wait(pid);
    bool destroyed = false;
    m_wait = &wait;
    m_destroyed = &destroyed;
    m_waitingFor = plan.program;
    const bool ended = wait.wait();
    if (destroyed)
        return NoError;     // this object is gone
    m_wait = nullptr;
    m_destroyed = nullptr;
    if (!ended) {
        // The application is ending (its loops were told to exit): the program
        // keeps running, and no further one is started.
        m_ending = true;
        return fail(Interrupted,
                    QStringLiteral("User interrupt occurred: Setupreel is ending while %1 runs; "
                                   "it goes on running on its own")
                            .arg(plan.program));
    }
    m_exitCode = wait.exitCode();
    m_errorDescription.clear();
    return NoError;
}

QObject *ShellAndWaitFactory::create(const QString &className, QWidget *parent)
{
    if (className.compare(QLatin1String("Project1.ShellAndWait"), Qt::CaseInsensitive) != 0)
        return nullptr;
    return new ShellAndWaitControl(parent);
}
