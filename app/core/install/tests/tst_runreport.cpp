// SPDX-License-Identifier: GPL-3.0-or-later
// Outcomes read from exit codes by installer type, and the run's report on disk.
#include "core/install/RunReport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using ShellAndWaitLogic::InstallerKind;

namespace {

ProgramEnd exited(int code)
{
    ProgramEnd e;
    e.started = true;
    e.exitCode = code;
    return e;
}

QJsonObject readJson(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(f.readAll()).object();
}

} // namespace

class TestRunReport : public QObject
{
    Q_OBJECT
private slots:
    void outcomes_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("outcome");
        const int msi = int(InstallerKind::WindowsInstaller), nsis = int(InstallerKind::Nsis),
                  inno = int(InstallerKind::InnoSetup), burn = int(InstallerKind::WixBurn),
                  shell = int(InstallerKind::ShellScript), native = int(InstallerKind::NativeProgram);
        QTest::newRow("msi 0") << msi << 0 << int(RunOutcome::Succeeded);
        QTest::newRow("msi 3010") << msi << 3010 << int(RunOutcome::RestartNeeded);
        QTest::newRow("burn 1641") << burn << 1641 << int(RunOutcome::RestartNeeded);
        QTest::newRow("msi 1602") << msi << 1602 << int(RunOutcome::Cancelled);
        QTest::newRow("nsis 1223") << nsis << 1223 << int(RunOutcome::Cancelled);
        QTest::newRow("msi 1618") << msi << 1618 << int(RunOutcome::InstallInProgress);
        QTest::newRow("msi 1603") << msi << 1603 << int(RunOutcome::Failed);
        QTest::newRow("nsis 1") << nsis << 1 << int(RunOutcome::Cancelled);
        QTest::newRow("nsis 2") << nsis << 2 << int(RunOutcome::Failed);
        QTest::newRow("inno 2") << inno << 2 << int(RunOutcome::Cancelled);
        QTest::newRow("inno 5") << inno << 5 << int(RunOutcome::Cancelled);
        QTest::newRow("inno 8") << inno << 8 << int(RunOutcome::RestartNeeded);
        QTest::newRow("inno 4") << inno << 4 << int(RunOutcome::Failed);
        QTest::newRow("msi 1 is no cancel") << msi << 1 << int(RunOutcome::Failed);
        QTest::newRow("script 1") << shell << 1 << int(RunOutcome::Failed);
        QTest::newRow("script 194 is no restart") << shell << 194 << int(RunOutcome::Failed);
        QTest::newRow("native 0") << native << 0 << int(RunOutcome::Succeeded);
        QTest::newRow("msi -1 is a code") << msi << -1 << int(RunOutcome::Failed);
    }
    void outcomes()
    {
        QFETCH(int, kind);
        QFETCH(int, code);
        QFETCH(int, outcome);
        QCOMPARE(int(readOutcome(InstallerKind(kind), exited(code)).outcome), outcome);
    }

    void signalsAndStarts()
    {
        ProgramEnd killed;
        killed.started = true;
        killed.signal = SIGKILL;
        const ReadOutcome k = readOutcome(InstallerKind::ShellScript, killed);
        QCOMPARE(int(k.outcome), int(RunOutcome::Crashed));
        QVERIFY(k.meaning.contains(QLatin1String("KILL")));
        QCOMPARE(int(readOutcome(InstallerKind::Nsis, ProgramEnd()).outcome), int(RunOutcome::NotStarted));
        QVERIFY(!readOutcome(InstallerKind::WindowsInstaller, exited(1603)).meaning.isEmpty());
    }

    // A code that could not be read is unknown, apart from the real code -1
    // (0xFFFFFFFF), in the report as in the counts.
    void unknownCodeIsNoMinusOne()
    {
        RunRecord run;
        run.programCount = 2;
        ProgramRecord p;
        p.line = QStringLiteral("a.exe");
        p.installerType = QStringLiteral("nsis");
        p.programEnd = exited(3010);
        p.programEnd.exitCodeKnown = false;
        p.outcome = readOutcome(InstallerKind::Nsis, p.programEnd);
        run.programs << p;
        p.programEnd = exited(-1);
        p.outcome = readOutcome(InstallerKind::Nsis, p.programEnd);
        run.programs << p;
        const QJsonArray programs =
                QJsonDocument::fromJson(RunReport::toJson(run)).object().value(QLatin1String("programs")).toArray();
        QVERIFY(programs.at(0).toObject().value(QLatin1String("exitCode")).isNull());
        QCOMPARE(programs.at(0).toObject().value(QLatin1String("outcome")).toString(), QStringLiteral("unknown"));
        QCOMPARE(programs.at(1).toObject().value(QLatin1String("exitCode")).toInt(0), -1);
        QCOMPARE(programs.at(1).toObject().value(QLatin1String("outcome")).toString(), QStringLiteral("failed"));
        QCOMPARE(RunReport::resultText(run.programs.at(0)), QStringLiteral("ended, exit code unknown"));
        QCOMPARE(RunReport::resultText(run.programs.at(1)), QStringLiteral("failed (exit code -1)"));
        QCOMPARE(tally(run).notSucceeded, 2);
    }

    void defaultFolderFollowsXdg()
    {
        const QByteArray old = qgetenv("XDG_STATE_HOME");
        qputenv("XDG_STATE_HOME", "/srv/state");
        QCOMPARE(RunReport::defaultFolder(), QStringLiteral("/srv/state/setupreel/runs"));
        qputenv("XDG_STATE_HOME", "relative/state");
        QCOMPARE(RunReport::defaultFolder(), QDir::homePath() + QLatin1String("/.local/state/setupreel/runs"));
        qunsetenv("XDG_STATE_HOME");
        QCOMPARE(RunReport::defaultFolder(), QDir::homePath() + QLatin1String("/.local/state/setupreel/runs"));
        if (!old.isNull())
            qputenv("XDG_STATE_HOME", old);
    }

    void rewrittenAfterEveryProgram()
    {
        QTemporaryDir dir;
        RunReport report(dir.path() + QLatin1String("/runs"));
        RunRecord run;
        run.listFile = QStringLiteral("/lists/tools.SR");
        run.title = QStringLiteral("Tools");
        run.host = QStringLiteral("box");
        run.start = QDateTime::currentDateTime();
        run.programCount = 3;
        QVERIFY(report.write(run));
        QJsonObject j = readJson(report.jsonPath());
        QCOMPARE(j.value(QLatin1String("finished")).toBool(), false);
        QCOMPARE(j.value(QLatin1String("programs")).toArray().size(), 0);

        ProgramRecord p;
        p.line = QStringLiteral("/setups/a.exe /S");
        p.startedFile = QStringLiteral("/setups/a.exe");
        p.installerType = QStringLiteral("nsis");
        p.machine = QStringLiteral("x86-64");
        p.programEnd = exited(3010);
        p.outcome = readOutcome(InstallerKind::Nsis, p.programEnd);
        p.leftBehind = {QStringLiteral("4242 helper.exe")};
        p.wineRestart = QStringLiteral("Wine restarted the prefix\nand ran finish.exe");
        run.programs << p;
        QVERIFY(report.write(run));
        j = readJson(report.jsonPath());
        const QJsonObject first = j.value(QLatin1String("programs")).toArray().at(0).toObject();
        QCOMPARE(first.value(QLatin1String("exitCode")).toInt(), 3010);
        QCOMPARE(first.value(QLatin1String("outcome")).toString(), QStringLiteral("restart-needed"));
        QCOMPARE(first.value(QLatin1String("leftBehind")).toArray().at(0).toString(),
                 QStringLiteral("4242 helper.exe"));
        QCOMPARE(first.value(QLatin1String("wineRestart")).toString(), p.wineRestart);
        QCOMPARE(j.value(QLatin1String("summary")).toObject().value(QLatin1String("neverStarted")).toInt(), 2);

        run.end = QDateTime::currentDateTime();
        QVERIFY(report.write(run));
        QCOMPARE(readJson(report.jsonPath()).value(QLatin1String("finished")).toBool(), true);
        QFile text(report.textPath());
        QVERIFY(text.open(QIODevice::ReadOnly));
        const QString t = QString::fromUtf8(text.readAll());
        QVERIFY(t.contains(QLatin1String("succeeded, restart needed (exit code 3010)")));
        QVERIFY(t.contains(QLatin1String("left running: 4242 helper.exe")));
        QVERIFY(t.contains(QLatin1String("restart:  Wine restarted the prefix\\x0aand ran finish.exe\n")));
        // Nothing half-written stays beside the report.
        QCOMPARE(QDir(dir.path() + QLatin1String("/runs")).entryList(QDir::Files).size(), 2);

        // Written program by program, the files hold what one writing of the
        // whole run gives, with names and texts that need escaping too.
        ProgramRecord odd = p;
        odd.line = QStringLiteral("C:\\Setups\\\"quoted\" caf\u00e9\tx.exe /S");
        odd.errorNumber = 53;
        odd.errorText = QStringLiteral("File not found:\nsecond line");
        odd.leftBehind.clear();
        odd.wineRestart.clear();
        run.end = QDateTime();
        for (int i = 0; i < 2; ++i) {
            run.programs << odd;
            QVERIFY(report.write(run));
        }
        run.end = QDateTime::currentDateTime();
        run.cancelled = true;
        QVERIFY(report.write(run));
        QFile json(report.jsonPath());
        QVERIFY(json.open(QIODevice::ReadOnly));
        const QByteArray written = json.readAll();
        QJsonParseError error;
        QJsonDocument::fromJson(written, &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(written, RunReport::toJson(run));
        text.close();
        QVERIFY(text.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(text.readAll()), RunReport::toText(run));
        const QJsonObject third =
                readJson(report.jsonPath()).value(QLatin1String("programs")).toArray().at(2).toObject();
        QCOMPARE(third.value(QLatin1String("line")).toString(), odd.line);
        QVERIFY(third.value(QLatin1String("wineRestart")).isNull());
    }

    // The journal, read back at any event, holds the report the run would
    // write whole at that moment, up to a last line cut short; the report
    // is whole at the end, and the journal goes.
    void theJournalHoldsTheReport()
    {
        QTemporaryDir dir;
        const QString folder = dir.path() + QLatin1String("/runs");
        RunReport report(folder);
        RunRecord run;
        run.listFile = QStringLiteral("/lists/tools.SR");
        run.title = QStringLiteral("Tools\nforged");
        run.host = QStringLiteral("box");
        run.prefix = QStringLiteral("/root/.wine");
        run.start = RunReport::now();
        run.programCount = 4;
        report.begin(run.start);
        QVERIFY(report.journalStart(run));
        QVERIFY(report.write(run));
        const QString journalPath = RunReport::journalPathOf(report.jsonPath());
        const auto heldByJournal = [&] {
            QFile f(journalPath);
            return f.open(QIODevice::ReadOnly) ? RunJournal::parse(f.readAll()).toJson() : QByteArray();
        };
        QCOMPARE(heldByJournal(), RunReport::toJson(run));

        ProgramRecord p;
        p.line = QStringLiteral("/setups/a.exe /S");
        p.startedFile = QStringLiteral("/setups/a.exe");
        p.start = RunReport::now();
        p.installerType = QStringLiteral("nsis");
        p.outcome = {RunOutcome::Running, QString()};
        run.current = p;
        QVERIFY(report.journalRunning(*run.current, 1));
        QCOMPARE(heldByJournal(), RunReport::toJson(run));

        p.end = RunReport::now();
        p.programEnd = exited(3010);
        p.outcome = readOutcome(InstallerKind::Nsis, p.programEnd);
        p.errorNumber = 53;
        p.errorText = QStringLiteral("File not found:\nsecond line, \"a\": \"b\" \\");
        run.current.reset();
        run.programs << p;
        QVERIFY(report.journalEnded(run));
        QCOMPARE(heldByJournal(), RunReport::toJson(run));

        // Every kind of value, and texts JSON escapes.
        p.line = QStringLiteral("C:\\Setups\\\"quoted\" caf\u00e9\tx.exe /S");
        p.programEnd = exited(1);
        p.outcome = readOutcome(InstallerKind::Nsis, p.programEnd);
        p.leftBehind = {QStringLiteral("4242 helper.exe"), QStringLiteral("4243 \u00fcber\x01.exe")};
        WineRestartRecord restart;
        restart.prefix = QStringLiteral("/root/.wine");
        restart.programsEnded = {QStringLiteral("12 explorer.exe")};
        restart.renames = {{QStringLiteral("\\??\\C:\\a.tmp"), QString(), true}};
        restart.runOnce = {{QStringLiteral("finish"), QStringLiteral("finish.exe /q"), 0, true, QString()}};
        restart.ms = 2500;
        p.restart = restart;
        run.programs << p;
        run.cancelled = true;
        QVERIFY(report.journalEnded(run));
        const QByteArray cancelled = RunReport::toJson(run);
        QCOMPARE(heldByJournal(), cancelled);
        // Cut short in the middle of a line (a power cut): that line is passed over.
        {
            QFile f(journalPath);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(RunJournal::parse(f.readAll() + "{\"event\":\"ended\",\"number\":3,\"pro").toJson(), cancelled);
        }
        // The kept report was written only as the run began.
        QCOMPARE(readJson(report.jsonPath()).value(QLatin1String("programs")).toArray().size(), 0);
        const QJsonObject second = QJsonDocument::fromJson(cancelled)[QLatin1String("programs")][1].toObject();
        QCOMPARE(second[QLatin1String("line")].toString(), p.line);
        QCOMPARE(second[QLatin1String("leftBehind")][1].toString(), p.leftBehind.at(1));
        QCOMPARE(second[QLatin1String("restart")][QLatin1String("runOnce")][0][QLatin1String("name")].toString(),
                 QStringLiteral("finish"));

        run.end = RunReport::now();
        run.prefixArch = QStringLiteral("win64");
        QVERIFY(report.journalEnd(run));
        QVERIFY(report.write(run));
        QCOMPARE(heldByJournal(), RunReport::toJson(run));
        report.removeJournal();
        QVERIFY(!QFile::exists(journalPath));
        QFile json(report.jsonPath());
        QVERIFY(json.open(QIODevice::ReadOnly));
        QCOMPARE(json.readAll(), RunReport::toJson(run));
        QFile text(report.textPath());
        QVERIFY(text.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(text.readAll()), RunReport::toText(run));
    }

    // A list line or title that holds a line feed or an escape sequence
    // cannot forge an entry of the text report; the JSON keeps it exact.
    void forgedLinesStayOnTheirLine()
    {
        RunRecord run;
        run.title = QStringLiteral("Lab\x1b[2J");
        run.programCount = 1;
        ProgramRecord p;
        p.line = QStringLiteral("evil.sh\n1/1  good.sh\n  outcome:  succeeded");
        p.programEnd = exited(1);
        p.outcome = readOutcome(InstallerKind::Unknown, p.programEnd);
        run.programs << p;
        const QStringList lines = RunReport::toText(run).split(QLatin1Char('\n'));
        QVERIFY(lines.contains(QStringLiteral("Title:    Lab\\x1b[2J")));
        QVERIFY(lines.contains(QStringLiteral("1/1  evil.sh\\x0a1/1  good.sh\\x0a  outcome:  succeeded")));
        QVERIFY(!lines.contains(QStringLiteral("  outcome:  succeeded")));
        const QJsonObject j = QJsonDocument::fromJson(RunReport::toJson(run)).object();
        QCOMPARE(j.value(QLatin1String("programs")).toArray().at(0).toObject().value(QLatin1String("line")).toString(),
                 p.line);
    }

    void keepsTheNewestRuns()
    {
        QTemporaryDir dir;
        const QString folder = dir.path() + QLatin1String("/runs");
        QDateTime t(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);
        QString firstJson;
        QString lastJson;
        for (int i = 0; i < RunReport::KeptRuns + 5; ++i) {
            RunReport report(folder);
            RunRecord run;
            run.start = t.addSecs(i);
            report.begin(run.start);
            QVERIFY(report.write(run));
            if (i == 0)
                firstJson = report.jsonPath();
            lastJson = report.jsonPath();
        }
        QCOMPARE(QDir(folder).entryList({QStringLiteral("*.json")}, QDir::Files).size(), RunReport::KeptRuns);
        QCOMPARE(QDir(folder).entryList({QStringLiteral("*.txt")}, QDir::Files).size(), RunReport::KeptRuns);
        QVERIFY(!QFile::exists(firstJson));
        QVERIFY(QFile::exists(lastJson));
    }

    void runsInOneMillisecond()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("runs"));
        const QDateTime t = QDateTime::currentDateTime();
        QList<RunReport *> reports;
        QSet<QString> names;
        // Each takes its name at once, before any of them writes.
        for (int i = 0; i < 5; ++i) {
            reports << new RunReport(folder);
            reports.last()->begin(t);
            names << reports.last()->jsonPath();
        }
        for (RunReport *report : std::as_const(reports)) {
            QVERIFY(report->write(RunRecord()));
            delete report;
        }
        QCOMPARE(names.size(), 5);
        QCOMPARE(QDir(folder).entryList({QStringLiteral("*.json")}, QDir::Files).size(), 5);
    }

    void unwritableFolderIsReported()
    {
        RunReport report(QStringLiteral("/proc/setupreel-no/runs"));
        QString error;
        QVERIFY(!report.write(RunRecord(), &error));
        QVERIFY(!error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestRunReport)
#include "tst_runreport.moc"
