// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/install/RunReport.h"

#include "FileNameCodec.h"
#include "core/common/ControlCharacters.h"
#include "core/install/JsonText.h"
#include "core/io/FileIO.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QJsonValue orNull(const QString &s) { return s.isEmpty() ? QJsonValue() : QJsonValue(s); }

// A folder of another user, or one others may write to, could hold links
// planted to make this run (perhaps root's) write or delete elsewhere.
QString unsafeFolder(int fd, const QString &path)
{
    struct stat st
    {};
    if (::fstat(fd, &st) != 0)
        return path + QLatin1String(": ") + FileIO::errorText(errno);
    if (st.st_uid != ::geteuid())
        return path
               + QStringLiteral(": the folder belongs to another user (uid %1); reports are kept only in a folder of "
                                "your own")
                         .arg(st.st_uid);
    if (st.st_mode & (S_IWGRP | S_IWOTH))
        return path
               + QStringLiteral(": others may write to the folder (mode %1); reports are kept only in a folder "
                                "no one else may write to")
                         .arg(st.st_mode & 07777, 4, 8, QLatin1Char('0'));
    return QString();
}

// Makes the folders of path that are missing, each for its user only.
void makeFolders(const QByteArray &path)
{
    for (qsizetype slash = path.indexOf('/', 1); slash >= 0; slash = path.indexOf('/', slash + 1))
        ::mkdir(path.left(slash).constData(), 0700);
    ::mkdir(path.constData(), 0700);
}

// The copy --report FILE asks for, replaced whole like the kept report (a
// file in a folder that takes no new file written over itself, never left cut
// short). Only a regular file takes it: FILE may have changed since the run
// began.
bool saveCopy(const QString &path, const QByteArray &json, QString *error)
{
    struct stat st
    {};
    const QByteArray name = FileNameCodec::encodeFileName(path);
    if (::stat(name.constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
        *error = QStringLiteral("It is not a regular file.");
        return false;
    }
    const FileIO::WriteResult written = FileIO::replaceOrRewrite(name, json);
    if (!written.ok())
        *error = written.reason();
    return written.ok();
}

// Indented as an element of the root's "programs" array.
QByteArray asElement(const QJsonObject &o)
{
    QByteArray text = QJsonDocument(o).toJson(QJsonDocument::Indented);
    text.chop(1); // its last line end
    text.replace("\n", "\n        ");
    return "        " + text;
}

QJsonObject summaryObject(const RunTally &counts)
{
    QJsonObject summary;
    summary.insert(QStringLiteral("succeeded"), counts.succeeded);
    summary.insert(QStringLiteral("restartNeeded"), counts.restartNeeded);
    summary.insert(QStringLiteral("notSucceeded"), counts.notSucceeded);
    summary.insert(QStringLiteral("running"), counts.running);
    summary.insert(QStringLiteral("neverStarted"), counts.neverStarted);
    summary.insert(QStringLiteral("skipped"), counts.skipped);
    return summary;
}

} // namespace

RunTally tally(const RunRecord &run)
{
    RunTally t;
    for (const ProgramRecord &p : run.programs) {
        if (p.outcome.outcome == RunOutcome::Succeeded)
            ++t.succeeded;
        else if (p.outcome.outcome == RunOutcome::RestartNeeded)
            ++t.restartNeeded;
        else if (p.outcome.outcome == RunOutcome::Skipped)
            ++t.skipped;
        else
            ++t.notSucceeded;
    }
    t.running = run.current ? 1 : 0;
    t.neverStarted = qMax(0, run.programCount - int(run.programs.size()) - t.running);
    return t;
}

RunReport::RunReport(const QString &folder) : m_folder(folder.isEmpty() ? defaultFolder() : folder) {}

QString RunReport::defaultFolder()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    // XDG: a relative value is to be ignored.
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QLatin1String("/.local/state");
    return state + QLatin1String("/setupreel/runs");
}

QDateTime RunReport::now()
{
    // The local offset needs the time zone file read again; once a minute is
    // enough for a change of summer time to show.
    static QElapsedTimer offsetAge;
    static int offset = 0;
    const QDateTime utc = QDateTime::currentDateTimeUtc();
    if (!offsetAge.isValid() || offsetAge.elapsed() > qint64(60) * 1000) {
        offset = utc.toLocalTime().offsetFromUtc();
        offsetAge.start();
    }
    return utc.toOffsetFromUtc(offset);
}

