// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/install/RunSummary.h"

#include "FileNameCodec.h"
#include "core/common/ControlCharacters.h"
#include "core/common/TextTable.h"
#include "core/install/RunOutcome.h"
#include "core/install/RunReport.h"
#include "core/io/FileIO.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>

namespace RunSummary {

namespace {

// Far beyond any run's report; a larger file is not one.
constexpr qint64 MaxReportBytes = qint64(64) << 20;
// Deeper than any fetched tree; a loop of bind mounts ends here.
constexpr int MaxDepth = 64;

const QString NeverStarted = QStringLiteral("never-started");

struct Entry
{
    QString line, outcome;
    QJsonValue exitCode;
    QDateTime start, end;
};

struct Run
{
    QString host, listFile, title, startText;
    QDateTime start;
    int programCount = 0;
    QList<Entry> programs;
    // A line's text and how many times it came before: its place in the
    // list even after lines were added or removed above it.
    QHash<QString, int> byKey;
};

QString keyOf(const QString &line, int occurrence) { return line + u'\n' + QString::number(occurrence); }

QDateTime timeOf(const QJsonValue &v) { return QDateTime::fromString(v.toString(), Qt::ISODateWithMs); }

std::optional<RunOutcome> outcomeFromId(const QString &id)
{
    for (int o = int(RunOutcome::Succeeded); o <= int(RunOutcome::Skipped); ++o)
        if (outcomeId(RunOutcome(o)) == id)
            return RunOutcome(o);
    return std::nullopt;
}

QString outcomeWords(const QString &id)
{
    if (id == NeverStarted)
        return QStringLiteral("never started");
    const std::optional<RunOutcome> o = outcomeFromId(id);
    return o ? outcomeText(*o) : id;
}

bool countsAsSuccess(const QString &id)
{
    return id == QLatin1String("succeeded") || id == QLatin1String("restart-needed") || id == QLatin1String("skipped");
}

// Worst first, as the totals list them.
int rankOf(const QString &id)
{
    static const QStringList order{QStringLiteral("failed"),
                                   QStringLiteral("crashed"),
                                   QStringLiteral("not-started"),
                                   QStringLiteral("timed-out"),
                                   QStringLiteral("abandoned"),
                                   QStringLiteral("cancelled"),
                                   QStringLiteral("install-in-progress"),
                                   QStringLiteral("unknown"),
                                   QStringLiteral("running"),
                                   NeverStarted,
                                   QStringLiteral("restart-needed"),
                                   QStringLiteral("skipped"),
                                   QStringLiteral("succeeded")};
    const qsizetype at = order.indexOf(id);
    return at < 0 ? -1 : int(at);
}

class Reader
{
public:
    explicit Reader(Summary &summary) : m_summary(summary) {}

    void top(const QString &folder)
    {
        QByteArray path = FileNameCodec::encodeFileName(folder);
        while (path.size() > 1 && path.endsWith('/'))
            path.chop(1);
        // The folder given is the user's own choice: a link to it is followed.
        const FileIO::Fd fd = FileIO::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (!fd.isOpen()) {
            unreadableFolder(path, errno);
            return;
        }
        const QByteArray leaf = path.mid(path.lastIndexOf('/') + 1);
        walk(fd.get(), path, FileNameCodec::decodeFileName(leaf.isEmpty() ? path : leaf), 0);
    }

    QMap<QString, QMap<QString, QList<Run>>> grouped() const
    {
        QMap<QString, QMap<QString, QList<Run>>> hosts;
        for (const Run &run : m_runs)
            hosts[run.host][run.listFile] << run;
        for (auto &lists : hosts)
            for (QList<Run> &runs : lists)
                std::sort(runs.begin(), runs.end(), [](const Run &a, const Run &b) {
                    return a.start == b.start ? a.startText < b.startText : a.start < b.start;
                });
        return hosts;
    }

private:
    void unreadableFolder(const QByteArray &path, int error)
    {
        m_summary.folderUnreadable = true;
        m_summary.problems << QStringLiteral("%1: the folder cannot be read: %2")
                                      .arg(FileNameCodec::decodeFileName(path), FileIO::errorText(error));
    }

