// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/install/DoneRecord.h"

#include "FileNameCodec.h"
#include "InstallerType.h"
#include "core/install/JsonText.h"
#include "core/lists/ListLock.h"
#include "core/lists/ProgramLocator.h"

#include <QCryptographicHash>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <fcntl.h>

namespace {

// No list's record comes near this; a larger file is not one.
constexpr qint64 MaxRecordBytes = qint64(256) * 1024 * 1024;

QString hex(const QByteArray &bytes) { return QString::fromLatin1(bytes.toHex()); }

QString stamp(const QDateTime &t)
{
    // The run's own times (UTC itself where the offset is 0), made faster.
    if (t.timeSpec() == Qt::OffsetFromUTC || t.timeSpec() == Qt::UTC)
        return RunReport::stamp(t);
    return t.isValid() ? t.toString(Qt::ISODateWithMs) : QString();
}

QString linesSha256(const QStringList &programs)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const QString &line : programs) {
        hash.addData(line.toUtf8());
        hash.addData(QByteArrayView("\r\n"));
    }
    return hex(hash.result());
}

// In the order of QJsonObject's sorted keys.
void writeEntry(JsonText &w, const DoneEntry &e)
{
    w.element();
    w.beginObject();
    w.key("end");
    w.stringOrNull(e.end);
    w.key("file");
    w.stringOrNull(e.file);
    w.key("line");
    w.string(e.line);
    w.key("number");
    w.number(e.number);
    w.key("outcome");
    w.string(e.outcome);
    w.key("report");
    w.string(e.report);
    w.key("result");
    w.string(e.result);
    w.key("runStart");
    w.string(e.runStart);
    w.key("sha256");
    w.stringOrNull(e.sha256);
    w.endObject();
}

DoneEntry entryFrom(const QJsonObject &o)
{
    DoneEntry e;
    e.number = o.value(QLatin1String("number")).toInt();
    e.line = o.value(QLatin1String("line")).toString();
    e.file = o.value(QLatin1String("file")).toString();
    e.sha256 = o.value(QLatin1String("sha256")).toString();
    e.outcome = o.value(QLatin1String("outcome")).toString();
    e.result = o.value(QLatin1String("result")).toString();
    e.report = o.value(QLatin1String("report")).toString();
    e.runStart = o.value(QLatin1String("runStart")).toString();
    e.end = o.value(QLatin1String("end")).toString();
    return e;
}

} // namespace

bool DoneEntry::succeeded() const
{
    return outcome == outcomeId(RunOutcome::Succeeded) || outcome == outcomeId(RunOutcome::RestartNeeded);
}

DoneRecord::DoneRecord(const QString &reportFolder, const QString &listFile, const QStringList &programs)
    : m_listFile(listFile), m_programs(programs)
{
    const QString runs = reportFolder.isEmpty() ? RunReport::defaultFolder() : reportFolder;
    m_folder = QDir::cleanPath(runs + QLatin1String("/../done"));
    // Keyed by the list's full path (the window's "A.SR" and the terminal's
    // "/home/you/./A.SR" are one), and the name says nothing of it.
    const QString key = QDir::cleanPath(QDir::current().absoluteFilePath(listFile));
    m_name = QCryptographicHash::hash(FileNameCodec::encodeFileName(key), QCryptographicHash::Sha256).toHex() + ".json";
}

bool DoneRecord::read(QString *error)
{
    m_entries.clear();
    m_lastRun.reset();
    if (m_listFile.isEmpty())
        return true;
    FileIO::Fd folder;
    if (!RunReport::openOwnFolder(m_folder, folder, false).isEmpty())
        return true; // no record kept yet
    const FileIO::Fd fd(FileIO::retryOnSignal(
            [&] { return ::openat(folder.get(), m_name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC); }));
    if (!fd.isOpen()) {
        if (errno == ENOENT)
            return true;
        if (error)
            *error = m_folder + u'/' + QString::fromLatin1(m_name) + QLatin1String(": ") + FileIO::errorText(errno);
        return false;
    }
    const FileIO::ReadResult bytes = FileIO::readAll(fd.get(), MaxRecordBytes);
    const QJsonObject root = QJsonDocument::fromJson(bytes.data).object();
    if (!bytes.ok || root.value(QLatin1String("format")).toString() != QLatin1String("setupreel-done/1")) {
        if (error)
            *error = m_folder + u'/' + QString::fromLatin1(m_name) + QLatin1String(": ")
                     + (bytes.ok ? QStringLiteral("not a record of this program") : bytes.error);
        return false;
    }
    for (const auto &v : root.value(QLatin1String("lines")).toArray())
        m_entries << entryFrom(v.toObject());
    const QJsonObject last = root.value(QLatin1String("lastRun")).toObject();
    if (!last.isEmpty()) {
        LastRun r;
        r.report = last.value(QLatin1String("report")).toString();
        r.start = last.value(QLatin1String("start")).toString();
        r.finished = last.value(QLatin1String("finished")).toBool();
        r.cancelled = last.value(QLatin1String("cancelled")).toBool();
        r.stoppedForRestart = last.value(QLatin1String("stoppedForRestart")).toBool();
        r.programCount = last.value(QLatin1String("programCount")).toInt();
        r.ended = last.value(QLatin1String("ended")).toInt();
        r.linesSha256 = last.value(QLatin1String("linesSha256")).toString();
        m_lastRun = r;
    }
    foldInJournal();
    m_byLine.clear();
    for (qsizetype i = 0; i < m_entries.size(); ++i)
        m_byLine[m_entries.at(i).line] << int(i);
    return true;
}

