// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/InstallCommand.h"

#include "FileNameCodec.h"
#include "cli/CheckCommand.h"
#include "cli/Cli.h"
#include "cli/ResumeEntry.h"
#include "cli/Terminal.h"
#include "core/controls/ControlHost.h"
#include "core/install/DoneRecord.h"
#include "core/install/HostedRunAndWait.h"
#include "core/install/InstallRun.h"
#include "core/install/WineRestart.h"
#include "core/io/FileIO.h"
#include "core/lists/ListSequences.h"
#include "core/lists/ProgramLocator.h"

#include <QDir>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The run as lines: one per program as it starts (and under it, off a
// terminal, a wait for another installation), and on a terminal a bar below them.
class TerminalRunLines final : public RunObserver
{
public:
    explicit TerminalRunLines(Terminal &terminal) : m_terminal(terminal) {}

    void runStarted(int programCount) override
    {
        m_max = programCount;
        m_value = 0;
        m_visible = true;
        drawBar();
    }

    void programStarting(const ProgramStart &program) override
    {
        if (program.attempt == 1)
            m_terminal.line(u'[' + QString::number(program.index) + u'/' + QString::number(m_max) + QLatin1String("] ")
                            + program.line);
        m_note.clear();
        drawBar();
    }

    void waitingForAnotherInstallation(int secondsLeft) override
    {
        const QString note = anotherInstallationNote(secondsLeft);
        if (m_note.isEmpty() && !m_terminal.isTerminal())
            m_terminal.line(QStringLiteral("      ") + note);
        m_note = note;
        drawBar();
    }

    void waitingForLeftovers(const QList<LeftoverProcess> &processes) override
    {
        m_terminal.endProgramOutput();
        const QString note = leftoversNote(processes);
        if (note != m_note && !m_terminal.isTerminal())
            m_terminal.line(QStringLiteral("      ") + note);
        m_note = note;
        drawBar();
    }

    void programOutput(const QByteArray &bytes) override { m_terminal.programOutput(bytes); }

    void programEnded(const ProgramRecord &program) override
    {
        m_terminal.endProgramOutput();
        // A skipped program had no start to name it.
        if (program.outcome.outcome == RunOutcome::Skipped)
            m_terminal.lines(QStringLiteral("[%1/%2] %3\n      skipped: %4")
                                     .arg(m_value + 1)
                                     .arg(m_max)
                                     .arg(program.line, program.outcome.meaning));
        if (program.restart)
            for (const QString &line : WineRestart::summary(*program.restart))
                m_terminal.line(QStringLiteral("      ") + line);
        ++m_value;
        drawBar();
    }

    void runEnded(const RunRecord &) override
    {
        m_visible = false;
        drawBar();
    }

    void cancelPressed() override {}

private:
    void drawBar() { m_terminal.setProgress(m_value, m_visible ? m_max : 0, m_note); }

    Terminal &m_terminal;
    int m_max = 0;
    int m_value = 0;
    bool m_visible = false;
    QString m_note;
};

// Ctrl-C while the run goes on, and SIGTERM and SIGHUP alike (a `timeout`, a
// dropped ssh session, a service stop): the running setup goes on to its end
// and the report is finished. The handler only writes the signal's number to
// a pipe; the run's waits keep the event loop turning, so the notifier on the
// pipe's other end reaches the run between and during programs.
int interruptPipe[2] = {-1, -1};
constexpr int InterruptSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void onInterrupt(int signal)
{
    const int saved = errno;
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t n = ::write(interruptPipe[1], &byte, 1);
    errno = saved;
}

class Interrupts
{
public:
    Interrupts()
    {
        if (::pipe2(interruptPipe, O_CLOEXEC | O_NONBLOCK) != 0)
            return;
        struct sigaction sa;
        std::memset(&sa, 0, sizeof sa);
        sa.sa_handler = onInterrupt;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        for (size_t i = 0; i < std::size(InterruptSignals); ++i)
            m_installed[i] = ::sigaction(InterruptSignals[i], &sa, &m_old[i]) == 0;
        m_notifier = new QSocketNotifier(interruptPipe[0], QSocketNotifier::Read);
    }
    ~Interrupts()
    {
        for (size_t i = 0; i < std::size(InterruptSignals); ++i)
            if (m_installed[i])
                ::sigaction(InterruptSignals[i], &m_old[i], nullptr);
        delete m_notifier;
        for (int &fd : interruptPipe) {
            if (fd >= 0)
                ::close(fd);
            fd = -1;
        }
    }
    Interrupts(const Interrupts &) = delete;
    Interrupts &operator=(const Interrupts &) = delete;

