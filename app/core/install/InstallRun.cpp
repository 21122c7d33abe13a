// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/install/InstallRun.h"

#include "ControlContract.h"
#include "FileNameCodec.h"
#include "InstallerType.h"
#include "LaunchPlan.h"
#include "core/common/Folders.h"
#include "core/common/Prompts.h"
#include "core/install/DoneRecord.h"
#include "core/install/ProgramOutput.h"
#include "core/install/RunLock.h"
#include "core/install/WineRestart.h"
#include "core/lists/ListFile.h"
#include "core/lists/ListLock.h"
#include "core/lists/ProgramLocator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QSysInfo>
#include <QTimer>

#include <optional>

namespace {
const QChar CR(QLatin1Char('\r'));

// The journal takes every program as it starts and ends; the report is
// written whole only when a program has been running this long (as running,
// so a report cut short by a crash or a kill names it), when such a program
// ends, and at the end. Those writings are at least ReportGapMs apart and
// take at most one part in ReportCostShare of the time; and unless the report
// has grown by half since its last writing, at least SteadyGapMs apart.
// Programs that end at once cost a line of the journal each, whatever the
// list's length.
constexpr int RunningAfterMs = 100;
constexpr qint64 ReportGapMs = 100;
constexpr qint64 ReportCostShare = 20;
constexpr qint64 SteadyGapMs = 2000;
// The journal is put on the disk at most this often, and at most one part in
// ReportCostShare of the time (a kill loses nothing: only a power cut can).
constexpr qint64 SyncGapMs = 1000;
// How often a running program's output is looked for, when it is relayed.
constexpr int OutputRelayMs = 100;

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
    // A locked list runs only as it was locked.
    const ListLock listLock(loaded->file);
    if (const QString refused = listLock.listRefusal(loaded->title, loaded->programs); !refused.isEmpty()) {
        m_prompts.messageBox(
                refused + CR + QStringLiteral("Lock it again, or remove %1, to install it.").arg(listLock.lockFile()),
                QStringLiteral("Installing"), MsgIcon::Exclamation);
        return;
    }
    m_lock = &listLock;
    m_running = true;
    m_cancelled = false;
    // The run keeps its own copy of the list as it was when Install was
    // pressed: after Cancel another list can be loaded while it still runs.
    const LoadedList list = std::move(*loaded);

    RunRecord record;
    record.listFile = list.file;
    record.title = list.title;
    record.host = QSysInfo::machineHostName();
    record.prefix = RunLock::winePrefix();
    record.prefixArch = WineRestart::prefixArch(record.prefix);
    record.start = RunReport::now();
    record.programCount = int(list.programs.size());
    RunReport report(m_reportFolder);
    report.setCopy(m_reportCopy);
    report.begin(record.start);
    m_reportText = report.textPath();
    m_reportJson = report.jsonPath();
    m_reportError.clear();
    m_reportCopyError.clear();
    QTimer reportDue;
    reportDue.setSingleShot(true);
    QObject::connect(&reportDue, &QTimer::timeout, [this] { writeReport(); });
    QTimer runningDue;
    runningDue.setSingleShot(true);
    QObject::connect(&runningDue, &QTimer::timeout, [this] { programRunsLong(); });
    m_runningDue = &runningDue;
    m_record = &record;
    m_report = &report;
    m_reportDue = &reportDue;
    ProgramOutput output;
    m_output = &output;
    m_runningLogName = report.outputName(0);
    m_runningLogPath = report.outputPath(0);
    m_lastWrite.invalidate();
    // Written whole only once a program runs long, or at the end: until then
    // the journal holds the run, and the copy names it (never an earlier run).
    m_journalOk = report.journalStart(record);
    report.writeCopy(record);
    m_reportCopyError = report.copyError();
    m_lastSync.start();

    m_observer.runStarted(record.programCount);
    // Another run of this user's in the same Wine prefix goes first: its
    // setups and these must not run side by side.
    RunLock lock(report.folder(), RunLock::winePrefix());
    bool mayRun = lock.tryAcquire();
    while (!mayRun && waitBeforeRetry([&lock] { return lock.tryAcquire(); }))
        mayRun = lock.tryAcquire();
    // Read only now: a run that waited sees what the one before it did.
    DoneRecord done(m_reportFolder, list.file, list.programs);
    done.planSkips(m_skipDone, m_resumeAt);
    m_doneError.clear();
    if (mayRun) {
        done.read(); // one that cannot be read is written anew
        m_done = &done;
        m_doneError = done.write(record, m_reportJson);
    }
    const int remaining = mayRun && !m_cancelled ? runPrograms(list, record) : record.programCount;