QString RunReport::openOwnFolder(const QString &folder, FileIO::Fd &fd, bool create)
{
    // Links are followed up to the parent (the user's own setting), never
    // from there on: the folder is held open, and every file is made in it.
    const QByteArray runs = FileNameCodec::encodeFileName(folder);
    const QByteArray parent = FileIO::folderOf(runs);
    const QString parentPath = FileNameCodec::decodeFileName(parent);
    if (create)
        makeFolders(parent);
    const FileIO::Fd up = FileIO::open(parent, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (!up.isOpen())
        return parentPath + QLatin1String(": ") + FileIO::errorText(errno);
    QString unsafe = unsafeFolder(up.get(), parentPath);
    if (!unsafe.isEmpty())
        return unsafe;
    const QByteArray leaf = runs.mid(runs.lastIndexOf('/') + 1);
    if (create)
        ::mkdirat(up.get(), leaf.constData(), 0700);
    fd = FileIO::Fd(FileIO::retryOnSignal(
            [&] { return ::openat(up.get(), leaf.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); }));
    if (!fd.isOpen()) {
        const int error = errno;
        struct stat st
        {};
        const bool link = ::fstatat(up.get(), leaf.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
        return folder + QLatin1String(": ")
               + (link ? QStringLiteral("it is a symbolic link, not a folder") : FileIO::errorText(error));
    }
    unsafe = unsafeFolder(fd.get(), folder);
    if (!unsafe.isEmpty()) {
        fd.reset();
        return unsafe;
    }
    // A report holds the switches, and switches may hold keys and passwords.
    ::fchmod(fd.get(), 0700);
    return QString();
}

void RunReport::begin(const QDateTime &start)
{
    m_base.clear();
    m_pruned = false;
    m_programJson.clear();
    m_programText.clear();
    m_programTexts = 0;
    m_journal.reset();
    const QString name = QLatin1String("run-") + start.toUTC().toString(QStringLiteral("yyyy-MM-dd'T'HH-mm-ss-zzz'Z'"));
    // Named even when it cannot be written: the run still has its report's name.
    m_base = m_folder + u'/' + name;
    m_folderError = openOwnFolder(m_folder, m_runs);
    if (!m_folderError.isEmpty())
        return;
    // Runs started in one millisecond (scripts) each take the first name that
    // is free, made at once so that no other run can take it too.
    for (int n = 1;; ++n) {
        const QString base = n == 1 ? name : name + u'-' + QString::number(n);
        const QByteArray json = (base + QLatin1String(".json")).toLatin1();
        const QByteArray text = (base + QLatin1String(".txt")).toLatin1();
        const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
        FileIO::Fd made(FileIO::retryOnSignal([&] { return ::openat(m_runs.get(), json.constData(), flags, 0600); }));
        if (made.isOpen()) {
            made.reset(FileIO::retryOnSignal([&] { return ::openat(m_runs.get(), text.constData(), flags, 0600); }));
            if (made.isOpen()) {
                m_base = m_folder + u'/' + base;
                return;
            }
            const int error = errno;
            ::unlinkat(m_runs.get(), json.constData(), 0);
            errno = error;
        }
        if (errno != EEXIST) {
            m_folderError = m_folder + u'/' + base + QLatin1String(": ") + FileIO::errorText(errno);
            return;
        }
    }
}

bool RunReport::write(const RunRecord &run, QString *error)
{
    if (m_base.isEmpty() && m_folderError.isEmpty())
        begin(run.start.isValid() ? run.start : now());
    // A program once recorded does not change: only the new ones are made.
    if (m_programJson.size() > run.programs.size() || m_programTexts > run.programs.size()) {
        m_programJson.clear();
        m_programText.clear();
        m_programTexts = 0;
    }
    for (qsizetype i = m_programJson.size(); i < run.programs.size(); ++i)
        m_programJson << programJson(run.programs.at(i));
    for (; m_programTexts < run.programs.size(); ++m_programTexts)
        m_programText += programText(run.programs.at(m_programTexts), int(m_programTexts + 1), run.programCount);
    // The program running now changes when it ends: made each time, never kept.
    QList<QByteArray> programs = m_programJson;
    QString text = m_programText;
    if (run.current) {
        programs << programJson(*run.current);
        text += programText(*run.current, int(programs.size()), run.programCount);
    }
    QByteArray json = assembleJson(rootObject(run), programs);

    QString keptError;
    // A folder refused or not made when the run began takes no report.
    bool kept = m_folderError.isEmpty();
    if (!kept)
        keptError = m_folderError;
    // Both renamed before their folder is synced, once.
    const bool jsonKept = kept && saveWhole(jsonPath(), json, &keptError, FileIO::FolderSync::ByCaller);
    kept = jsonKept && saveWhole(textPath(), assembleText(run, text).toUtf8(), &keptError);
    if (jsonKept && !kept)
        FileIO::syncFolder(m_runs.get());
    // Once a run: its own rewrites add no files.
    if (kept && !m_pruned) {
        prune();
        m_pruned = true;
    }
    if (!m_copy.isEmpty()) {
        // The copy says when the kept report is behind it.
        if (!kept)
            json = assembleJson(rootObject(run, keptError), programs);
        m_copyError.clear();
        saveCopy(m_copy, json, &m_copyError);
    }
    if (!kept && error)
        *error = keptError;
    return kept;
}

void RunReport::writeCopy(const RunRecord &run)
{
    m_copyError.clear();
    if (!m_copy.isEmpty())
        saveCopy(m_copy, toJson(run), &m_copyError);
}

bool RunReport::saveWhole(const QString &path, const QByteArray &bytes, QString *error, FileIO::FolderSync sync) const
{
    // A report not written completely leaves the previous complete one.
    const QByteArray name = FileNameCodec::encodeFileName(path.mid(path.lastIndexOf(u'/') + 1));
    const FileIO::WriteResult written = FileIO::replaceFileIn(m_runs.get(), name, bytes, sync);
    if (!written.ok() && error)
        *error = path + QLatin1String(": ")
                 + (written.error == ELOOP ? QStringLiteral("a symbolic link is there; it is never followed")
                                           : written.reason());
    return written.ok();
}

QString RunReport::journalPathOf(const QString &jsonPath)
{
    return (jsonPath.endsWith(QLatin1String(".json")) ? jsonPath.chopped(5) : jsonPath) + QLatin1String(".journal");
}

bool RunReport::journal(const QJsonObject &event)
{
    // One line each: a compact document escapes every line end in a text.
    return journalLine(QJsonDocument(event).toJson(QJsonDocument::Compact) + '\n');
}

bool RunReport::journalLine(const QByteArray &line)
{
    // A refused folder takes nothing; the whole writings say why.
    if (!m_runs.isOpen() || m_base.isEmpty())
        return true;
    if (!m_journal.isOpen()) {
        const QByteArray name =
                FileNameCodec::encodeFileName(journalPathOf(jsonPath()).mid(m_base.lastIndexOf(u'/') + 1));
        m_journal.reset(FileIO::retryOnSignal([&] {
            return ::openat(m_runs.get(), name.constData(),
                            O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        }));
        if (!m_journal.isOpen())
            return false;
    }
    return FileIO::writeAll(m_journal.get(), line);
}

bool RunReport::journalStart(const RunRecord &run)
{
    return journal({{QStringLiteral("event"), QStringLiteral("run")},
                    {QStringLiteral("format"), QStringLiteral("setupreel-journal/1")},
                    {QStringLiteral("report"), rootObject(run)}});
}

bool RunReport::journalRunning(const ProgramRecord &running, int number)
{
    return journalLine("{\"event\":\"running\",\"number\":" + QByteArray::number(number)
                       + ",\"program\":" + programLine(running) + "}\n");
}

bool RunReport::journalEnded(const RunRecord &run)
{
    const ProgramRecord &ended = run.programs.last();
    const int number = int(run.programs.size());
    // Made once: the whole writings take it as it is, the journal on one line.
    if (m_programJson.size() == number - 1)
        m_programJson << programJson(ended);
    QByteArray line = "{";
    line.reserve(4096);
    if (run.cancelled)
        line += "\"cancelled\":true,";
    line += "\"event\":\"ended\",\"number\":" + QByteArray::number(number) + ",\"program\":";
    if (m_programJson.size() == number)
        JsonText::appendOneLine(line, m_programJson.last());
    else
        line += programLine(ended);
    line += ",\"result\":";
    JsonText::appendString(line, resultText(ended));
    line += "}\n";
    return journalLine(line);
}

bool RunReport::journalEnd(const RunRecord &run)
{
    const QJsonObject root = rootObject(run);
    QJsonObject end;
    for (const char *key : {"end", "finished", "cancelled", "stoppedForRestart", "restartReason", "prefixArch"})
        end.insert(QLatin1String(key), root.value(QLatin1String(key)));
    return journal({{QStringLiteral("event"), QStringLiteral("end")}, {QStringLiteral("report"), end}});
}

void RunReport::syncJournal()
{
    if (m_journal.isOpen())
        ::fdatasync(m_journal.get());
}

void RunReport::removeJournal()
{
    if (!m_journal.isOpen())
        return;
    m_journal.reset();
    const QByteArray name = FileNameCodec::encodeFileName(journalPathOf(jsonPath()).mid(m_base.lastIndexOf(u'/') + 1));
    ::unlinkat(m_runs.get(), name.constData(), 0);
}

RunJournal RunJournal::parse(const QByteArray &bytes)
{
    RunJournal j;
    for (qsizetype at = 0; at < bytes.size();) {
        qsizetype end = bytes.indexOf('\n', at);
        if (end < 0)
            end = bytes.size(); // cut short: it does not parse, and is passed over
        const QJsonObject o = QJsonDocument::fromJson(bytes.mid(at, end - at)).object();
        at = end + 1;
        const QString event = o.value(QLatin1String("event")).toString();
        const int number = o.value(QLatin1String("number")).toInt();
        if (event == QLatin1String("run")) {
            if (o.value(QLatin1String("format")).toString() != QLatin1String("setupreel-journal/1"))
                return RunJournal();
            j.valid = true;
            j.run = o.value(QLatin1String("report")).toObject();
        } else if (!j.valid) {
            return RunJournal();
        } else if (event == QLatin1String("running")) {
            j.runningNumber = number;
            j.running = o.value(QLatin1String("program")).toObject();
        } else if (event == QLatin1String("ended")) {
            j.ended << Ended{number, o.value(QLatin1String("result")).toString(),
                             o.value(QLatin1String("program")).toObject()};
            if (number == j.runningNumber)
                j.runningNumber = 0;
            j.cancelled = j.cancelled || o.value(QLatin1String("cancelled")).toBool();
        } else if (event == QLatin1String("end")) {
            j.end = o.value(QLatin1String("report")).toObject();
            j.runningNumber = 0;
        }
    }
    return j;
}

QByteArray RunJournal::toJson() const
{
    if (!valid)
        return QByteArray();
    QJsonObject root = run;
    if (cancelled)
        root.insert(QStringLiteral("cancelled"), true);
    if (end)
        for (auto it = end->begin(); it != end->end(); ++it)
            root.insert(it.key(), it.value());
    RunTally counts;
    QList<QByteArray> programs;
    for (const Ended &e : ended) {
        const QString outcome = e.program.value(QLatin1String("outcome")).toString();
        if (outcome == outcomeId(RunOutcome::Succeeded))
            ++counts.succeeded;
        else if (outcome == outcomeId(RunOutcome::RestartNeeded))
            ++counts.restartNeeded;
        else if (outcome == outcomeId(RunOutcome::Skipped))
            ++counts.skipped;
        else
            ++counts.notSucceeded;
        programs << asElement(e.program);
    }
    if (runningNumber) {
        counts.running = 1;
        programs << asElement(running);
    }
    counts.neverStarted =
            qMax(0, root.value(QLatin1String("programCount")).toInt() - int(ended.size()) - counts.running);
    root.insert(QStringLiteral("summary"), summaryObject(counts));
    return RunReport::assembleJson(root, programs);
}

QByteArray RunReport::outputName(int index) const
{
    return FileNameCodec::encodeFileName(m_base.mid(m_base.lastIndexOf(u'/') + 1)) + "-program-"
           + (index > 0 ? QByteArray::number(index) : QByteArrayLiteral("running")) + ".log";
}

QString RunReport::outputPath(int index) const
{
    return m_folder + u'/' + FileNameCodec::decodeFileName(outputName(index));
}

void RunReport::prune() const
{
    QList<QByteArray> runs;
    for (const QByteArray &name : FileIO::namesIn(m_runs.get())) {
        if (name.startsWith("run-") && name.endsWith(".json"))
            runs << name;
    }
    std::sort(runs.begin(), runs.end());
    QList<QByteArray> logsOfOld;
    for (qsizetype i = 0; i + KeptRuns < runs.size(); ++i) {
        const QByteArray base = runs.at(i).chopped(5);
        ::unlinkat(m_runs.get(), (base + ".json").constData(), 0);
        ::unlinkat(m_runs.get(), (base + ".txt").constData(), 0);
        ::unlinkat(m_runs.get(), (base + ".journal").constData(), 0);
        logsOfOld << base + "-program-";
    }
    if (logsOfOld.isEmpty())
        return;
    for (const QByteArray &name : FileIO::namesIn(m_runs.get())) {
        if (!name.endsWith(".log"))
            continue;
        for (const QByteArray &prefix : logsOfOld)
            if (name.startsWith(prefix))
                ::unlinkat(m_runs.get(), name.constData(), 0);
    }
}

namespace {
// What a restart of the Wine prefix found pending and did.
QJsonObject restartJson(const WineRestartRecord &r)
{
    QJsonArray renames, runOnce;
    for (const PendingRename &p : r.renames)
        renames << QJsonObject{{QStringLiteral("from"), p.from},
                               {QStringLiteral("to"), p.to.isEmpty() ? QJsonValue() : QJsonValue(p.to)},
                               {QStringLiteral("done"), p.done}};
    for (const RunOnceRan &v : r.runOnce)
        runOnce << QJsonObject{{QStringLiteral("name"), v.name},
                               {QStringLiteral("command"), v.command},
                               {QStringLiteral("exitCode"), v.exitCodeKnown ? QJsonValue(v.exitCode) : QJsonValue()},
                               {QStringLiteral("error"), v.error.isEmpty() ? QJsonValue() : QJsonValue(v.error)}};
    return {{QStringLiteral("prefix"), r.prefix},
            {QStringLiteral("programsEnded"), QJsonArray::fromStringList(r.programsEnded)},
            {QStringLiteral("pendingRenames"), renames},
            {QStringLiteral("runOnce"), runOnce},
            {QStringLiteral("error"), r.error.isEmpty() ? QJsonValue() : QJsonValue(r.error)},
            {QStringLiteral("seconds"), qRound(double(r.ms) / 1000.0)}};
}
} // namespace

void RunReport::writeProgram(JsonText &w, const ProgramRecord &p)
{
    // In the order of QJsonObject's sorted keys, as the report always had them.
    const bool hasCode = p.programEnd.started && p.programEnd.signal == 0 && p.programEnd.exitCodeKnown;
    w.beginObject();
    w.key("attempts");
    w.number(p.attempts);
    w.key("end");
    w.stringOrNull(stamp(p.end));
    if (p.errorNumber) {
        w.key("errorNumber");
        w.number(p.errorNumber);
        w.key("errorText");
        w.string(p.errorText);
    }
    w.key("exitCode");
    hasCode ? w.number(p.programEnd.exitCode) : w.null();
    w.key("file");
    w.stringOrNull(p.startedFile);
    w.key("installerType");
    w.string(p.installerType);
    w.key("integrity");
    w.string(p.integrity);
    w.key("leftBehind");
    w.strings(p.leftBehind);
    w.key("line");
    w.string(p.line);
    w.key("machine");
    w.stringOrNull(p.machine);
    w.key("meaning");
    w.stringOrNull(p.outcome.meaning);
    w.key("outcome");
    w.string(outcomeId(p.outcome.outcome));
    w.key("output");
    w.stringOrNull(p.outputLog);
    w.key("restart");
    p.restart ? w.value(restartJson(*p.restart)) : w.null();
    w.key("sha256");
    w.stringOrNull(p.sha256);
    w.key("signal");
    p.programEnd.signal ? w.number(p.programEnd.signal) : w.null();
    w.key("start");
    w.stringOrNull(stamp(p.start));
    w.key("wineRestart");
    w.stringOrNull(p.wineRestart);
    w.endObject();
}

QByteArray RunReport::programJson(const ProgramRecord &p)
{
    // Indented as an element of the root's "programs" array.
    JsonText w(false, 2);
    w.raw("        ");
    writeProgram(w, p);
    return w.take();
}

QByteArray RunReport::programLine(const ProgramRecord &p)
{
    JsonText w(true);
    writeProgram(w, p);
    return w.take();
}

QString RunReport::stamp(const QDateTime &t)
{
    if (!t.isValid())
        return QString();
    const QDateTime at = t.timeSpec() == Qt::OffsetFromUTC ? t : t.toOffsetFromUtc(t.offsetFromUtc());
    // Made by Qt once a second; within it only the milliseconds change.
    thread_local static qint64 second = -1;
    thread_local static int offset = 0;
    thread_local static QString before, after; // "2026-01-31T14:05:09", "+01:00"
    const qint64 ms = at.toMSecsSinceEpoch();
    const qint64 s = ms >= 0 ? ms / 1000 : -1;
    if (s < 0 || s != second || at.offsetFromUtc() != offset) {
        QString whole = at.toString(Qt::ISODateWithMs);
        if (s < 0 || whole.size() < 23 || whole.at(19) != u'.')
            return whole;
        second = s;
        offset = at.offsetFromUtc();
        before = whole.left(19);
        after = whole.mid(23);
        return whole;
    }
    const int milli = int(ms % 1000);
    QString out = before;
    out += u'.';
    out += QChar(u'0' + milli / 100);
    out += QChar(u'0' + milli / 10 % 10);
    out += QChar(u'0' + milli % 10);
    out += after;
    return out;
}

QJsonObject RunReport::rootObject(const RunRecord &run, const QString &keptError)
{
    QJsonObject root;
    root.insert(QStringLiteral("format"), QStringLiteral("setupreel-run/1"));
    root.insert(QStringLiteral("listFile"), run.listFile);
    root.insert(QStringLiteral("title"), run.title);
    root.insert(QStringLiteral("host"), run.host);
    root.insert(QStringLiteral("prefix"), orNull(run.prefix));
    root.insert(QStringLiteral("prefixArch"), orNull(run.prefixArch));
    root.insert(QStringLiteral("start"), stamp(run.start));
    root.insert(QStringLiteral("end"), orNull(stamp(run.end)));
    root.insert(QStringLiteral("finished"), run.end.isValid());
    root.insert(QStringLiteral("cancelled"), run.cancelled);
    root.insert(QStringLiteral("stoppedForRestart"), !run.stoppedForRestart.isEmpty());
    root.insert(QStringLiteral("restartReason"), orNull(run.stoppedForRestart));
    root.insert(QStringLiteral("programCount"), run.programCount);
    root.insert(QStringLiteral("summary"), summaryObject(tally(run)));
    root.insert(QStringLiteral("reportError"), orNull(keptError));
    return root;
}

QByteArray RunReport::assembleJson(const QJsonObject &root, const QList<QByteArray> &programs)
{
    // The programs go in as text already made: a run's report is written
    // several times, and only the newest programs need making.
    QByteArray json = QJsonDocument(root).toJson(QJsonDocument::Indented);
    json.chop(2); // "}\n"
    while (json.endsWith('\n'))
        json.chop(1);
    json += ",\n    \"programs\": [";
    for (qsizetype i = 0; i < programs.size(); ++i)
        json += (i ? ",\n" : "\n") + programs.at(i);
    json += programs.isEmpty() ? "]\n}\n" : "\n    ]\n}\n";
    return json;
}

QByteArray RunReport::toJson(const RunRecord &run, const QString &keptError)
{
    QList<QByteArray> programs;
    for (const ProgramRecord &p : run.programs)
        programs << programJson(p);
    if (run.current)
        programs << programJson(*run.current);
    return assembleJson(rootObject(run, keptError), programs);
}

namespace {
// What a list, a setup or the system hands over, as the text report shows it:
// a control character (a line feed, an escape sequence) written as \xHH, so
// no line of a list can forge an entry or restyle the terminal it is read in.
// The JSON keeps the exact text.
QString shown(const QString &text)
{
    if (std::none_of(text.cbegin(), text.cend(), isControlCharacter))
        return text;
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (isControlCharacter(c))
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}
} // namespace

QString RunReport::resultText(const ProgramRecord &p)
{
    QString result = outcomeText(p.outcome.outcome);
    if (p.programEnd.started && p.programEnd.signal == 0 && p.programEnd.exitCodeKnown)
        result += QStringLiteral(" (exit code %1)").arg(p.programEnd.exitCode);
    if (!p.outcome.meaning.isEmpty())
        result += QLatin1String(": ") + p.outcome.meaning;
    if (p.errorNumber)
        result += QStringLiteral(": error %1, %2").arg(p.errorNumber).arg(p.errorText);
    return result;
}

QString RunReport::programText(const ProgramRecord &p, int number, int programCount)
{
    // Made for every program of every writing: appended, not formatted.
    QString t;
    t.reserve(512);
    const auto line = [&t](QLatin1String label, const QString &value) {
        t += label;
        t += value;
        t += u'\n';
    };
    t += u'\n';
    t += QString::number(number);
    t += u'/';
    t += QString::number(programCount);
    line(QLatin1String("  "), shown(p.line));
    if (!p.startedFile.isEmpty())
        line(QLatin1String("  file:     "), shown(p.startedFile));
    line(QLatin1String("  type:     "),
         p.machine.isEmpty() ? p.installerType : p.installerType + QLatin1String(", ") + p.machine);
    if (!p.sha256.isEmpty() || p.integrity != QLatin1String("unlocked"))
        line(QLatin1String("  sha256:   "),
             (p.sha256.isEmpty() ? QStringLiteral("not read") : p.sha256) + QLatin1String(" (") + p.integrity + u')');
    line(QLatin1String("  time:     "), stamp(p.start) + QLatin1String(" .. ") + stamp(p.end));
    line(QLatin1String("  outcome:  "), shown(resultText(p)));
    if (p.attempts > 1)
        line(QLatin1String("  attempts: "), QString::number(p.attempts));
    for (const QString &left : p.leftBehind)
        line(QLatin1String("  left running: "), shown(left));
    if (!p.outputLog.isEmpty())
        line(QLatin1String("  output:   "), shown(p.outputLog));
    if (!p.wineRestart.isEmpty())
        line(QLatin1String("  restart:  "), shown(p.wineRestart));
    if (p.restart)
        for (const QString &summary : WineRestart::summary(*p.restart))
            line(QLatin1String("  restarted: "), shown(summary));
    return t;
}

QString RunReport::assembleText(const RunRecord &run, const QString &programs)
{
    QString t;
    t += QStringLiteral("Setupreel install run\n");
    t += QStringLiteral("List:     %1\n").arg(shown(run.listFile));
    t += QStringLiteral("Title:    %1\n").arg(shown(run.title));
    t += QStringLiteral("Host:     %1\n").arg(shown(run.host));
    if (!run.prefix.isEmpty())
        t += QStringLiteral("Prefix:   %1 (%2)\n")
                     .arg(shown(run.prefix), run.prefixArch.isEmpty() ? QStringLiteral("not made") : run.prefixArch);
    t += QStringLiteral("Started:  %1\n").arg(stamp(run.start));
    t += QStringLiteral("Ended:    %1\n")
                 .arg(run.end.isValid() ? stamp(run.end) : QStringLiteral("(still running or cut short)"));
    if (run.cancelled)
        t += QStringLiteral("Cancelled by the user.\n");
    if (!run.stoppedForRestart.isEmpty())
        t += QStringLiteral("Stopped for a restart of the computer: %1\n").arg(shown(run.stoppedForRestart));
    t += programs;
    const int never = tally(run).neverStarted;
    if (never > 0)
        t += QStringLiteral("\n%1 program(s) never started.\n").arg(never);
    return t;
}

QString RunReport::toText(const RunRecord &run)
{
    QString programs;
    for (qsizetype i = 0; i < run.programs.size(); ++i)
        programs += programText(run.programs.at(i), int(i + 1), run.programCount);
    if (run.current)
        programs += programText(*run.current, int(run.programs.size() + 1), run.programCount);
    return assembleText(run, programs);
}