    QSocketNotifier *notifier() const { return m_notifier; }

    // The signals that arrived since the last call, in order.
    QByteArray take()
    {
        QByteArray arrived;
        char buf[64];
        ssize_t n;
        while ((n = ::read(interruptPipe[0], buf, sizeof buf)) > 0)
            arrived.append(buf, n);
        return arrived;
    }

private:
    struct sigaction m_old[std::size(InterruptSignals)];
    bool m_installed[std::size(InterruptSignals)] = {};
    QSocketNotifier *m_notifier = nullptr;
};

// From its own file, so a missing or broken ShellAndWait.ocx is what the
// error names.
QObject *createControl(QString *error)
{
    return ControlHost::instance().createFrom(QStringLiteral("ShellAndWait.ocx"),
                                              QStringLiteral("Project1.ShellAndWait"), nullptr, error);
}

// Why FILE may not take the report, empty when it may: the list being
// installed and its setup files are never overwritten (under any name: a
// link or a second hard link is the same file), and only a regular file is
// written (a FIFO would block the run before it starts, a device takes
// anything).
QString reportRefusal(const QString &reportTo, const LoadedList &list)
{
    struct stat report
    {};
    if (::stat(FileNameCodec::encodeFileName(reportTo).constData(), &report) != 0)
        return QString(); // made anew
    if (!S_ISREG(report.st_mode))
        return QStringLiteral("it is not a regular file");
    const auto same = [&](const QByteArray &file) {
        struct stat st
        {};
        return !file.isEmpty() && ::stat(file.constData(), &st) == 0 && st.st_dev == report.st_dev
               && st.st_ino == report.st_ino;
    };
    if (same(FileNameCodec::encodeFileName(list.file)))
        return QStringLiteral("it is the list being installed");
    for (qsizetype i = 0; i < list.programs.size(); ++i) {
        if (same(ProgramLocator::locate(list.programs.at(i), list.file).file))
            return QStringLiteral("it is the setup file of program line %1").arg(i + 1);
    }
    return QString();
}

// Found unwritable before anything is installed, not after.
bool reportCanBeWritten(const QString &reportTo, const LoadedList &list, Terminal &terminal)
{
    if (reportTo.isEmpty())
        return true;
    const QString refusal = reportRefusal(reportTo, list);
    if (!refusal.isEmpty()) {
        terminal.errorLine(QStringLiteral("setupreel: the report is not written to %1: %2").arg(reportTo, refusal));
        return false;
    }
    // Asked, not tried: a run refused before it starts creates no file.
    const QByteArray name = FileNameCodec::encodeFileName(reportTo);
    const bool exists = ::access(name.constData(), F_OK) == 0;
    if (::access(exists ? name.constData() : FileIO::folderOf(name).constData(), W_OK) != 0) {
        terminal.errorLine(QStringLiteral("setupreel: the report cannot be written to %1: %2")
                                   .arg(reportTo, FileIO::errorText(errno)));
        return false;
    }
    return true;
}

// The whole run, with Ctrl-C (or SIGTERM, SIGHUP) as Cancel and a second one
// as "stop waiting for what the setup left behind". Returns the first such
// signal, 0 when none came.
int installAnsweringInterrupts(InstallRun &run, const LoadedList &list, const HostedRunAndWait &control,
                               Terminal &terminal)
{
    int first = 0;
    Interrupts interrupts;
    if (interrupts.notifier()) {
        QObject::connect(interrupts.notifier(), &QSocketNotifier::activated, interrupts.notifier(), [&] {
            for (const char byte : interrupts.take()) {
                const int signal = static_cast<unsigned char>(byte);
                if (first == 0) {
                    first = signal;
                    terminal.errorLine(
                            QStringLiteral("Cancel: the running program goes on to its end; no further one starts."));
                    if (signal == SIGINT)
                        terminal.errorLine(
                                QStringLiteral("Ctrl-C again: stop waiting for processes it leaves behind."));
                    run.cancel();
                } else if (control.stopWaiting()) {
                    terminal.errorLine(QStringLiteral("No longer waiting for the processes the setup left behind."));
                } else {
                    terminal.errorLine(
                            QStringLiteral("The running program has not ended yet; the run ends when it does."));
                }
            }
        });
    }
    run.install(list);
    return first;
}

