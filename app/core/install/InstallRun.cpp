#include "core/install/InstallRun.h"

#include "ControlContract.h"
#include "core/common/Globals.h"
#include "core/common/Prompts.h"
#include "core/lists/ProgramLocator.h"
#include "core/lists/ListFile.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QMetaObject>
#include <QPointer>
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

QString currentFileText(const QString &item) { return QStringLiteral("The current file :") + CR + item; }

// The title line of a loaded list, without its ">".
QString listTitle(const QString &text)
{
    qsizetype end = text.indexOf(CR);
    if (end < 0)
        end = text.size();
    return text.mid(1, end - 1);
}
}

InstallRun::InstallRun(InstallDisplay &display, Prompts &prompts, RunAndWait runAndWait)
    : m_display(display), m_prompts(prompts), m_runAndWait(std::move(runAndWait))
{
}

InstallRun::~InstallRun() = default;

void InstallRun::setRetryTiming(int intervalMs, int limitMs)
{
    m_retryIntervalMs = qMax(0, intervalMs);
    m_retryLimitMs = qMax(0, limitMs);
}

void InstallRun::install()
{
    const int programs = Globals::LoadedLineCount.toInt() - 1;
    if (!mayStart(programs))
        return;
    m_running = true;
    m_cancelled = false;
    // The run cuts its items from the list as it was when Install was pressed.
    const QString text = Globals::LoadedListText;

    RunRecord record;
    record.listFile = m_listFile;
    record.title = listTitle(text);
    record.host = QSysInfo::machineHostName();
    record.start = RunReport::now();
    record.programCount = qMax(programs, 0);
    RunReport report(m_reportFolder);
    report.begin(record.start);
    m_reportText = report.textPath();
    m_reportJson = report.jsonPath();
    m_reportError.clear();
    m_lastWrite.invalidate();
    writeReport(report, record, true);

    showRunning(programs);
    const int remaining = runPrograms(text, programs, record, report);
    showFinished(remaining);

    record.cancelled = m_cancelled;
    record.end = RunReport::now();
    writeReport(report, record, true);
    m_running = false;
    m_lastRun = record;
    tellTheEnd(record, remaining);
}