    record.cancelled = m_cancelled;
    record.prefixArch = WineRestart::prefixArch(record.prefix); // a setup may have made it
    record.end = RunReport::now();
    m_journalOk = report.journalEnd(record) && m_journalOk;
    writeReport();
    // Whole now: readers need the journal no longer, unless something was not.
    if (m_reportError.isEmpty() && m_doneError.isEmpty())
        report.removeJournal();
    m_done = nullptr;
    m_record = nullptr;
    m_report = nullptr;
    m_reportDue = nullptr;
    m_runningDue = nullptr;
    output.discard();
    m_output = nullptr;
    m_lock = nullptr;
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

int InstallRun::runPrograms(const LoadedList &list, RunRecord &record)
{
    const int programs = int(list.programs.size());
    for (int index = 1; index <= programs; ++index) {
        std::optional<ProgramRecord> skipped = m_done->beforeStart(index);
        const bool rebootWasRequired =
                m_wineRestart == WineRestartMode::Stop && QFileInfo::exists(rebootRequiredFile());
        ProgramRecord ended = skipped ? std::move(*skipped) : runProgram(index, list.programs.at(index - 1), list.file);
        if (!skipped && index < programs && restartsWineAfter(ended))
            ended.restart =
                    WineRestart::restart(RunLock::winePrefix(), Folders::systemDir() + QStringLiteral("/WineWait.exe"));
        if (!skipped && index < programs && !m_cancelled)
            record.stoppedForRestart = stopsForRestartAfter(ended, rebootWasRequired);
        record.current.reset();
        record.programs << std::move(ended);
        record.cancelled = m_cancelled;
        programEndedInReport();
        m_observer.programEnded(record.programs.last());
        // Cancel takes effect when the current program has ended.
        if (m_cancelled || !record.stoppedForRestart.isEmpty())
            return programs - index;
    }
    return 0;
}

QString InstallRun::rebootRequiredFile()
{
    // Set by tests: the real file belongs to the system.
    const QString file = qEnvironmentVariable("SETUPREEL_REBOOT_REQUIRED_FILE");
    return file.isEmpty() ? QStringLiteral("/run/reboot-required") : file;
}

QString InstallRun::stopsForRestartAfter(const ProgramRecord &rec, bool rebootWasRequired) const
{
    if (m_wineRestart != WineRestartMode::Stop)
        return QString();
    if (rec.outcome.outcome == RunOutcome::RestartNeeded)
        return QStringLiteral("%1 needs a restart to finish installing").arg(rec.line);
    if (!rec.startedFile.isEmpty() && !ShellAndWaitLogic::startsThroughWine(rec.startedFile) && !rebootWasRequired
        && QFileInfo::exists(rebootRequiredFile()))
        return QStringLiteral("%1 appeared while %2 ran").arg(rebootRequiredFile(), rec.line);
    return QString();
}

ProgramRecord InstallRun::runProgram(int index, const QString &item, const QString &listFile)
{
    ProgramRecord rec;
    rec.line = item;
    rec.start = RunReport::now();
    // Its output, of every attempt, in one log beside the report.
    ProgramOutput &output = *m_output;
    std::optional<QTimer> relay; // only while its output is shown as it comes
    const auto relayNew = [&] {
        const QByteArray bytes = output.takeNew();
        if (!bytes.isEmpty())
            m_observer.programOutput(bytes);
    };
    // Named after its program only once it has written something.
    if (m_setOutput && output.open(m_report->folder(), m_runningLogName, m_runningLogPath)) {
        m_setOutput(output.fd());
        if (m_relayOutput) {
            relay.emplace();
            QObject::connect(&*relay, &QTimer::timeout, relayNew);
            relay->start(OutputRelayMs);
        }
    }
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
        ProgramRecord running = rec;
        running.startedFile = start.file;
        running.installerType = ShellAndWaitLogic::installerKindId(ShellAndWaitLogic::InstallerKind::Unknown);
        running.outcome = {RunOutcome::Running, QString()};
        if (output.isOpen())
            running.outputLog = output.path();
        m_record->current = std::move(running);
        m_currentSince.start();
        m_runningDue->start(RunningAfterMs);
        m_observer.programStarting(start);
        // A line the control would look for in the current folder never reaches it.
        // Read as late as can be, with the window's events flowing: what
        // starts is what was hashed, unless it is swapped in between.
        const ListLock::FileCheck bytes = m_lock->check(where.file, [] { QCoreApplication::processEvents(); });
        m_record->current->sha256 = bytes.sha256;
        RunResult r;
        bool timedOut = false;
        if (!where.refusal.isEmpty()) {
            r.number = RunTimeError::FileNotFound;
            r.description = where.refusal;
        } else if (!bytes.refusal.isEmpty()) {
            r.number = ListLock::MismatchError;
            r.description = bytes.refusal;
        } else {
            std::optional<QTimer> limit;
            if (m_timeoutSeconds > 0 && m_abandon) {
                limit.emplace();
                limit->setSingleShot(true);
                QObject::connect(&*limit, &QTimer::timeout, [&] { timedOut = m_abandon(); });
                limit->start(m_timeoutSeconds * 1000);
            }
            r = m_runAndWait(where.commandLine);
        }
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
        rec.sha256 = bytes.sha256;
        rec.integrity = ListLock::integrityId(bytes.integrity);
        rec.programEnd.started = r.number == 0;
        rec.programEnd.exitCode = r.exitCode;
        rec.programEnd.exitCodeKnown = r.exitCodeKnown;
        rec.programEnd.signal = r.exitSignal;
        rec.errorNumber = r.number;
        rec.errorText = r.number ? r.description : QString();
        for (const QString &left : r.leftBehind)
            if (!rec.leftBehind.contains(left))
                rec.leftBehind << left;
        rec.wineRestart = r.wineRestart;
        rec.outcome = readOutcome(installerKindFromId(rec.installerType), rec.programEnd);
        rec.outcome = leftRunning(rec, timedOut && r.abandoned);

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
    if (output.isOpen()) {
        m_setOutput(-1);
        relay.reset();
        if (m_relayOutput)
            relayNew();
        // Processes it left running may still write to an empty log: that
        // one is not handed on to the next program.
        if (output.close(rec.leftBehind.isEmpty())) {
            output.keepAs(m_report->outputName(index), m_report->outputPath(index));
            rec.outputLog = output.path();
        }
    }
    return rec;
}

bool InstallRun::restartsWineAfter(const ProgramRecord &rec)
{
    if (m_wineRestart == WineRestartMode::Off || m_wineRestart == WineRestartMode::Stop || m_cancelled
        || rec.outcome.outcome != RunOutcome::RestartNeeded || !ShellAndWaitLogic::startsThroughWine(rec.startedFile))
        return false;
    return m_wineRestart == WineRestartMode::Wine
           || m_prompts.questionBox(
                   rec.line + CR + QStringLiteral("needs a restart to finish installing.") + CR
                           + QStringLiteral(
                                     "Restart Wine now? Every Windows program of the Wine prefix %1 will be ended.")
                                     .arg(RunLock::winePrefix()),
                   QStringLiteral("Installing"), MsgIcon::Exclamation);
}

ReadOutcome InstallRun::leftRunning(const ProgramRecord &rec, bool timedOut) const
{
    const QString itself = rec.programEnd.exitCodeKnown
                                   ? QStringLiteral("the setup itself ended: %1").arg(outcomeText(rec.outcome.outcome))
                                   : QStringLiteral("the setup itself was still running");
    if (timedOut)
        return {RunOutcome::TimedOut,
                QStringLiteral("still running after %1 s, no longer waited for; %2").arg(m_timeoutSeconds).arg(itself)};
    // After Cancel what a setup left was let go: it did not plainly succeed.
    const bool success =
            rec.outcome.outcome == RunOutcome::Succeeded || rec.outcome.outcome == RunOutcome::RestartNeeded;
    if (!rec.leftBehind.isEmpty() && success)
        return {RunOutcome::Abandoned,
                QStringLiteral("processes it left running were no longer waited for; %1").arg(itself)};
    return rec.outcome;
}

bool InstallRun::waitBeforeRetry(const std::function<bool()> &ready)
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
    bool isReady = false;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (ready && ready()) {
            isReady = true;
            loop.quit();
        } else {
            show();
        }
    });
    due.start(m_retryIntervalMs);
    tick.start(1000);
    m_retryWait = &loop;
    loop.exec();
    m_retryWait = nullptr;
    // Ended early: Cancel, or the application's loops were told to end.
    return !m_cancelled && (isReady || !due.isActive());
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