// The summary line and where the kept report is.
void tellSummary(const InstallRun &run, const RunTally &counts, Terminal &terminal)
{
    QString summary = QStringLiteral("%1 succeeded, %2 failed, %3 need a restart")
                              .arg(counts.succeeded)
                              .arg(counts.notSucceeded)
                              .arg(counts.restartNeeded);
    if (counts.neverStarted > 0)
        summary += run.lastRun().stoppedForRestart.isEmpty()
                           ? QStringLiteral(", %1 not started (cancelled)").arg(counts.neverStarted)
                           : QStringLiteral(", %1 not started (stopped for a restart)").arg(counts.neverStarted);
    if (counts.skipped > 0)
        summary += QStringLiteral(", %1 skipped").arg(counts.skipped);
    terminal.line(summary);
    if (run.reportError().isEmpty())
        terminal.line(QStringLiteral("Report: ") + run.reportTextPath());
    else
        terminal.errorLine(QStringLiteral("The report of this run could not be written: ") + run.reportError());
    // Only --skip-done, --resume and --status miss it: the run itself is whole.
    if (!run.doneRecordError().isEmpty())
        terminal.errorLine(QStringLiteral("The record of what is done could not be written: ") + run.doneRecordError());
}

// --resume: the program the list's last unfinished run stopped at; 0 with
// *status set when nothing is to be run.
int resumePoint(const LoadedList &list, Terminal &terminal, int *status)
{
    DoneRecord record(QString(), list.file, list.programs);
    QString error;
    if (!record.read(&error)) {
        terminal.errorLine(QStringLiteral("setupreel: nothing resumed: the record of what is done cannot be read: ")
                           + error);
        *status = Cli::Refused;
        return 0;
    }
    const DoneRecord::Resume point = record.resumePoint();
    if (!point.refusal.isEmpty()) {
        terminal.errorLine(QStringLiteral("setupreel: nothing resumed: ") + point.refusal);
        *status = Cli::Refused;
    } else if (point.at == 0) {
        // Asked again after the run went to its end (a second boot, a retry): nothing is wrong.
        terminal.line(QStringLiteral("Nothing to resume: ") + point.told);
        *status = Cli::AllSucceeded;
    } else {
        terminal.line(QStringLiteral("Resuming: ") + point.told);
    }
    return point.at;
}

// What follows a run stopped for a restart, at program next: the entry
// that resumes it (--resume-after-reboot), or how to resume it by hand.
QString afterStop(const QString &list, const QString &title, int next, int timeoutSeconds,
                  const InstallCommand::Repeat &repeat)
{
    QString byHand = QStringLiteral("Restart the computer, then go on at program %1 with: setupreel --install "
                                    "%2 --resume --restart=stop")
                             .arg(next)
                             .arg(list);
    if (!repeat.resumeAfterReboot)
        return byHand;
    if (repeat.resumeCount >= ResumeEntry::MaxResumes)
        return QStringLiteral("The run stopped for a restart after %1 resumes in a row: no entry resumes it again.")
                       .arg(repeat.resumeCount)
               + u'\r' + byHand;
    QStringList arguments;
    if (timeoutSeconds > 0)
        arguments << QStringLiteral("--timeout=%1").arg(timeoutSeconds);
    // The session after the restart may not have the prefix this run used.
    const QString prefix = qEnvironmentVariable("WINEPREFIX");
    if (prefix.contains(u'/'))
        arguments << QStringLiteral("--prefix=") + prefix;
    arguments << QStringLiteral("--resume-count=%1").arg(repeat.resumeCount + 1);
    const ResumeEntry::Written entry = ResumeEntry::write(list, title, arguments);
    if (entry.path.isEmpty())
        return QStringLiteral("The entry that resumes the run after a restart could not be written: %1")
                       .arg(entry.error)
               + u'\r' + byHand;
    return QStringLiteral("Restart the computer: the run goes on at program %1 after it (%2 %3).")
            .arg(next)
            .arg(entry.path.endsWith(QLatin1String(".desktop")) ? QStringLiteral("autostart entry")
                                                                : QStringLiteral("systemd user unit"),
                 entry.path);
}