void DoneRecord::foldInJournal()
{
    // Written whole only now and then: what the last run did since is in
    // its journal while it runs, and after it was cut short.
    if (!m_lastRun || m_lastRun->finished || m_lastRun->report.isEmpty())
        return;
    const FileIO::ReadResult bytes = FileIO::readFile(
            FileNameCodec::encodeFileName(RunReport::journalPathOf(m_lastRun->report)), MaxRecordBytes);
    if (!bytes.ok)
        return;
    const RunJournal journal = RunJournal::parse(bytes.data);
    if (!journal.valid)
        return;
    QHash<int, qsizetype> byNumber;
    for (qsizetype i = 0; i < m_entries.size(); ++i)
        byNumber.insert(m_entries.at(i).number, i);
    const auto put = [&](int number, const QJsonObject &p, const QString &result, bool ended) {
        if (p.value(QLatin1String("outcome")).toString() == outcomeId(RunOutcome::Skipped))
            return;
        DoneEntry e;
        e.number = number;
        e.line = p.value(QLatin1String("line")).toString();
        e.file = p.value(QLatin1String("file")).toString();
        e.sha256 = p.value(QLatin1String("sha256")).toString();
        e.outcome = p.value(QLatin1String("outcome")).toString();
        e.result = result;
        e.report = m_lastRun->report;
        e.runStart = m_lastRun->start;
        e.end = ended ? p.value(QLatin1String("end")).toString() : QString();
        const auto at = byNumber.constFind(number);
        if (at != byNumber.constEnd()) {
            m_entries[*at] = e;
        } else {
            byNumber.insert(number, m_entries.size());
            m_entries << e;
        }
    };
    for (const RunJournal::Ended &e : journal.ended)
        put(e.number, e.program, e.result, true);
    if (journal.runningNumber)
        put(journal.runningNumber, journal.running, outcomeText(RunOutcome::Running), false);
    m_lastRun->ended = qMax(m_lastRun->ended, int(journal.ended.size()));
    m_lastRun->cancelled = m_lastRun->cancelled || journal.cancelled;
    if (journal.end) {
        m_lastRun->finished = true;
        m_lastRun->cancelled = journal.end->value(QLatin1String("cancelled")).toBool();
        m_lastRun->stoppedForRestart = journal.end->value(QLatin1String("stoppedForRestart")).toBool();
    }
}

const DoneEntry *DoneRecord::find(int number, const QString &line) const
{
    // A line moved by an edit of the list is still itself.
    const auto same = m_byLine.constFind(line);
    if (same == m_byLine.constEnd())
        return nullptr;
    for (const int i : *same)
        if (m_entries.at(i).number == number)
            return &m_entries.at(i);
    return &m_entries.at(same->first());
}

QString DoneRecord::located(int number, QByteArray *name) const
{
    const QByteArray file = ProgramLocator::locate(m_programs.value(number - 1), m_listFile).file;
    if (name)
        *name = file;
    return file.isEmpty() ? QString() : fileSha256(file);
}

DoneRecord::LineState DoneRecord::stateOf(int number) const
{
    LineState s;
    QByteArray file;
    s.sha256 = located(number, &file);
    s.file = FileNameCodec::decodeFileName(file);
    if (const DoneEntry *e = find(number, m_programs.value(number - 1)))
        s.last = *e;
    if (!s.last)
        s.state = State::NeverRun;
    else if (s.last->sha256.isEmpty() || s.last->sha256 != s.sha256)
        s.state = s.last->succeeded() ? State::Changed : State::Failed;
    else
        s.state = s.last->succeeded() ? State::Done : State::Failed;
    return s;
}

QString DoneRecord::stateId(State state)
{
    switch (state) {
    case State::Done: return QStringLiteral("done");
    case State::Failed: return QStringLiteral("failed");
    case State::NeverRun: return QStringLiteral("never-run");
    case State::Changed: return QStringLiteral("changed");
    }
    return QString();
}

QString DoneRecord::stateText(State state)
{
    switch (state) {
    case State::NeverRun: return QStringLiteral("never run");
    case State::Changed: return QStringLiteral("changed since");
    default: return stateId(state);
    }
}

