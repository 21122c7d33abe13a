#include "cli/InstallCommand.h"

#include "FileNameCodec.h"
#include "cli/Cli.h"
#include "cli/Terminal.h"
#include "core/common/Globals.h"
#include "core/common/WriteAll.h"
#include "core/controls/ControlHost.h"
#include "core/install/InstallRun.h"
#include "core/lists/ListSequences.h"

#include <QDir>
#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>
#include <fcntl.h>
#include <unistd.h>

namespace {

const QChar CR(QLatin1Char('\r'));

// The run as lines: one per program as it starts, and on a terminal a bar
// below them. The run's steps arrive as the window's label texts: a new
// remainder text opens a step, the current file text names its program.
class TerminalDisplay final : public InstallDisplay
{
public:
    explicit TerminalDisplay(Terminal &terminal) : m_terminal(terminal) {}

    void setButtonsEnabled(bool) override {}
    void setCancelVisible(bool) override {}
    void setModeText(const QString &) override {}
    void setRemainderText(const QString &) override { m_newStep = true; }

    void setCurrentFileText(const QString &text) override
    {
        const QStringList parts = text.split(CR);
        if (parts.size() < 2)
            return;
        const int step = m_value + 1;
        if (m_newStep) {
            m_newStep = false;
            m_note.clear();
            m_terminal.line(QStringLiteral("[%1/%2] %3").arg(step).arg(m_max).arg(parts.at(1)));
        }
        // "Another installation is in progress: trying again in N s"
        const QString note = parts.mid(2).join(QLatin1Char(' '));
        if (!note.isEmpty() && m_note.isEmpty() && !m_terminal.isTerminal())
            m_terminal.line(QStringLiteral("      ") + note);
        m_note = note;
        drawBar();
    }

    void setProgressVisible(bool visible) override
    {
        m_visible = visible;
        drawBar();
    }
    void setProgressMax(int max) override
    {
        m_max = max;
        drawBar();
    }
    void setProgressValue(int value) override
    {
        m_value = value;
        drawBar();
    }

private:
    void drawBar()
    {
        if (!m_terminal.isTerminal())
            return;
        if (!m_visible || m_max <= 0) {
            m_terminal.setStatus(QString());
            return;
        }
        constexpr int Width = 30;
        const int filled = int(qint64(Width) * qBound(0, m_value, m_max) / m_max);
        QString bar = QLatin1Char('[') + QString(filled, QLatin1Char('#')) + QString(Width - filled, QLatin1Char('-'))
                      + QStringLiteral("] %1/%2").arg(m_value).arg(m_max);
        if (!m_note.isEmpty())
            bar += QStringLiteral("  ") + m_note;
        m_terminal.setStatus(bar);
    }