bool InstallRun::mayStart(int programs)
{
    if (Globals::LoadedListText.isEmpty()) {
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
    if (programs > MaxPrograms) {
        m_prompts.messageBox(QStringLiteral("This list holds %1 programs.").arg(programs) + CR
                                     + QStringLiteral("One run can install at most %1.").arg(MaxPrograms),
                             QStringLiteral("Installing"), MsgIcon::Exclamation);
        return false;
    }
    return true;
}

int InstallRun::runPrograms(const QString &text, int programs, RunRecord &record, RunReport &report)
{
    int remaining = programs;
    if (programs < 1)
        return remaining;
    qsizetype searchPos = 0; // 0-based here
    int progress = 0;
    Globals::InstallIndex = 1;
    while (true) {
        const qsizetype p1 = text.indexOf(CR, searchPos);
        const QString item = ListFile::ListItemFrom(text, searchPos);

        m_display.setRemainderText(QStringLiteral("Remainder of programs installing :   ")
                                   + QString::number(remaining));
        m_display.setCurrentFileText(currentFileText(item));

        record.programs << runProgram(item);
        record.cancelled = m_cancelled;
        const ProgramRecord &last = record.programs.last();
        writeReport(report, record,
                    outcomeIsNews(last.outcome.outcome) || last.start.msecsTo(last.end) >= ReportAfterProgramMs);

        m_display.setProgressValue(++progress);
        searchPos = p1 < 0 ? text.size() : p1 + 1;
        --remaining;
        // Cancel sets InstallIndex past the last program.
        const int next = int(Globals::InstallIndex) + 1;
        if (next > programs)
            return remaining;
        Globals::InstallIndex = qint16(next);
    }
}

void InstallRun::showRunning(int programs)
{
    m_display.setButtonsEnabled(false);
    m_display.setCancelVisible(true);
    m_display.setModeText(QStringLiteral("The program mode   :   Installing your programs"));
    m_display.setProgressValue(0);
    m_display.setProgressVisible(true);
    m_display.setProgressMax(qMax(programs, 0));
}

void InstallRun::showFinished(int remaining)
{
    m_display.setModeText(QStringLiteral("The program mode   :   Installing finished"));
    m_display.setCancelVisible(false);
    m_display.setButtonsEnabled(true);
    m_display.setRemainderText(QStringLiteral("Remainder of programs for installing  :   ")
                               + QString::number(remaining));
    m_display.setCurrentFileText(QString());
    m_display.setProgressVisible(false);
}

ProgramRecord InstallRun::runProgram(const QString &item)
{
    ProgramRecord rec;
    rec.line = item;
    rec.start = RunReport::now();
    QElapsedTimer busySince; // since the first "another installation is in progress"
    while (true) {
        // A list written elsewhere names its files where they were there; the
        // line itself stays as the list holds it, for the window and the report.
        const RunResult r = m_runAndWait(ProgramLocator::locate(item, m_listFile).commandLine);
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
        rec.outcome = readOutcome(installerKindFromId(rec.installerType), rec.programEnd);

        if (rec.outcome.outcome != RunOutcome::InstallInProgress || m_cancelled)
            break;
        if (!busySince.isValid())
            busySince.start();
        if (busySince.elapsed() + m_retryIntervalMs > m_retryLimitMs)
            break;
        if (!waitBeforeRetry(item))
            break;
        ++rec.attempts;
        m_display.setCurrentFileText(currentFileText(item));
    }
    return rec;
}

bool InstallRun::waitBeforeRetry(const QString &item)
{
    QElapsedTimer waited;
    waited.start();
    const auto show = [&] {
        const qint64 left = qMax<qint64>(0, m_retryIntervalMs - waited.elapsed());
        m_display.setCurrentFileText(
                currentFileText(item) + CR
                + QStringLiteral("Another installation is in progress: trying again in %1 s").arg((left + 999) / 1000));
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
    m_display.setCancelVisible(false);
    m_display.setButtonsEnabled(true);
    Globals::InstallIndex = qint16(Globals::LoadedLineCount.toInt());
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

void InstallRun::leftoversRemain()
{
    if (m_running && m_cancelled && m_stopWaiting)
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

namespace {
// A member of the hosted control, called by name. False when the control has
// no such member (an older ShellAndWait.ocx): what it would tell is unknown.
template<class T>
bool ask(QObject *control, const char *member, T &value)
{
    const QMetaObject *meta = control->metaObject();
    // "Name()" is already in normalized form.
    if (meta->indexOfMethod((QByteArray(member) + "()").constData()) < 0)
        return false;
    return QMetaObject::invokeMethod(control, member, Qt::DirectConnection,
                                     QReturnArgument<T>(QMetaType::fromType<T>().name(), value));
}
}

RunResult runAndWaitOn(QObject *control, const QString &commandLine)
{
    RunResult result;
    if (!control) {
        result.number = RunTimeError::CantCreateObject;
        result.description = QStringLiteral("The run-and-wait control (ShellAndWait.ocx) is not available.");
        return result;
    }
    QPointer<QObject> alive(control);
    if (!QMetaObject::invokeMethod(control, "ShellAndWait", Qt::DirectConnection, Q_RETURN_ARG(int, result.number),
                                   Q_ARG(QString, commandLine))) {
        result.number = RunTimeError::NotSupported;
        result.description = QStringLiteral("The run-and-wait control does not support this action.");
        return result;
    }
    if (!alive) { // its window went away while the program ran
        result.exitCode = -1;
        return result;
    }
    if (result.number != 0)
        ask(control, "ErrorDescription", result.description);
    else if (!ask(control, "ExitCode", result.exitCode))
        result.exitCode = -1;
    ask(control, "ExitSignal", result.exitSignal);
    ask(control, "StartedFile", result.startedFile);
    ask(control, "InstallerType", result.installerType);
    ask(control, "Machine", result.machine);
    ask(control, "LeftBehind", result.leftBehind);
    return result;
}

bool stopWaitingOn(QObject *control)
{
    bool waiting = false;
    if (!control || !ask(control, "IsWaitingForLeftovers", waiting) || !waiting)
        return false;
    return QMetaObject::invokeMethod(control, "StopWaiting", Qt::DirectConnection);
}