void InstallRun::reportChanged(int notBeforeMs)
{
    qint64 wait = notBeforeMs;
    if (m_lastWrite.isValid()) {
        const qsizetype entries = m_record->programs.size() + (m_record->current ? 1 : 0);
        // A program the report shows running has ended: that is not left waiting.
        const bool shownRunningHasEnded = m_runningWritten && m_record->programs.size() >= m_programsWritten;
        const bool grown =
                shownRunningHasEnded || entries >= m_programsWritten + qMax<qsizetype>(1, m_programsWritten / 2);
        const qint64 gap = qMax(ReportGapMs, ReportCostShare * m_lastWriteCostMs);
        wait = qMax(wait, (grown ? gap : qMax(gap, SteadyGapMs)) - m_lastWrite.elapsed());
    }
    if (wait <= 0)
        writeReport();
    else if (!m_reportDue->isActive() || m_reportDue->remainingTime() > wait)
        m_reportDue->start(int(wait));
}

void InstallRun::programRunsLong()
{
    if (!m_record || !m_record->current)
        return;
    m_journalOk = m_report->journalRunning(*m_record->current, int(m_record->programs.size() + 1)) && m_journalOk;
    m_report->syncJournal();
    m_lastSync.start();
    reportChanged();
}

void InstallRun::programEndedInReport()
{
    m_runningDue->stop();
    m_journalOk = m_report->journalEnded(*m_record) && m_journalOk;
    // A report that shows it running is brought up to date; without a
    // journal the report is all there is.
    if (!m_journalOk || m_runningWritten) {
        reportChanged();
    } else if (!m_lastSync.isValid() || m_lastSync.elapsed() >= qMax(SyncGapMs, ReportCostShare * m_syncCostMs)) {
        QElapsedTimer cost;
        cost.start();
        m_report->syncJournal();
        m_syncCostMs = cost.elapsed();
        m_lastSync.start();
    }
}