    Terminal &m_terminal;
    int m_max = 0;
    int m_value = 0;
    bool m_visible = false;
    bool m_newStep = false;
    QString m_note;
};

// Ctrl-C while the run goes on. The handler only writes a byte to a pipe; the
// run's waits keep the event loop turning, so the notifier on the pipe's other
// end reaches the run between and during programs.
int interruptPipe[2] = {-1, -1};

extern "C" void onInterrupt(int)
{
    const int saved = errno;
    const char byte = 1;
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
        m_installed = ::sigaction(SIGINT, &sa, &m_old) == 0;
        m_notifier = new QSocketNotifier(interruptPipe[0], QSocketNotifier::Read);
    }
    ~Interrupts()
    {
        if (m_installed)
            ::sigaction(SIGINT, &m_old, nullptr);
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

    // How many Ctrl-C arrived since the last call.
    int take()
    {
        char buf[64];
        int count = 0;
        ssize_t n;
        while ((n = ::read(interruptPipe[0], buf, sizeof buf)) > 0)
            count += int(n);
        return count;
    }

private:
    struct sigaction m_old;
    bool m_installed = false;
    QSocketNotifier *m_notifier = nullptr;
};

// From its own file, so a missing or broken ShellAndWait.ocx is what the
// error names.
QObject *createControl(QString *error)
{
    return ControlHost::instance().createFrom(QStringLiteral("ShellAndWait.ocx"),
                                              QStringLiteral("Project1.ShellAndWait"), nullptr, error);
}

// Opens (and with truncate empties) the file --report names.
int openReport(const QString &path, bool truncate)
{
    int fd;
    do {
        fd = ::open(FileNameCodec::encodeFileName(path).constData(),
                    O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | (truncate ? O_TRUNC : 0), 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool writeReportCopy(const QString &path, const QByteArray &json, QString *error)
{
    const int fd = openReport(path, true);
    if (fd < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    if (!writeAll(fd, json)) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        ::close(fd);
        return false;
    }
    if (::close(fd) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    return true;
}

// Found unwritable before anything is installed, not after.
bool reportCanBeWritten(const QString &reportTo, Terminal &terminal)
{
    if (reportTo.isEmpty())
        return true;
    const int fd = openReport(reportTo, false);
    if (fd < 0) {
        terminal.errorLine(QStringLiteral("setupreel: the report cannot be written to %1: %2")
                                   .arg(reportTo, QString::fromLocal8Bit(std::strerror(errno))));
        return false;
    }
    ::close(fd);
    return true;
}

// The whole run, with Ctrl-C as Cancel and a second one as "stop waiting for
// what the setup left behind". Returns how many Ctrl-C arrived.
int installAnsweringCtrlC(InstallRun &run, QObject *control, Terminal &terminal)
{
    int interrupts = 0;
    Interrupts ctrlC;
    if (ctrlC.notifier()) {
        QObject::connect(ctrlC.notifier(), &QSocketNotifier::activated, ctrlC.notifier(), [&] {
            const int now = ctrlC.take();
            for (int i = 0; i < now; ++i) {
                if (++interrupts == 1) {
                    terminal.errorLine(
                            QStringLiteral("Cancel: the running program goes on to its end; no further one starts.\n"
                                           "Ctrl-C again: stop waiting for processes it leaves behind."));
                    run.cancel();
                } else if (stopWaitingOn(control)) {
                    terminal.errorLine(QStringLiteral("No longer waiting for the processes the setup left behind."));
                } else {
                    terminal.errorLine(
                            QStringLiteral("The running program has not ended yet; the run ends when it does."));
                }
            }
        });
    }
    run.install();
    return interrupts;
}

// The summary line and where the kept report is.
void tellSummary(const InstallRun &run, const RunTally &counts, Terminal &terminal)
{
    QString summary = QStringLiteral("%1 succeeded, %2 failed, %3 need a restart")
                              .arg(counts.succeeded)
                              .arg(counts.notSucceeded)
                              .arg(counts.restartNeeded);
    if (counts.neverStarted > 0)
        summary += QStringLiteral(", %1 not started (cancelled)").arg(counts.neverStarted);
    terminal.line(summary);
    if (run.reportError().isEmpty())
        terminal.line(QStringLiteral("Report: ") + run.reportTextPath());
    else
        terminal.errorLine(QStringLiteral("The report of this run could not be written: ") + run.reportError());
}

// The JSON report to the file --report names: the kept one's bytes when it
// was written, else the run's record made anew.
void copyReport(const InstallRun &run, const QString &reportTo, Terminal &terminal)
{
    QByteArray json;
    QFile kept(run.reportJsonPath());
    if (run.reportError().isEmpty() && kept.open(QIODevice::ReadOnly))
        json = kept.readAll();
    else
        json = RunReport::toJson(run.lastRun());
    QString error;
    if (!writeReportCopy(reportTo, json, &error))
        terminal.errorLine(QStringLiteral("setupreel: the report could not be written to %1: %2").arg(reportTo, error));
}

// The control's signal reaches the run, which is no QObject, through this.
class LeftoversRelay : public QObject
{
    Q_OBJECT
public:
    explicit LeftoversRelay(InstallRun &run) : m_run(run) {}
public slots:
    void leftoversRemain() { m_run.leftoversRemain(); }

private:
    InstallRun &m_run;
};

} // namespace

namespace InstallCommand {

int run(const QString &listPath, const QString &reportTo, Terminal &terminal)
{
    TerminalPrompts prompts(terminal, TerminalPrompts::TitleLayout::OwnLine);
    // The report names the list by its full path, as the window's dialog does.
    const QString path = listPath.isEmpty() ? listPath : QDir::current().absoluteFilePath(listPath);
    const ListSequences::InstallLoad load = ListSequences::loadFileForInstalling(path, prompts);
    if (!load.loaded || !reportCanBeWritten(reportTo, terminal))
        return Cli::Refused;
    Globals::LoadedListText = load.text;
    Globals::LoadedLineCount = QString::number(load.lineCount);

    QString error;
    const std::unique_ptr<QObject> control(createControl(&error));
    if (!control) {
        terminal.errorLine(
                QStringLiteral("setupreel: the run-and-wait control (ShellAndWait.ocx) could not be loaded: ") + error);
        return Cli::Refused;
    }

    terminal.line(QStringLiteral("Installing \"%1\": %2 program(s)").arg(load.title).arg(load.lineCount - 1));

    TerminalDisplay display(terminal);
    QObject *const ocx = control.get();
    InstallRun run(display, prompts, [ocx](const QString &line) { return runAndWaitOn(ocx, line); });
    run.setListFile(path);
    run.setStopWaiting([ocx] { return stopWaitingOn(ocx); });
    // After Cancel, processes a setup left behind are not waited for: no
    // further program starts after them.
    LeftoversRelay relay(run);
    if (ocx->metaObject()->indexOfSignal("waitingForLeftovers()") >= 0)
        QObject::connect(ocx, SIGNAL(waitingForLeftovers()), &relay, SLOT(leftoversRemain()));

    const int interrupts = installAnsweringCtrlC(run, ocx, terminal);
    // Install refused the list (more programs than one run can take).
    if (run.reportJsonPath().isEmpty())
        return Cli::Refused;

    const RunTally counts = tally(run.lastRun());
    tellSummary(run, counts, terminal);
    if (!reportTo.isEmpty())
        copyReport(run, reportTo, terminal);

    if (interrupts > 0)
        return Cli::Interrupted;
    if (counts.notSucceeded > 0)
        return Cli::SomeNotSucceeded;
    return counts.restartNeeded > 0 ? Cli::RestartNeeded : Cli::AllSucceeded;
}

} // namespace InstallCommand

#include "InstallCommand.moc"