    void problem(const QByteArray &path, const QString &what)
    {
        m_summary.problems << FileNameCodec::decodeFileName(path) + QLatin1String(": ") + what;
    }

    // machine: the name of the folder below the one given, for reports that
    // name no host.
    void walk(int folder, const QByteArray &path, const QString &machine, int depth)
    {
        QList<QByteArray> names = FileIO::namesIn(folder);
        std::sort(names.begin(), names.end());
        for (const QByteArray &name : names) {
            const QByteArray inner = path == "/" ? "/" + name : path + '/' + name;
            struct stat st
            {};
            if (::fstatat(folder, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
                problem(inner, FileIO::errorText(errno));
                continue;
            }
            if (S_ISDIR(st.st_mode) && depth < MaxDepth) {
                const FileIO::Fd sub(FileIO::retryOnSignal([&] {
                    return ::openat(folder, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                }));
                if (!sub.isOpen()) {
                    unreadableFolder(inner, errno);
                    continue;
                }
                walk(sub.get(), inner, depth == 0 ? FileNameCodec::decodeFileName(name) : machine, depth + 1);
            } else if (S_ISREG(st.st_mode) && (name.endsWith(".json") || name.endsWith(".journal"))) {
                readReport(folder, name, inner, machine);
            }
        }
    }

    void readReport(int folder, const QByteArray &name, const QByteArray &path, const QString &machine)
    {
        const FileIO::Fd fd(FileIO::retryOnSignal(
                [&] { return ::openat(folder, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC); }));
        if (!fd.isOpen()) {
            problem(path, QStringLiteral("cannot be read: ") + FileIO::errorText(errno));
            return;
        }
        const FileIO::ReadResult read = FileIO::readAll(fd.get(), MaxReportBytes);
        if (!read.ok) {
            problem(path, QStringLiteral("cannot be read: ") + read.error);
            return;
        }
        // Made empty as a run starts, written whole later: its journal holds it.
        if (read.data.isEmpty() && name.endsWith(".json"))
            return;
        // A run cut short (or going on) left its journal: the report made
        // from it holds every program up to its last event.
        if (name.endsWith(".journal")) {
            const QByteArray json = RunJournal::parse(read.data).toJson();
            if (json.isEmpty() && !read.data.isEmpty())
                problem(path, QStringLiteral("not a journal of a run"));
            if (json.isEmpty())
                return;
            return addRun(QJsonDocument::fromJson(json).object(), path, machine);
        }
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(read.data, &error);
        if (error.error != QJsonParseError::NoError) {
            problem(path, QStringLiteral("not JSON (%1 at byte %2)").arg(error.errorString()).arg(error.offset));
            return;
        }
        addRun(doc.object(), path, machine);
    }

    void addRun(const QJsonObject &o, const QByteArray &path, const QString &machine)
    {
        // Other JSON (another program's, a --check --json) is not a run.
        if (o.value(QLatin1String("format")).toString() != QLatin1String("setupreel-run/1"))
            return;
        Run run;
        run.host = o.value(QLatin1String("host")).toString();
        if (run.host.isEmpty())
            run.host = machine;
        run.listFile = o.value(QLatin1String("listFile")).toString();
        run.title = o.value(QLatin1String("title")).toString();
        run.startText = o.value(QLatin1String("start")).toString();
        run.start = timeOf(o.value(QLatin1String("start")));
        const QJsonValue programs = o.value(QLatin1String("programs"));
        if (run.listFile.isEmpty() || !run.start.isValid() || !programs.isArray()) {
            problem(path, QStringLiteral("not a whole run report (no list file, start or programs)"));
            return;
        }
        QHash<QString, int> seen;
        for (const QJsonValue v : programs.toArray()) {
            const QJsonObject p = v.toObject();
            Entry e{p.value(QLatin1String("line")).toString(), p.value(QLatin1String("outcome")).toString(),
                    p.value(QLatin1String("exitCode")), timeOf(p.value(QLatin1String("start"))),
                    timeOf(p.value(QLatin1String("end")))};
            run.byKey.insert(keyOf(e.line, seen[e.line]++), int(run.programs.size()));
            run.programs << e;
        }
        run.programCount = qMax(o.value(QLatin1String("programCount")).toInt(), int(run.programs.size()));
        ++m_summary.reports;
        // The same run found twice (a copy beside the kept one, folders given
        // twice): the copy written last holds the most.
        const QString id = run.host + u'\0' + run.listFile + u'\0' + run.startText;
        const auto known = m_runs.constFind(id);
        if (known == m_runs.constEnd() || known->programs.size() < run.programs.size())
            m_runs.insert(id, run);
    }

    Summary &m_summary;
    QHash<QString, Run> m_runs;
};

Program programOf(int number, const QString &line, const Entry *ran, bool skipped)
{
    Program p;
    p.number = number;
    p.line = line;
    if (ran) {
        p.outcome = ran->outcome;
        p.result = outcomeWords(ran->outcome);
        if (!countsAsSuccess(ran->outcome) && ran->exitCode.isDouble())
            p.result += QStringLiteral(" (exit code %1)").arg(qint64(ran->exitCode.toDouble()));
        p.start = ran->start;
        p.end = ran->end;
    } else {
        p.outcome = skipped ? QStringLiteral("skipped") : NeverStarted;
        p.result = outcomeWords(p.outcome);
    }
    p.succeeded = countsAsSuccess(p.outcome);
    return p;
}

// The list as its newest run had it; each line with the newest outcome of a
// run that started it, else skipped, else never started.
List listOf(const QList<Run> &runs)
{
    const Run &newest = runs.constLast();
    List list;
    list.file = newest.listFile;
    list.title = newest.title;
    list.runs = int(runs.size());
    QHash<QString, int> seen;
    for (int n = 1; n <= newest.programCount; ++n) {
        QString line;
        bool known = false;
        // Lines the newest run did not reach, from an earlier run of the same list.
        for (auto run = runs.crbegin(); run != runs.crend() && !known; ++run) {
            if (run->programCount == newest.programCount && run->programs.size() >= n) {
                line = run->programs.at(n - 1).line;
                known = true;
            }
        }
        if (!known) {
            list.programs << programOf(n, QString(), nullptr, false);
            continue;
        }
        const QString key = keyOf(line, seen[line]++);
        const Entry *ran = nullptr;
        bool skipped = false;
        for (auto run = runs.crbegin(); run != runs.crend() && !ran; ++run) {
            const auto at = run->byKey.constFind(key);
            if (at == run->byKey.constEnd())
                continue;
            const Entry &e = run->programs.at(*at);
            if (e.outcome == QLatin1String("skipped"))
                skipped = true;
            else
                ran = &e;
        }
        list.programs << programOf(n, line, ran, skipped);
    }
    return list;
}

bool machineFails(const Machine &m)
{
    for (const List &l : m.lists)
        for (const Program &p : l.programs)
            if (!p.succeeded)
                return true;
    return false;
}

QString listName(const List &l)
{
    const QString name = l.file.mid(l.file.lastIndexOf(u'/') + 1);
    return l.title.isEmpty() ? name : QStringLiteral("%1 (%2)").arg(l.title, name);
}

QString shownTime(const QDateTime &t)
{
    return t.isValid() ? t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QString();
}

QString tookText(const Program &p)
{
    if (!p.start.isValid())
        return QString();
    return p.end.isValid() ? duration(p.start.msecsTo(p.end)) : QStringLiteral("did not end");
}

struct Count
{
    QString outcome;
    int count = 0;
};

QList<Count> countsOf(const Summary &s, int *lists, int *programs)
{
    QMap<QString, int> byOutcome;
    *lists = *programs = 0;
    for (const Machine &m : s.machines)
        for (const List &l : m.lists) {
            ++*lists;
            for (const Program &p : l.programs) {
                ++*programs;
                ++byOutcome[p.outcome];
            }
        }
    QList<Count> counts;
    for (auto it = byOutcome.cbegin(); it != byOutcome.cend(); ++it)
        counts << Count{it.key(), it.value()};
    std::stable_sort(counts.begin(), counts.end(),
                     [](const Count &a, const Count &b) { return rankOf(a.outcome) < rankOf(b.outcome); });
    return counts;
}

QStringList failingHosts(const Summary &s)
{
    QStringList hosts;
    for (const Machine &m : s.machines)
        if (machineFails(m))
            hosts << m.host;
    return hosts;
}

// Text from a report, for the page: markup characters as entities, control
// characters as "?".
QString esc(const QString &text)
{
    QString clean = text;
    std::replace_if(clean.begin(), clean.end(), isControlCharacter, u'?');
    return clean.toHtmlEscaped();
}

QString cssClassOf(const QString &outcome)
{
    if (outcome == QLatin1String("succeeded"))
        return QStringLiteral("ok");
    if (outcome == QLatin1String("restart-needed"))
        return QStringLiteral("restart");
    if (outcome == QLatin1String("skipped"))
        return QStringLiteral("skip");
    if (outcome == QLatin1String("running") || outcome == NeverStarted)
        return QStringLiteral("warn");
    return QStringLiteral("bad");
}

QString pill(const QString &outcome, const QString &words)
{
    return QStringLiteral("<span class=\"o %1\">%2</span>").arg(cssClassOf(outcome), esc(words));
}

const char PageStyle[] = R"css(
*{box-sizing:border-box}
body{margin:0;font:15px/1.45 system-ui,"Segoe UI",Roboto,"DejaVu Sans",sans-serif;color:#1f2328;background:#f6f8fa}
main{max-width:1240px;margin:0 auto;padding:16px}
h1{font-size:1.5em;margin:.2em 0}
.made{color:#57606a;margin:0 0 1em}
.box{background:#fff;border:1px solid #d0d7de;border-radius:8px;margin:0 0 16px;overflow-x:auto}
.box>h2{margin:0;padding:10px 16px;font-size:1.15em;border-bottom:1px solid #d0d7de;overflow-wrap:anywhere}
.box>p,.box>ul{margin:10px 16px}
.failing>h2{background:#ffebe9}
.counts{display:flex;flex-wrap:wrap;gap:6px;list-style:none;padding:0}
.problems li{overflow-wrap:anywhere}
table{width:100%;border-collapse:collapse}
th,td{text-align:left;padding:6px 10px;border-bottom:1px solid #eaeef2;vertical-align:top;overflow-wrap:anywhere}
th{background:#f6f8fa;font-size:.85em;color:#57606a;font-weight:600}
td.n,td.t{white-space:nowrap}
/* The same columns in every machine's table. */
th.hl{width:15%}th.hn{width:3.5em}th.ho{width:16em}th.ht{width:11.5em}th.hd{width:5.5em}
tr.fail>td:first-child{box-shadow:inset 4px 0 #cf222e}
small{color:#57606a;font-weight:normal}
.o{display:inline-block;padding:0 8px;border-radius:.8em;font-weight:600;font-size:.9em;border:1px solid}
.ok{background:#dafbe1;color:#116329;border-color:#4ac26b}
.restart{background:#ddf4ff;color:#0550ae;border-color:#54aeff}
.skip{background:#eaeef2;color:#424a53;border-color:#afb8c1}
.bad{background:#ffebe9;color:#a40e26;border-color:#ff8182}
.warn{background:#fff8c5;color:#7d4e00;border-color:#d4a72c}
@media (max-width:700px){
main{padding:8px}
table,tbody,tr,td{display:block;width:100%}
thead{display:none}
tr{border-bottom:2px solid #d0d7de;padding:6px 0}
tr.fail{box-shadow:inset 4px 0 #cf222e}
tr.fail>td:first-child{box-shadow:none}
td{border:0;padding:2px 12px;display:flex;gap:8px}
td.n,td.t{white-space:normal}
td::before{content:attr(data-label);flex:0 0 5.5em;color:#57606a;font-size:.85em;padding-top:.1em}
td>div{min-width:0;flex:1}
}
)css";

} // namespace

Summary read(const QStringList &folders)
{
    Summary s;
    Reader reader(s);
    for (const QString &folder : folders)
        reader.top(folder);
    const auto hosts = reader.grouped();
    for (auto host = hosts.cbegin(); host != hosts.cend(); ++host) {
        Machine m;
        m.host = host.key();
        for (const QList<Run> &runs : host.value())
            m.lists << listOf(runs);
        s.machines << m;
    }
    return s;
}

QString duration(qint64 ms)
{
    ms = qMax<qint64>(0, ms);
    if (ms < 10000)
        return QStringLiteral("%1 s").arg(double(ms) / 1000.0, 0, 'f', 1);
    const qint64 s = (ms + 500) / 1000;
    if (s < 60)
        return QStringLiteral("%1 s").arg(s);
    if (s < 3600)
        return QStringLiteral("%1 min %2 s").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1 h %2 min").arg(s / 3600).arg((s % 3600) / 60, 2, 10, QLatin1Char('0'));
}

bool allSucceeded(const Summary &summary) { return failingHosts(summary).isEmpty(); }

QString totals(const Summary &summary)
{
    int lists = 0, programs = 0;
    const QList<Count> counts = countsOf(summary, &lists, &programs);
    QStringList parts;
    for (const Count &c : counts)
        parts << QStringLiteral("%1 %2").arg(c.count).arg(outcomeWords(c.outcome));
    QString t = QStringLiteral("%1 machine(s), %2 list(s), %3 program line(s): %4.")
                        .arg(summary.machines.size())
                        .arg(lists)
                        .arg(programs)
                        .arg(parts.join(QLatin1String(", ")));
    const QStringList failing = failingHosts(summary);
    if (!failing.isEmpty())
        t += QStringLiteral("\nNot all succeeded on: %1.").arg(failing.join(QLatin1String(", ")));
    return t;
}

QString table(const Summary &summary)
{
    QList<QStringList> cells{{QStringLiteral("Machine"), QStringLiteral("List"), QStringLiteral("No."),
                              QStringLiteral("Program"), QStringLiteral("Outcome"), QStringLiteral("Started"),
                              QStringLiteral("Took")}};
    for (const Machine &m : summary.machines)
        for (const List &l : m.lists)
            for (const Program &p : l.programs)
                cells << QStringList{m.host,
                                     listName(l),
                                     QString::number(p.number),
                                     p.line.isEmpty() ? QStringLiteral("(no run reached it)") : p.line,
                                     p.result,
                                     shownTime(p.start),
                                     tookText(p)};
    return TextTable::columns(cells) + u'\n' + totals(summary);
}

QByteArray html(const Summary &summary, const QDateTime &made)
{
    QList<Machine> machines = summary.machines;
    std::stable_sort(machines.begin(), machines.end(),
                     [](const Machine &a, const Machine &b) { return machineFails(a) && !machineFails(b); });

    int lists = 0, programs = 0;
    const QList<Count> counts = countsOf(summary, &lists, &programs);
    const QStringList failing = failingHosts(summary);

    QString h;
    h += QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                        "<title>Setupreel results: %1 machine(s)</title>\n<style>")
                 .arg(summary.machines.size());
    h += QLatin1String(PageStyle);
    h += QStringLiteral("</style>\n</head>\n<body>\n<main>\n<h1>Setupreel results</h1>\n");
    h += QStringLiteral("<p class=\"made\">Made <time datetime=\"%1\">%2</time> from %3 run report(s).</p>\n")
                 .arg(made.toString(Qt::ISODate), shownTime(made))
                 .arg(summary.reports);

    h += QStringLiteral("<section class=\"box%1\" id=\"totals\">\n<h2>Totals</h2>\n")
                 .arg(failing.isEmpty() ? QString() : QStringLiteral(" failing"));
    h += QStringLiteral("<p>%1 machine(s), %2 list(s), %3 program line(s).</p>\n<ul class=\"counts\">")
                 .arg(summary.machines.size())
                 .arg(lists)
                 .arg(programs);
    for (const Count &c : counts)
        h += QStringLiteral("<li>%1</li>")
                     .arg(pill(c.outcome, QStringLiteral("%1 %2").arg(c.count).arg(outcomeWords(c.outcome))));
    h += QStringLiteral("</ul>\n");
    if (failing.isEmpty()) {
        h += QStringLiteral("<p>Every program succeeded on every machine.</p>\n");
    } else {
        QStringList hosts;
        for (const QString &host : failing)
            hosts << esc(host);
        h += QStringLiteral("<p>Not all succeeded on: <strong>%1</strong>.</p>\n").arg(hosts.join(QLatin1String(", ")));
    }
    h += QStringLiteral("</section>\n");

    if (!summary.problems.isEmpty()) {
        h += QStringLiteral("<section class=\"box failing problems\">\n<h2>Not read</h2>\n<ul>\n");
        for (const QString &problem : summary.problems)
            h += QStringLiteral("<li>%1</li>\n").arg(esc(problem));
        h += QStringLiteral("</ul>\n</section>\n");
    }

    for (const Machine &m : machines) {
        struct Row
        {
            const List *list;
            const Program *program;
        };
        QList<Row> rows;
        int notSucceeded = 0, count = 0;
        for (const List &l : m.lists)
            for (const Program &p : l.programs) {
                rows << Row{&l, &p};
                notSucceeded += p.succeeded ? 0 : 1;
                ++count;
            }
        std::stable_sort(rows.begin(), rows.end(),
                         [](const Row &a, const Row &b) { return !a.program->succeeded && b.program->succeeded; });
        h += QStringLiteral("<section class=\"box machine%1\">\n<h2>%2 <small>%3</small></h2>\n")
                     .arg(notSucceeded ? QStringLiteral(" failing") : QString(), esc(m.host),
                          notSucceeded ? QStringLiteral("%1 of %2 program line(s) did not succeed")
                                                 .arg(notSucceeded)
                                                 .arg(count)
                                       : QStringLiteral("all %1 program line(s) succeeded").arg(count));
        h += QStringLiteral("<table>\n<thead><tr><th class=\"hl\">List</th><th class=\"hn\">No.</th><th>Program</th>"
                            "<th class=\"ho\">Outcome</th><th class=\"ht\">Started</th><th class=\"hd\">Took</th>"
                            "</tr></thead>\n<tbody>\n");
        for (const Row &r : rows) {
            const List &l = *r.list;
            const Program &p = *r.program;
            const QString name = l.file.mid(l.file.lastIndexOf(u'/') + 1);
            h += QStringLiteral("<tr%1>").arg(p.succeeded ? QString() : QStringLiteral(" class=\"fail\""));
            h += QStringLiteral("<td data-label=\"List\"><div>%1<br><small title=\"%2\">%3</small></div></td>")
                         .arg(esc(l.title.isEmpty() ? name : l.title), esc(l.file), esc(name));
            h += QStringLiteral("<td class=\"n\" data-label=\"No.\"><div>%1</div></td>").arg(p.number);
            h += QStringLiteral("<td data-label=\"Program\"><div>%1</div></td>")
                         .arg(p.line.isEmpty() ? QStringLiteral("<small>(no run reached it)</small>") : esc(p.line));
            h += QStringLiteral("<td data-label=\"Outcome\"><div>%1</div></td>").arg(pill(p.outcome, p.result));
            h += QStringLiteral("<td class=\"t\" data-label=\"Started\"><div>%1</div></td>")
                         .arg(p.start.isValid() ? QStringLiteral("<time datetime=\"%1\">%2</time>")
                                                          .arg(p.start.toString(Qt::ISODateWithMs), shownTime(p.start))
                                                : QString());
            h += QStringLiteral("<td class=\"t\" data-label=\"Took\"><div>%1</div></td></tr>\n").arg(tookText(p));
        }
        h += QStringLiteral("</tbody>\n</table>\n</section>\n");
    }
    h += QStringLiteral("</main>\n</body>\n</html>\n");
    return h.toUtf8();
}

} // namespace RunSummary
