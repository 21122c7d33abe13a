#include "core/install/InstallRun.h"

#include "FileNameCodec.h"
#include "InstallerType.h"
#include "core/common/Prompts.h"
#include "core/lists/ListFile.h"
#include "core/lists/ProgramLocator.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QSysInfo>
#include <QTimer>

namespace {
const QChar CR(QLatin1Char('\r'));

// The report is written after every program that ran this long, or did not
// succeed; programs that end at once (a list of small tools) are written
// together, at the latest after ReportAtMostAfterMs, so their report does not
// cost more than starting them.
constexpr qint64 ReportAfterProgramMs = 100;
constexpr qint64 ReportAtMostAfterMs = 1000;

// The title line of a loaded list, without its ">".
QString listTitle(const QString &text)
{
    qsizetype end = text.indexOf(CR);
    if (end < 0)
        end = text.size();
    return text.mid(1, end - 1);
}
}

LoadedList LoadedList::fromText(const QString &file, const QString &text, int lineCount)
{
    LoadedList list;
    list.file = file;
    list.title = listTitle(text);
    qsizetype searchPos = 0;
    for (int i = 1; i < lineCount; ++i) {
        const qsizetype p1 = text.indexOf(CR, searchPos);
        list.programs << ListFile::listItemFrom(text, searchPos);
        searchPos = p1 < 0 ? text.size() : p1 + 1;
    }
    return list;
}

QString ProgramStart::installerType() const
{
    if (!m_installerType)
        m_installerType = ShellAndWaitLogic::installerKindId(
                fileName.isEmpty() ? ShellAndWaitLogic::InstallerKind::Unknown
                                   : ShellAndWaitLogic::inspectInstaller(fileName).kind);
    return *m_installerType;
}

InstallRun::InstallRun(RunObserver &observer, Prompts &prompts, RunAndWait runAndWait)
    : m_observer(observer), m_prompts(prompts), m_runAndWait(std::move(runAndWait))
{
}

InstallRun::~InstallRun() = default;

void InstallRun::setRetryTiming(int intervalMs, int limitMs)
{
    m_retryIntervalMs = qMax(0, intervalMs);
    m_retryLimitMs = qMax(0, limitMs);
}

void InstallRun::install(std::optional<LoadedList> loaded)
{
    if (!mayStart(loaded))
        return;
    m_running = true;
    m_cancelled = false;
    // The run keeps its own copy of the list as it was when Install was
    // pressed: after Cancel another list can be loaded while it still runs.
    const LoadedList list = std::move(*loaded);

    RunRecord record;
    record.listFile = list.file;
    record.title = list.title;
    record.host = QSysInfo::machineHostName();
    record.start = RunReport::now();
    record.programCount = int(list.programs.size());
    RunReport report(m_reportFolder);
    report.begin(record.start);
    m_reportText = report.textPath();
    m_reportJson = report.jsonPath();
    m_reportError.clear();
    m_lastWrite.invalidate();
    writeReport(report, record, true);

    m_observer.runStarted(record.programCount);
    const int remaining = runPrograms(list, record, report);

    record.cancelled = m_cancelled;
    record.end = RunReport::now();
    writeReport(report, record, true);
    m_running = false;
    m_lastRun = record;
    m_observer.runEnded(record);
    tellTheEnd(record, remaining);
}

bool InstallRun::mayStart(const std::optional<LoadedList> &list)
{
    if (!list) {
        m_prompts.messageBox(QStringLiteral("You didn't load any list. !"), QStringLiteral("Installing"),
                             MsgIcon::Exclamation);
        return false;
    }
    // After Cancel the buttons are back while the current program still runs;
    // a second run must not start inside the first.
    if (m_running) {
        m_prompts.messageBox(QStringLiteral("The cancelled run is still waiting for its current program to end.") + CR
                                     + QStringLiteral("Click Install again when it has ended."),
                             QStringLiteral("Installing"), MsgIcon::Information);
        return false;
    }
    const qsizetype programs = list->programs.size();
    if (programs > MaxPrograms) {
        m_prompts.messageBox(QStringLiteral("This list holds %1 programs.").arg(programs) + CR
                                     + QStringLiteral("One run can install at most %1.").arg(MaxPrograms),
                             QStringLiteral("Installing"), MsgIcon::Exclamation);
        return false;
    }
    return true;
}

int InstallRun::runPrograms(const LoadedList &list, RunRecord &record, RunReport &report)
{
    const int programs = int(list.programs.size());
    for (int index = 1; index <= programs; ++index) {
        record.programs << runProgram(index, list.programs.at(index - 1), list.file);
        record.cancelled = m_cancelled;
        const ProgramRecord &last = record.programs.last();
        writeReport(report, record,
                    outcomeIsNews(last.outcome.outcome) || last.start.msecsTo(last.end) >= ReportAfterProgramMs);
        m_observer.programEnded(last);
        // Cancel takes effect when the current program has ended.
        if (m_cancelled)
            return programs - index;
    }
    return 0;
}