DoneRecord::Resume DoneRecord::resumePoint() const
{
    Resume r;
    if (!m_lastRun) {
        r.told = QStringLiteral("no run of this list is recorded");
        return r;
    }
    const LastRun &last = *m_lastRun;
    if (last.ended >= last.programCount) {
        r.told = QStringLiteral("its last run, started %1, ended every program").arg(last.start);
        return r;
    }
    if (last.linesSha256 != linesSha256(m_programs)) {
        r.refusal = QStringLiteral("the list's program lines changed since its last run, started %1").arg(last.start);
        return r;
    }
    r.at = last.ended + 1;
    const QString how = !last.finished           ? QStringLiteral("was cut short")
                        : last.cancelled         ? QStringLiteral("was cancelled")
                        : last.stoppedForRestart ? QStringLiteral("stopped for a restart of the computer")
                                                 : QStringLiteral("stopped");
    r.told = QStringLiteral("its last run, started %1, %2 at program %3 of %4")
                     .arg(last.start, how)
                     .arg(r.at)
                     .arg(last.programCount);
    return r;
}

void DoneRecord::planSkips(bool skipDone, int resumeAt)
{
    m_skipDone = skipDone;
    m_resumeAt = resumeAt;
}

std::optional<ProgramRecord> DoneRecord::beforeStart(int index)
{
    QString why;
    if (index < m_resumeAt && m_lastRun) {
        why = QStringLiteral("ended in the run resumed, started %1").arg(m_lastRun->start);
    } else if (m_skipDone) {
        // Read only to compare: the run hashes every file it starts anyway.
        const DoneEntry *e = find(index, m_programs.value(index - 1));
        const QString sha = e && e->succeeded() ? located(index) : QString();
        if (!sha.isEmpty() && e->sha256 == sha)
            why = QStringLiteral("done before: %1 in the run started %2; the file unchanged")
                          .arg(e->result, e->runStart);
    }
    if (why.isEmpty())
        return std::nullopt;
    ProgramRecord skipped;
    skipped.line = m_programs.value(index - 1);
    skipped.start = skipped.end = RunReport::now();
    skipped.installerType = ShellAndWaitLogic::installerKindId(ShellAndWaitLogic::InstallerKind::Unknown);
    skipped.outcome = {RunOutcome::Skipped, why};
    return skipped;
}

QString DoneRecord::write(const RunRecord &run, const QString &reportJson)
{
    if (m_listFile.isEmpty())
        return QString();
    if (!m_fd.isOpen()) {
        QString refused = RunReport::openOwnFolder(m_folder, m_fd);
        if (!refused.isEmpty())
            return refused;
    }
    const QString runStart = stamp(run.start);
    // Written for every line at the start and end of a run: as text, not
    // through QJsonObject, which costs many times as much.
    JsonText w(false);
    w.beginObject();
    w.key("format");
    w.string(QStringLiteral("setupreel-done/1"));
    QJsonObject last;
    last.insert(QStringLiteral("report"), reportJson);
    last.insert(QStringLiteral("start"), runStart);
    last.insert(QStringLiteral("finished"), run.end.isValid());
    last.insert(QStringLiteral("cancelled"), run.cancelled);
    last.insert(QStringLiteral("stoppedForRestart"), !run.stoppedForRestart.isEmpty());
    last.insert(QStringLiteral("programCount"), run.programCount);
    last.insert(QStringLiteral("ended"), int(run.programs.size()));
    last.insert(QStringLiteral("linesSha256"), linesSha256(m_programs));
    w.key("lastRun");
    w.value(last);
    w.key("lines");
    w.beginArray();
    for (int i = 1; i <= m_programs.size(); ++i) {
        const qsizetype ended = run.programs.size();
        const ProgramRecord *p = i <= ended                      ? &run.programs.at(i - 1)
                                 : run.current && i == ended + 1 ? &*run.current
                                                                 : nullptr;
        if (p && p->outcome.outcome != RunOutcome::Skipped) {
            DoneEntry e;
            e.number = i;
            e.line = p->line;
            e.file = p->startedFile;
            e.sha256 = p->sha256; // as hashed just before its start
            e.outcome = outcomeId(p->outcome.outcome);
            e.result = RunReport::resultText(*p);
            e.report = reportJson;
            e.runStart = runStart;
            e.end = p->outcome.outcome == RunOutcome::Running ? QString() : stamp(p->end);
            writeEntry(w, e);
        } else if (const DoneEntry *old = find(i, m_programs.at(i - 1))) {
            DoneEntry e = *old;
            e.number = i;
            writeEntry(w, e);
        }
    }
    w.endArray();
    w.key("listFile");
    w.string(m_listFile);
    w.endObject();
    w.raw("\n");
    const FileIO::WriteResult written = FileIO::replaceFileIn(m_fd.get(), m_name, w.text());
    return written.ok() ? QString()
                        : m_folder + u'/' + QString::fromLatin1(m_name) + QLatin1String(": ") + written.reason();
}

QString DoneRecord::fileSha256(const QByteArray &path) { return ListLock::sha256Of(path); }