void InstallRun::writeReport()
{
    if (!m_record)
        return;
    m_reportDue->stop();
    QElapsedTimer cost;
    cost.start();
    m_report->syncJournal();
    m_lastSync.start();
    QString error;
    m_reportError = m_report->write(*m_record, &error) ? QString() : error;
    m_reportCopyError = m_report->copyError();
    if (m_done)
        m_doneError = m_done->write(*m_record, m_reportJson);
    m_lastWriteCostMs = cost.elapsed();
    m_lastWrite.start();
    m_programsWritten = m_record->programs.size() + (m_record->current ? 1 : 0);
    // Only a program that runs long is written again when it ends: one
    // caught running by a writing due for another reason is not.
    m_runningWritten = m_record->current.has_value() && m_currentSince.elapsed() >= RunningAfterMs / 2;
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
    const bool stopped = !record.stoppedForRestart.isEmpty();
    // As the run has always ended: when every program succeeded, nothing is
    // said, unless its report is missing.
    if (lines.isEmpty() && !stopped) {
        if (!m_reportError.isEmpty())
            m_prompts.messageBox(
                    QStringLiteral("Every program of the list was installed.") + CR
                            + QStringLiteral("The report of this run could not be written: %1").arg(m_reportError),
                    QStringLiteral("Installing"), MsgIcon::Exclamation);
        return;
    }
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
    if (stopped) {
        const int next = int(record.programs.size()) + 1;
        lines << QStringLiteral("The run stopped for a restart of the computer (%1); %2 more program(s) of the list "
                                "were not started.")
                         .arg(record.stoppedForRestart)
                         .arg(notStarted);
        lines << (m_afterStop ? m_afterStop(next)
                              : QStringLiteral("Restart the computer, then resume the run at program %1 with "
                                               "setupreel --install %2 --resume.")
                                        .arg(next)
                                        .arg(record.listFile));
    }
    lines << (m_reportError.isEmpty()
                      ? QStringLiteral("The report of this run: %1").arg(m_reportText)
                      : QStringLiteral("The report of this run could not be written: %1").arg(m_reportError));
    m_prompts.messageBox(lines.join(CR), QStringLiteral("Installing"),
                         failures ? MsgIcon::Exclamation : MsgIcon::Information);
}