// The --report copy's fate, after the kept report's.
void tellReportCopy(const InstallRun &run, const QString &reportTo, Terminal &terminal)
{
    if (!reportTo.isEmpty() && !run.reportCopyError().isEmpty())
        terminal.errorLine(QStringLiteral("setupreel: the report could not be written to %1: %2")
                                   .arg(reportTo, run.reportCopyError()));
}

} // namespace

namespace InstallCommand {

int run(const QString &listPath, const QString &reportTo, int timeoutSeconds, Repeat repeat,
        InstallRun::WineRestartMode restart, Terminal &terminal)
{
    TerminalPrompts prompts(terminal, TerminalPrompts::TitleLayout::OwnLine);
    // The report names the list by its full path, as the window's dialog does.
    const QString path = listPath.isEmpty() ? listPath : QDir::current().absoluteFilePath(listPath);
    const ListSequences::InstallLoad load = CheckCommand::loadList(path, prompts, terminal);
    if (!load.loaded)
        return Cli::Refused;
    const LoadedList list = LoadedList::fromText(path, load.text, load.lineCount);
    if (!reportCanBeWritten(reportTo, list, terminal))
        return Cli::Refused;
    // Run once after a restart: the entry that started this is spent.
    if (repeat.resumeAfterReboot && repeat.resume) {
        const QString error = ResumeEntry::remove(path);
        if (!error.isEmpty())
            terminal.errorLine(QStringLiteral("setupreel: the entry that resumed this run could not be removed: ")
                               + error);
    }
    int resumeAt = 0;
    if (repeat.resume) {
        int status = Cli::AllSucceeded;
        resumeAt = resumePoint(list, terminal, &status);
        if (resumeAt == 0)
            return status;
    }

    QString error;
    const std::unique_ptr<QObject> control(createControl(&error));
    if (!control) {
        terminal.errorLine(
                QStringLiteral("setupreel: the run-and-wait control (ShellAndWait.ocx) could not be loaded: ") + error);
        return Cli::Refused;
    }

    terminal.line(QStringLiteral("Installing \"%1\": %2 program(s)").arg(load.title).arg(load.lineCount - 1));

    TerminalRunLines lines(terminal);
    const HostedRunAndWait hosted(control.get());
    InstallRun run(lines, prompts, [&hosted](const QString &line) { return hosted.run(line); });
    run.setReportCopy(reportTo);
    run.setProgramTimeout(timeoutSeconds);
    run.setSkipDone(repeat.skipDone);
    run.setResumeAt(resumeAt);
    run.setWineRestart(restart);
    run.setAfterStop([&](int next) { return afterStop(path, load.title, next, timeoutSeconds, repeat); });
    // The setups' output comes above the progress bar, from their logs: a
    // closed standard output (`| head`) never reaches a setup.
    run.setRelayOutput(true);
    const QObject served;
    hosted.serve(run, &served);

    const int interrupt = installAnsweringInterrupts(run, list, hosted, terminal);
    // Install refused the list (more programs than one run can take).
    if (run.reportJsonPath().isEmpty())
        return Cli::Refused;

    const RunTally counts = tally(run.lastRun());
    tellSummary(run, counts, terminal);
    tellReportCopy(run, reportTo, terminal);

    if (interrupt != 0)
        return Cli::Interrupted + interrupt;
    if (counts.notSucceeded > 0)
        return Cli::SomeNotSucceeded;
    if (!run.reportError().isEmpty() || !run.reportCopyError().isEmpty())
        return Cli::ReportNotWritten;
    return counts.restartNeeded > 0 || !run.lastRun().stoppedForRestart.isEmpty() ? Cli::RestartNeeded
                                                                                  : Cli::AllSucceeded;
}

} // namespace InstallCommand
