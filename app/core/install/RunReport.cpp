#include "core/install/RunReport.h"

#include "FileNameCodec.h"
#include "core/io/FileIO.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QString stamp(const QDateTime &t)
{
    if (!t.isValid())
        return QString();
    return (t.timeSpec() == Qt::OffsetFromUTC ? t : t.toOffsetFromUtc(t.offsetFromUtc())).toString(Qt::ISODateWithMs);
}

QJsonValue orNull(const QString &s) { return s.isEmpty() ? QJsonValue() : QJsonValue(s); }

// A report not written completely leaves the previous complete one.
bool saveWhole(const QString &path, const QByteArray &bytes, QString *error)
{
    const FileIO::WriteResult written = FileIO::replaceFile(FileNameCodec::encodeFileName(path), bytes);
    if (!written.ok() && error)
        *error = path + QLatin1String(": ") + written.reason();
    return written.ok();
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
        else
            ++t.notSucceeded;
    }
    t.neverStarted = qMax(0, run.programCount - int(run.programs.size()));
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

void RunReport::begin(const QDateTime &start)
{
    const QString name = QLatin1String("run-") + start.toUTC().toString(QStringLiteral("yyyy-MM-dd'T'HH-mm-ss-zzz'Z'"));
    QString base = m_folder + u'/' + name;
    // Two runs in one millisecond (scripts) must not share a report.
    for (int n = 2; QFileInfo::exists(base + QLatin1String(".json")); ++n)
        base = m_folder + u'/' + name + u'-' + QString::number(n);
    m_base = base;
    m_pruned = false;
    m_programJson.clear();
    m_programText.clear();
}

bool RunReport::write(const RunRecord &run, QString *error)
{
    if (m_base.isEmpty())
        begin(run.start.isValid() ? run.start : now());
    if (!QDir().mkpath(m_folder)) {
        if (error)
            *error = m_folder + QLatin1String(": the folder could not be made");
        return false;
    }
    // A program once recorded does not change: only the new ones are made.
    if (m_programJson.size() > run.programs.size()) {
        m_programJson.clear();
        m_programText.clear();
    }
    for (qsizetype i = m_programJson.size(); i < run.programs.size(); ++i) {
        m_programJson << programJson(run.programs.at(i));
        m_programText += programText(run.programs.at(i), int(i + 1), run.programCount);
    }
    if (!saveWhole(jsonPath(), assembleJson(run, m_programJson), error)
        || !saveWhole(textPath(), assembleText(run, m_programText).toUtf8(), error))
        return false;
    // Once a run: its own rewrites add no files.
    if (!m_pruned) {
        prune();
        m_pruned = true;
    }
    return true;
}

void RunReport::prune() const
{
    QDir dir(m_folder);
    const QStringList runs = dir.entryList({QStringLiteral("run-*.json")}, QDir::Files, QDir::Name);
    for (qsizetype i = 0; i + KeptRuns < runs.size(); ++i) {
        const QString base = runs.at(i).chopped(5);
        dir.remove(base + QLatin1String(".json"));
        dir.remove(base + QLatin1String(".txt"));
    }
}

QByteArray RunReport::programJson(const ProgramRecord &p)
{
    QJsonObject o;
    o.insert(QStringLiteral("line"), p.line);
    o.insert(QStringLiteral("file"), orNull(p.startedFile));
    o.insert(QStringLiteral("start"), orNull(stamp(p.start)));
    o.insert(QStringLiteral("end"), orNull(stamp(p.end)));
    o.insert(QStringLiteral("installerType"), p.installerType);
    o.insert(QStringLiteral("machine"), orNull(p.machine));
    const bool hasCode = p.programEnd.started && p.programEnd.signal == 0 && p.programEnd.exitCode != -1;
    o.insert(QStringLiteral("exitCode"), hasCode ? QJsonValue(p.programEnd.exitCode) : QJsonValue());
    o.insert(QStringLiteral("signal"), p.programEnd.signal ? QJsonValue(p.programEnd.signal) : QJsonValue());
    o.insert(QStringLiteral("outcome"), outcomeId(p.outcome.outcome));
    o.insert(QStringLiteral("meaning"), orNull(p.outcome.meaning));
    if (p.errorNumber) {
        o.insert(QStringLiteral("errorNumber"), p.errorNumber);
        o.insert(QStringLiteral("errorText"), p.errorText);
    }
    o.insert(QStringLiteral("attempts"), p.attempts);
    o.insert(QStringLiteral("leftBehind"), QJsonArray::fromStringList(p.leftBehind));
    o.insert(QStringLiteral("wineRestart"), orNull(p.wineRestart));
    // Indented as an element of the root's "programs" array.
    QByteArray text = QJsonDocument(o).toJson(QJsonDocument::Indented);
    text.chop(1); // its last line end
    text.replace("\n", "\n        ");
    return "        " + text;
}