ProgramRecord InstallRun::runProgram(int index, const QString &item, const QString &listFile)
{
    ProgramRecord rec;
    rec.line = item;
    rec.start = RunReport::now();
    QElapsedTimer busySince; // since the first "another installation is in progress"
    while (true) {
        // A list written elsewhere names its files where they were there; the
        // line itself stays as the list holds it, for the window and the report.
        const ProgramLocator::Location where = ProgramLocator::locate(item, listFile);
        ProgramStart start;
        start.index = index;
        start.attempt = rec.attempts;
        start.line = item;
        start.file = FileNameCodec::decodeFileName(where.file);
        start.fileName = where.file;
        m_observer.programStarting(start);
        const RunResult r = m_runAndWait(where.commandLine);
        if (r.number != 0) {
            m_prompts.messageBox(QString::number(r.number) + CR + QStringLiteral("An error appears.") + CR
                                         + QStringLiteral("Click on the button to continue.") + CR + r.description,
                                 QStringLiteral("Error"), MsgIcon::Exclamation);
        }
        rec.end = RunReport::now();
        rec.startedFile = r.startedFile;
        rec.installerType = r.installerType.isEmpty()
                                    ? ShellAndWaitLogic::installerKindId(ShellAndWaitLogic::InstallerKind::Unknown)
                                    : r.installerType;
        rec.machine = r.machine;
        rec.programEnd.started = r.number == 0;
        rec.programEnd.exitCode = r.exitCode;
        rec.programEnd.signal = r.exitSignal;
        rec.errorNumber = r.number;
        rec.errorText = r.number ? r.description : QString();
        for (const QString &left : r.leftBehind)
            if (!rec.leftBehind.contains(left))
                rec.leftBehind << left;
        rec.wineRestart = r.wineRestart;
        rec.outcome = readOutcome(installerKindFromId(rec.installerType), rec.programEnd);

        if (rec.outcome.outcome != RunOutcome::InstallInProgress || m_cancelled)
            break;
        if (!busySince.isValid())
            busySince.start();
        if (busySince.elapsed() + m_retryIntervalMs > m_retryLimitMs)
            break;
        if (!waitBeforeRetry())
            break;
        ++rec.attempts;
    }
    return rec;
}

bool InstallRun::waitBeforeRetry()
{
    QElapsedTimer waited;
    waited.start();
    const auto show = [&] {
        const qint64 left = qMax<qint64>(0, m_retryIntervalMs - waited.elapsed());
        m_observer.waitingForAnotherInstallation(int((left + 999) / 1000));
    };
    show();

    QEventLoop loop;
    QTimer due, tick;
    due.setSingleShot(true);
    due.setTimerType(Qt::PreciseTimer);
    QObject::connect(&due, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&tick, &QTimer::timeout, &loop, show);
    due.start(m_retryIntervalMs);
    tick.start(1000);
    m_retryWait = &loop;
    loop.exec();
    m_retryWait = nullptr;
    // Ended early: Cancel, or the application's loops were told to end.
    return !m_cancelled && !due.isActive();
}

void InstallRun::cancel()
{
    m_observer.cancelPressed();
    if (!m_running)
        return;
    m_cancelled = true;
    if (m_retryWait)
        m_retryWait->quit();
    // Only processes an ended setup left behind are awaited: nothing further
    // starts after them, so they are left running and the run ends now.
    if (m_stopWaiting)
        m_stopWaiting();
}

void InstallRun::leftoversRemain(const QList<LeftoverProcess> &processes)
{
    if (!m_running)
        return;
    m_observer.waitingForLeftovers(processes);
    if (m_cancelled && m_stopWaiting)
        m_stopWaiting();
}

void InstallRun::writeReport(RunReport &report, const RunRecord &record, bool always)
{
    if (!always && m_lastWrite.isValid() && m_lastWrite.elapsed() < ReportAtMostAfterMs)
        return;
    QString error;
    m_reportError = report.write(record, &error) ? QString() : error;
    m_lastWrite.start();
}

void InstallRun::tellTheEnd(const RunRecord &record, int notStarted)
{
    QStringList lines;
    bool failures = false;
    for (const ProgramRecord &p : record.programs) {
        if (!outcomeIsNews(p.outcome.outcome))
            continue;
        if (p.outcome.outcome != RunOutcome::RestartNeeded)
            failures = true;
        lines << p.line + QStringLiteral(": ") + RunReport::resultText(p);
    }
    // As the run has always ended: when every program succeeded, nothing is said.
    if (lines.isEmpty())
        return;
    const qsizetype news = lines.size();
    if (news > MaxNewsLines) {
        lines.resize(MaxNewsLines);
        lines << QStringLiteral("and %1 more").arg(news - MaxNewsLines);
    }
    lines.prepend(failures ? QStringLiteral("Not every program was installed:")
                           : QStringLiteral("A restart is needed to finish installing:"));
    if (record.cancelled && notStarted > 0)
        lines << QStringLiteral("%1 more program(s) of the list were not started: the run was cancelled.")
                         .arg(notStarted);
    lines << (m_reportError.isEmpty()
                      ? QStringLiteral("The report of this run: %1").arg(m_reportText)
                      : QStringLiteral("The report of this run could not be written: %1").arg(m_reportError));
    m_prompts.messageBox(lines.join(CR), QStringLiteral("Installing"),
                         failures ? MsgIcon::Exclamation : MsgIcon::Information);
}