QByteArray RunReport::assembleJson(const RunRecord &run, const QList<QByteArray> &programs)
{
    const RunTally counts = tally(run);
    QJsonObject summary;
    summary.insert(QStringLiteral("succeeded"), counts.succeeded);
    summary.insert(QStringLiteral("restartNeeded"), counts.restartNeeded);
    summary.insert(QStringLiteral("notSucceeded"), counts.notSucceeded);
    summary.insert(QStringLiteral("neverStarted"), counts.neverStarted);

    QJsonObject root;
    root.insert(QStringLiteral("format"), QStringLiteral("setupreel-run/1"));
    root.insert(QStringLiteral("listFile"), run.listFile);
    root.insert(QStringLiteral("title"), run.title);
    root.insert(QStringLiteral("host"), run.host);
    root.insert(QStringLiteral("start"), stamp(run.start));
    root.insert(QStringLiteral("end"), orNull(stamp(run.end)));
    root.insert(QStringLiteral("finished"), run.end.isValid());
    root.insert(QStringLiteral("cancelled"), run.cancelled);
    root.insert(QStringLiteral("programCount"), run.programCount);
    root.insert(QStringLiteral("summary"), summary);
    // The programs go in as text already made: a run's report is rewritten
    // after every program, and only the newest needs making.
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

QByteArray RunReport::toJson(const RunRecord &run)
{
    QList<QByteArray> programs;
    for (const ProgramRecord &p : run.programs)
        programs << programJson(p);
    return assembleJson(run, programs);
}

namespace {
// What a list, a setup or the system hands over, as the text report shows it:
// a control character (a line feed, an escape sequence) written as \xHH, so
// no line of a list can forge an entry or restyle the terminal it is read in.
// The JSON keeps the exact text.
QString shown(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7f && u < 0xa0))
            out += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}
} // namespace

QString RunReport::resultText(const ProgramRecord &p)
{
    QString result = outcomeText(p.outcome.outcome);
    if (p.programEnd.started && p.programEnd.signal == 0 && p.programEnd.exitCode != -1)
        result += QStringLiteral(" (exit code %1)").arg(p.programEnd.exitCode);
    if (!p.outcome.meaning.isEmpty())
        result += QLatin1String(": ") + p.outcome.meaning;
    if (p.errorNumber)
        result += QStringLiteral(": error %1, %2").arg(p.errorNumber).arg(p.errorText);
    return result;
}

QString RunReport::programText(const ProgramRecord &p, int number, int programCount)
{
    QString t = QStringLiteral("\n%1/%2  %3\n").arg(number).arg(programCount).arg(shown(p.line));
    if (!p.startedFile.isEmpty())
        t += QStringLiteral("  file:     %1\n").arg(shown(p.startedFile));
    t += QStringLiteral("  type:     %1%2\n")
                 .arg(p.installerType, p.machine.isEmpty() ? QString() : QLatin1String(", ") + p.machine);
    t += QStringLiteral("  time:     %1 .. %2\n").arg(stamp(p.start), stamp(p.end));
    t += QStringLiteral("  outcome:  %1\n").arg(shown(resultText(p)));
    if (p.attempts > 1)
        t += QStringLiteral("  attempts: %1\n").arg(p.attempts);
    for (const QString &left : p.leftBehind)
        t += QStringLiteral("  left running: %1\n").arg(shown(left));
    if (!p.wineRestart.isEmpty())
        t += QStringLiteral("  restart:  %1\n").arg(shown(p.wineRestart));
    return t;
}

QString RunReport::assembleText(const RunRecord &run, const QString &programs)
{
    QString t;
    t += QStringLiteral("Setupreel install run\n");
    t += QStringLiteral("List:     %1\n").arg(shown(run.listFile));
    t += QStringLiteral("Title:    %1\n").arg(shown(run.title));
    t += QStringLiteral("Host:     %1\n").arg(shown(run.host));
    t += QStringLiteral("Started:  %1\n").arg(stamp(run.start));
    t += QStringLiteral("Ended:    %1\n")
                 .arg(run.end.isValid() ? stamp(run.end) : QStringLiteral("(still running or cut short)"));
    if (run.cancelled)
        t += QStringLiteral("Cancelled by the user.\n");
    t += programs;
    const int never = run.programCount - int(run.programs.size());
    if (never > 0)
        t += QStringLiteral("\n%1 program(s) never started.\n").arg(never);
    return t;
}

QString RunReport::toText(const RunRecord &run)
{
    QString programs;
    for (qsizetype i = 0; i < run.programs.size(); ++i)
        programs += programText(run.programs.at(i), int(i + 1), run.programCount);
    return assembleText(run, programs);
}
