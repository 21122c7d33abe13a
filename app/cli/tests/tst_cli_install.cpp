// SPDX-License-Identifier: GPL-3.0-or-later
// setupreel --install as a user runs it from a script: the built program, no
// display, real setup programs, real list files, real signals.
#include "SetupreelRun.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using SetupreelRun::program;
using SetupreelRun::Result;

// No display, the test's own state folder and Wine prefix.
QProcessEnvironment noDisplay(const QString &stateHome)
{
    QProcessEnvironment env = SetupreelRun::noDisplay();
    env.insert(QStringLiteral("XDG_STATE_HOME"), stateHome);
    env.insert(QStringLiteral("WINEPREFIX"), QStringLiteral(SETUPREEL_TEST_WINEPREFIX));
    env.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
    env.insert(QStringLiteral("WINEDLLOVERRIDES"), QStringLiteral("mscoree,mshtml="));
    return env;
}

QStringList lines(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

class TestCliInstall : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_log;
    QString m_state;

    // A setup program: logs its name when it starts and when it ends.
    QString makeSetup(const QString &name, int exitCode = 0, double seconds = 0, const QString &extra = {})
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return {};
        f.write(QStringLiteral("#!/bin/sh\necho \"start %1\" >> '%2'\n%5sleep %3\necho \"end %1\" >> '%2'\nexit %4\n")
                        .arg(name, m_log, QString::number(seconds))
                        .arg(exitCode)
                        .arg(extra)
                        .toUtf8());
        f.close();
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
        return path;
    }

    QString makeList(const QString &name, const QString &title, const QStringList &items)
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return {};
        QByteArray text = ">" + title.toUtf8() + "\r\n";
        for (const QString &item : items)
            text += item.toUtf8() + "\r\n";
        f.write(text);
        return path;
    }

    // Runs the program in the test's folder; or, given a program already
    // started, waits for it.
    Result run(const QStringList &args, QProcess *process = nullptr)
    {
        if (process)
            return SetupreelRun::finish(*process);
        return SetupreelRun::run(args, noDisplay(m_state), m_dir.path());
    }

    QStringList logged() const
    {
        QFile f(m_log);
        return f.open(QIODevice::ReadOnly) ? lines(f.readAll()) : QStringList();
    }

    QStringList keptJsonReports() const
    {
        QDir runs(m_state + QStringLiteral("/setupreel/runs"));
        QStringList found;
        for (const QString &name : runs.entryList({QStringLiteral("*.json")}, QDir::Files))
            found << runs.filePath(name);
        return found;
    }

    // Waits until the log holds line.
    bool waitForLog(const QString &line, int ms = 20000)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            if (logged().contains(line))
                return true;
            QTest::qWait(20);
        }
        return false;
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void init()
    {
        QString name = QString::fromLatin1(QTest::currentTestFunction());
        if (QTest::currentDataTag())
            name += QLatin1Char('-')
                    + QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('-'));
        m_log = m_dir.filePath(name + QStringLiteral(".log"));
        m_state = m_dir.filePath(name + QStringLiteral("-state"));
    }

    // Every program succeeds: status 0, a line per program and the summary,
    // nothing for a terminal in a pipe, and --report the same as the kept one.
    void allSucceed()
    {
        const QStringList items{makeSetup(QStringLiteral("one.sh")), makeSetup(QStringLiteral("two.sh")),
                                makeSetup(QStringLiteral("three.sh")) + QStringLiteral(" /S")};
        makeList(QStringLiteral("tools.SR"), QStringLiteral("Tools"), items);
        const QString reportCopy = m_dir.filePath(QStringLiteral("copy.json"));
        // A relative list path, as typed in the list's folder.
        const Result r = run(
                {QStringLiteral("--install"), QStringLiteral("tools.SR"), QStringLiteral("--report=") + reportCopy});
        QVERIFY2(r.status == 0, r.err.constData());
        QCOMPARE(logged(), QStringList({"start one.sh", "end one.sh", "start two.sh", "end two.sh", "start three.sh",
                                        "end three.sh"}));
        const QStringList out = lines(r.out);
        QVERIFY(out.contains(QStringLiteral("[1/3] ") + items[0]));
        QVERIFY(out.contains(QStringLiteral("[2/3] ") + items[1]));
        QVERIFY(out.contains(QStringLiteral("[3/3] ") + items[2]));
        QVERIFY(out.contains(QStringLiteral("3 succeeded, 0 failed, 0 need a restart")));
        QVERIFY2(r.err.isEmpty(), r.err.constData()); // a run where all went well says nothing there
        for (const QByteArray &stream : {r.out, r.err}) {
            QVERIFY(!stream.contains('\x1b'));
            QVERIFY(!stream.contains('\r'));
        }

        const QStringList kept = keptJsonReports();
        QCOMPARE(kept.size(), 1);
        QFile keptFile(kept.first()), copyFile(reportCopy);
        QVERIFY(keptFile.open(QIODevice::ReadOnly) && copyFile.open(QIODevice::ReadOnly));
        const QByteArray copied = copyFile.readAll();
        QCOMPARE(copied, keptFile.readAll());
        QJsonParseError error;
        const QJsonObject report = QJsonDocument::fromJson(copied, &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(report.value(QLatin1String("listFile")).toString(), m_dir.filePath(QStringLiteral("tools.SR")));
        QCOMPARE(report.value(QLatin1String("finished")).toBool(), true);
        const QJsonArray programs = report.value(QLatin1String("programs")).toArray();
        QCOMPARE(programs.size(), 3);
        QCOMPARE(programs[2].toObject().value(QLatin1String("line")).toString(), items[2]);
        QCOMPARE(programs[2].toObject().value(QLatin1String("outcome")).toString(), QStringLiteral("succeeded"));
        QVERIFY(out.contains(QStringLiteral("Report: ") + kept.first().chopped(5) + QStringLiteral(".txt")));
    }

    // A failing program and one that cannot be started: the run goes on,
    // the window's messages arrive on standard error, the status is 1.
    void someFail()
    {
        const QStringList items{makeSetup(QStringLiteral("good.sh")), makeSetup(QStringLiteral("bad.sh"), 3),
                                m_dir.filePath(QStringLiteral("missing.sh")), makeSetup(QStringLiteral("last.sh"))};
        const QString list = makeList(QStringLiteral("mixed.SR"), QStringLiteral("Mixed"), items);
        const Result r = run({QStringLiteral("--install"), list});
        QCOMPARE(r.status, 1);
        QVERIFY(logged().contains(QStringLiteral("end last.sh")));
        QVERIFY(lines(r.out).contains(QStringLiteral("2 succeeded, 2 failed, 0 need a restart")));
        const QString err = QString::fromUtf8(r.err);
        QVERIFY2(err.contains(QStringLiteral("Error\n"))
                         && err.contains(QStringLiteral("An error appears.\n")
                                         + QStringLiteral("Click on the button to continue.")),
                 r.err.constData());
        QVERIFY(err.contains(QStringLiteral("Installing\nNot every program was installed:\n")));
        QVERIFY(err.contains(items[1] + QStringLiteral(": failed (exit code 3)")));
        QVERIFY(!r.out.contains('\x1b') && !r.err.contains('\x1b') && !r.err.contains('\r'));
    }

    // Programs whose names hold control characters (an escape sequence, a
    // C1 control that starts one too) are named with "?" in their place.
    void controlCharactersNeverReachTheTerminal()
    {
        const QStringList items{makeSetup(QStringLiteral("esc\x1b[2J.sh")),
                                makeSetup(QStringLiteral("csi\u009b31m.sh"))};
        const QString list = makeList(QStringLiteral("controls.SR"), QStringLiteral("Title\u009b2J"), items);
        const Result r = run({QStringLiteral("--install"), list});
        QVERIFY2(r.status == 0, r.err.constData());
        QCOMPARE(logged().size(), 4); // both ran
        const QStringList out = lines(r.out);
        QVERIFY2(out.contains(QStringLiteral("Installing \"Title?2J\": 2 program(s)")), r.out.constData());
        QVERIFY2(out.contains(QStringLiteral("[1/2] ") + m_dir.filePath(QStringLiteral("esc?[2J.sh"))),
                 r.out.constData());
        QVERIFY2(out.contains(QStringLiteral("[2/2] ") + m_dir.filePath(QStringLiteral("csi?31m.sh"))),
                 r.out.constData());
        for (const QByteArray &stream : {r.out, r.err}) {
            QVERIFY(!stream.contains('\x1b'));
            QVERIFY(!stream.contains("\xc2\x9b"));
        }
    }

    // A Windows batch file that asks for a restart (3010), through Wine:
    // every program succeeded, a restart is needed, the status is 3.
    void restartOnly()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("wine")).isEmpty())
            QSKIP("Wine is not installed");
        const QString bat = m_dir.filePath(QStringLiteral("reboot.bat"));
        QFile f(bat);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("@echo off\r\nexit /b 3010\r\n");
        f.close();
        const QString list = makeList(QStringLiteral("restart.SR"), QStringLiteral("Restart"),
                                      {makeSetup(QStringLiteral("first.sh")), bat});
        const Result r = run({QStringLiteral("--install"), list});
        QVERIFY2(r.status == 3, r.out + r.err);
        QVERIFY(lines(r.out).contains(QStringLiteral("1 succeeded, 0 failed, 1 need a restart")));
        QVERIFY(QString::fromUtf8(r.err).contains(QStringLiteral("A restart is needed to finish installing:")));
    }

    // A Windows setup that leaves a pending rename and a RunOnce value and
    // asks for a restart (3010), then --restart=wine in a prefix named by
    // --prefix and made for the run: a Windows program running in the prefix
    // ended, the rename done, the value run (its code read) and deleted, the
    // next program started only after that.
    void restartWineBetweenPrograms()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("wine")).isEmpty()
            || QStandardPaths::findExecutable(QStringLiteral("makensis")).isEmpty())
            QSKIP("Wine and makensis (nsis) are needed");
        const QString dir = m_dir.filePath(QStringLiteral("restart"));
        QVERIFY(QDir().mkpath(dir));
        const auto win = [](QString path) {
            return QStringLiteral("Z:") + path.replace(QLatin1Char('/'), QLatin1Char('\\'));
        };
        const auto nsis = [&](const QString &name, const QString &section) {
            QFile f(dir + QLatin1Char('/') + name + QStringLiteral(".nsi"));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QStringLiteral("Unicode true\nTarget amd64-unicode\nOutFile \"%1.exe\"\nSilentInstall silent\n"
                                   "RequestExecutionLevel user\nSection\n%2\nSectionEnd\n")
                            .arg(name, section)
                            .toUtf8());
            f.close();
            QProcess makensis;
            makensis.setWorkingDirectory(dir);
            makensis.start(QStringLiteral("makensis"), {QStringLiteral("-V1"), f.fileName()});
            QVERIFY(makensis.waitForFinished(60000) && makensis.exitCode() == 0);
        };
        nsis(QStringLiteral("finish"), QStringLiteral("FileOpen $0 \"%1\" w\nFileWrite $0 \"finished\"\nFileClose $0\n"
                                                      "SetErrorLevel 7")
                                               .arg(win(dir + QStringLiteral("/finished.txt"))));
        nsis(QStringLiteral("needsrestart"),
             QStringLiteral("FileOpen $0 \"%1\" w\nFileWrite $0 \"new\"\nFileClose $0\n"
                            "System::Call 'kernel32::MoveFileExW(w \"%1\", w \"%2\", i 4) i .r1'\n"
                            "WriteRegStr HKCU \"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce\" "
                            "\"SetupreelFinish\" \"%3\"\nSleep 3000\nSetErrorLevel 3010")
                     .arg(win(dir + QStringLiteral("/staged.txt")), win(dir + QStringLiteral("/final.txt")),
                          win(dir + QStringLiteral("/finish.exe"))));
        // The next program sees what the restart did.
        const QString after = makeSetup(
                QStringLiteral("after.sh"), 0, 0,
                QStringLiteral("[ -f '%1/final.txt' ] && [ ! -e '%1/staged.txt' ] && [ -f '%1/finished.txt' ] "
                               "&& echo 'restarted before' >> '%2'\n")
                        .arg(dir, m_log));
        const QString list = makeList(QStringLiteral("restart-wine.SR"), QStringLiteral("Restart Wine"),
                                      {dir + QStringLiteral("/needsrestart.exe /S"), after});

        QProcessEnvironment env = noDisplay(m_state);
        env.insert(QStringLiteral("XDG_DATA_HOME"), dir + QStringLiteral("/data"));
        const QString prefix = dir + QStringLiteral("/data/wineprefixes/reel");
        QProcess setupreel;
        setupreel.setProcessEnvironment(env);
        setupreel.start(program(), {QStringLiteral("--install"), list, QStringLiteral("--restart=wine"),
                                    QStringLiteral("--prefix"), QStringLiteral("reel")});
        // Once the run has made the prefix, a program of its own runs there.
        QProcess ping;
        env.insert(QStringLiteral("WINEPREFIX"), prefix);
        ping.setProcessEnvironment(env);
        // Whatever happens, nothing of this prefix runs on after the test.
        const auto endPrefix = qScopeGuard([&] {
            QProcess::execute(QStringLiteral("env"), {QStringLiteral("WINEPREFIX=") + prefix,
                                                      QStringLiteral("wineserver"), QStringLiteral("-k")});
        });
        // Stops early when the run ends without a prefix, so its own words say why.
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(prefix + QStringLiteral("/system.reg"))
                                         || setupreel.state() == QProcess::NotRunning,
                                 250000);
        if (!QFileInfo::exists(prefix + QStringLiteral("/system.reg")))
            QFAIL((setupreel.readAllStandardOutput() + setupreel.readAllStandardError()).constData());
        ping.start(QStringLiteral("wine"),
                   {QStringLiteral("ping"), QStringLiteral("-n"), QStringLiteral("300"), QStringLiteral("127.0.0.1")});
        const Result r = SetupreelRun::finish(setupreel, 300000);
        QVERIFY2(r.status == 3, r.out + r.err);
        QVERIFY(ping.waitForFinished(10000));
        QVERIFY2(logged() == QStringList({"start after.sh", "restarted before", "end after.sh"}),
                 qPrintable(logged().join(QLatin1Char('|')) + QLatin1Char('\n') + QString::fromUtf8(r.out + r.err)));
        const QString out = QString::fromUtf8(r.out);
        QVERIFY2(out.contains(QStringLiteral("Making the Wine prefix %1 (64-bit)").arg(prefix))
                         && out.contains(QStringLiteral("RunOnce SetupreelFinish: ")) && out.contains("exit code 7"),
                 r.out.constData());

        QFile kept(keptJsonReports().value(0));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        const QJsonObject report = QJsonDocument::fromJson(kept.readAll()).object();
        QCOMPARE(report[QLatin1String("prefix")].toString(), prefix);
        QCOMPARE(report[QLatin1String("prefixArch")].toString(), QStringLiteral("win64"));
        const QJsonArray programs = report[QLatin1String("programs")].toArray();
        QCOMPARE(programs.size(), 2);
        QCOMPARE(programs[0][QLatin1String("outcome")].toString(), QStringLiteral("restart-needed"));
        const QJsonObject restart = programs[0][QLatin1String("restart")].toObject();
        QVERIFY2(restart[QLatin1String("programsEnded")].toVariant().toStringList().join(',').contains(" ping.exe"),
                 r.out.constData());
        const QJsonArray renames = restart[QLatin1String("pendingRenames")].toArray();
        QCOMPARE(renames.size(), 1);
        QVERIFY(renames[0][QLatin1String("from")].toString().endsWith(QStringLiteral("\\staged.txt")));
        QCOMPARE(renames[0][QLatin1String("done")].toBool(), true);
        const QJsonArray runOnce = restart[QLatin1String("runOnce")].toArray();
        QCOMPARE(runOnce.size(), 1);
        QCOMPARE(runOnce[0][QLatin1String("name")].toString(), QStringLiteral("SetupreelFinish"));
        QCOMPARE(runOnce[0][QLatin1String("exitCode")].toInt(), 7);
        QVERIFY2(restart[QLatin1String("error")].isNull(), qPrintable(restart[QLatin1String("error")].toString()));
        QVERIFY(programs[1][QLatin1String("restart")].isNull());

        // Once the prefix's server has written the registry, the value is gone.
        QProcess server;
        server.setProcessEnvironment(env);
        server.start(QStringLiteral("wineserver"), {QStringLiteral("-k")});
        QVERIFY(server.waitForFinished(60000));
        server.start(QStringLiteral("wineserver"), {QStringLiteral("-w")});
        QVERIFY(server.waitForFinished(60000));
        QFile userReg(prefix + QStringLiteral("/user.reg"));
        QVERIFY(userReg.open(QIODevice::ReadOnly));
        QVERIFY(!userReg.readAll().contains("SetupreelFinish"));
    }

    // Lists the window refuses are refused with the window's texts and
    // status 2, and nothing is started.
    void refusedLists_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message");
        QTest::newRow("not a list name")
                << "list.txt" << QByteArray(">T\r\n/bin/true\r\n")
                << "File format\nIt isn't currect file\nThe format of input file must be <SR>\n";
        QTest::newRow("no title line") << "notitle.SR" << QByteArray("/bin/true\r\n")
                                       << "File format\nIt isn't currect file\n";
        QTest::newRow("missing file") << "" << QByteArray() << "could not be read.";
    }
    void refusedLists()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        QString path = m_dir.filePath(QStringLiteral("absent.SR"));
        if (!name.isEmpty()) {
            path = m_dir.filePath(name);
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        const Result r = run({QStringLiteral("--install"), path});
        QCOMPARE(r.status, 2);
        QVERIFY2(QString::fromUtf8(r.err).contains(message), r.err.constData());
        QVERIFY(keptJsonReports().isEmpty());
    }

    // Without the run-and-wait control nothing can be started: said, status 2.
    void noControl()
    {
        const QString list =
                makeList(QStringLiteral("one.SR"), QStringLiteral("One"), {makeSetup(QStringLiteral("x.sh"))});
        QProcess p;
        QProcessEnvironment env = noDisplay(m_state);
        env.insert(QStringLiteral("SETUPREEL_SYSTEM_DIR"), m_dir.filePath(QStringLiteral("nowhere")));
        p.setProcessEnvironment(env);
        p.start(program(), {QStringLiteral("--install"), list});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 2);
        QVERIFY(p.readAllStandardError().contains("ShellAndWait.ocx"));
        QVERIFY(logged().isEmpty());
    }

    // Ctrl-C during program 2 of 4: program 2 runs to its end, 3 and 4 never
    // start, the report says cancelled, the status is 128 plus the signal. A
    // second Ctrl-C while program 2 still runs does not stop it either.
    // SIGTERM and SIGHUP (a `timeout`, a dropped ssh session) do the same.
    void interrupted_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("count");
        QTest::newRow("once") << SIGINT << 1;
        QTest::newRow("twice") << SIGINT << 2;
        QTest::newRow("SIGTERM") << SIGTERM << 1;
        QTest::newRow("SIGHUP") << SIGHUP << 1;
    }
    void interrupted()
    {
        QFETCH(int, signal);
        QFETCH(int, count);
        const QStringList items{makeSetup(QStringLiteral("p1.sh")), makeSetup(QStringLiteral("p2.sh"), 0, 1.5),
                                makeSetup(QStringLiteral("p3.sh")), makeSetup(QStringLiteral("p4.sh"))};
        const QString list = makeList(QStringLiteral("four.SR"), QStringLiteral("Four"), items);
        QProcess p;
        p.setProcessEnvironment(noDisplay(m_state));
        p.start(program(), {QStringLiteral("--install"), list});
        QVERIFY(waitForLog(QStringLiteral("start p2.sh")));
        for (int i = 0; i < count; ++i) {
            QVERIFY(p.processId() > 0);
            ::kill(pid_t(p.processId()), signal);
            QTest::qWait(100);
        }
        const Result r = run({}, &p);
        QCOMPARE(r.status, 128 + signal);
        QCOMPARE(logged(), QStringList({"start p1.sh", "end p1.sh", "start p2.sh", "end p2.sh"}));
        QVERIFY(lines(r.out).contains(
                QStringLiteral("2 succeeded, 0 failed, 0 need a restart, 2 not started (cancelled)")));
        QVERIFY(r.err.contains("Cancel: the running program goes on to its end"));
        const QStringList kept = keptJsonReports();
        QCOMPARE(kept.size(), 1);
        QFile f(kept.first());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QJsonObject report = QJsonDocument::fromJson(f.readAll()).object();
        QCOMPARE(report.value(QLatin1String("cancelled")).toBool(), true);
        QCOMPARE(report.value(QLatin1String("summary")).toObject().value(QLatin1String("neverStarted")).toInt(), 2);
    }

    // A second run for the same user and Wine prefix waits, visibly, until
    // the first has ended: their setups never run side by side.
    void aSecondRunWaitsForTheFirst()
    {
        const QString first = makeList(QStringLiteral("first.SR"), QStringLiteral("First"),
                                       {makeSetup(QStringLiteral("a1.sh"), 0, 1.5)});
        const QString second =
                makeList(QStringLiteral("second.SR"), QStringLiteral("Second"), {makeSetup(QStringLiteral("b1.sh"))});
        QProcess a, b;
        a.setProcessEnvironment(noDisplay(m_state));
        b.setProcessEnvironment(noDisplay(m_state));
        a.start(program(), {QStringLiteral("--install"), first});
        QVERIFY(waitForLog(QStringLiteral("start a1.sh")));
        b.start(program(), {QStringLiteral("--install"), second});
        const Result rb = run({}, &b);
        const Result ra = run({}, &a);
        QCOMPARE(ra.status, 0);
        QCOMPARE(rb.status, 0);
        QCOMPARE(logged(), QStringList({"start a1.sh", "end a1.sh", "start b1.sh", "end b1.sh"}));
        QVERIFY2(rb.out.contains("Another installation is in progress: trying again in"), rb.out.constData());
        QCOMPARE(keptJsonReports().size(), 2);
    }

    // Killed while program 2 of 4 runs: the report left behind names it as
    // running, holds program 1, and counts only 3 and 4 as never started;
    // the --report copy, which held an earlier run's report, holds the same.
    void killedMidRunLeavesAReportNamingTheProgram()
    {
        const QStringList items{makeSetup(QStringLiteral("k1.sh")), makeSetup(QStringLiteral("k2.sh"), 0, 30),
                                makeSetup(QStringLiteral("k3.sh")), makeSetup(QStringLiteral("k4.sh"))};
        const QString list = makeList(QStringLiteral("kill.SR"), QStringLiteral("Kill"), items);
        const QString copy = m_dir.filePath(QStringLiteral("kill-copy.json"));
        QVERIFY(run({QStringLiteral("--install"),
                     makeList(QStringLiteral("earlier.SR"), QStringLiteral("Earlier"), {items[0]}),
                     QStringLiteral("--report"), copy})
                        .status
                == 0);
        QProcess p;
        p.setProcessEnvironment(noDisplay(m_state));
        p.start(program(), {QStringLiteral("--install"), list, QStringLiteral("--report"), copy});
        QVERIFY(waitForLog(QStringLiteral("start k2.sh")));
        // Written soon after the program started, while it still runs.
        const auto copyHoldsTwo = [&] {
            QFile f(copy);
            return f.open(QIODevice::ReadOnly)
                   && QJsonDocument::fromJson(f.readAll())[QLatin1String("programs")].toArray().size() == 2;
        };
        QTRY_VERIFY_WITH_TIMEOUT(copyHoldsTwo(), 10000);
        ::kill(pid_t(p.processId()), SIGKILL);
        p.waitForFinished();

        QFile copyFile(copy);
        QVERIFY(copyFile.open(QIODevice::ReadOnly));
        const QByteArray copied = copyFile.readAll();
        const QJsonObject report = QJsonDocument::fromJson(copied).object();
        QCOMPARE(report.value(QLatin1String("title")).toString(), QStringLiteral("Kill"));
        QCOMPARE(report.value(QLatin1String("finished")).toBool(), false);
        const QJsonArray programs = report.value(QLatin1String("programs")).toArray();
        QCOMPARE(programs.size(), 2);
        QCOMPARE(programs[0][QLatin1String("outcome")].toString(), QStringLiteral("succeeded"));
        QCOMPARE(programs[1][QLatin1String("line")].toString(), items[1]);
        QCOMPARE(programs[1][QLatin1String("outcome")].toString(), QStringLiteral("running"));
        QVERIFY(!programs[1][QLatin1String("start")].toString().isEmpty());
        const QJsonObject summary = report.value(QLatin1String("summary")).toObject();
        QCOMPARE(summary.value(QLatin1String("running")).toInt(), 1);
        QCOMPARE(summary.value(QLatin1String("neverStarted")).toInt(), 2);
        // The kept report of the killed run holds the same.
        QString keptKill;
        for (const QString &kept : keptJsonReports()) {
            QFile f(kept);
            if (f.open(QIODevice::ReadOnly) && f.readAll() == copied)
                keptKill = kept;
        }
        QVERIFY(!keptKill.isEmpty());
        QFile text(keptKill.chopped(5) + QStringLiteral(".txt"));
        QVERIFY(text.open(QIODevice::ReadOnly));
        QVERIFY(text.readAll().contains("running (or cut short there)"));
    }

    // A full disk: a report that cannot be written whole leaves the earlier
    // complete one, and the run says so, with status 4 when every program
    // succeeded; the --report copy says why the kept report is missing.
    void fullDisk()
    {
        if (::geteuid() != 0)
            QSKIP("mounting a small file system needs root");
        const QString full = m_dir.filePath(QStringLiteral("full"));
        QVERIFY(QDir().mkpath(full));
        QCOMPARE(QProcess::execute(QStringLiteral("mount"),
                                   {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                    QStringLiteral("size=64k"), QStringLiteral("tmpfs"), full}),
                 0);
        const auto unmount = qScopeGuard([&] { QProcess::execute(QStringLiteral("umount"), {full}); });
        const QString setup = makeSetup(QStringLiteral("f.sh"));
        const QString list = makeList(QStringLiteral("full.SR"), QStringLiteral("Full"), {setup, setup});
        const QString onFull = full + QStringLiteral("/copy.json");
        const QString elsewhere = m_dir.filePath(QStringLiteral("full-copy.json"));
        QVERIFY(run({QStringLiteral("--install"), list, QStringLiteral("--report"), onFull}).status == 0);
        QFile earlier(onFull);
        QVERIFY(earlier.open(QIODevice::ReadOnly));
        const QByteArray earlierBytes = earlier.readAll();
        QVERIFY(QJsonDocument::fromJson(earlierBytes).isObject());
        // Now nothing more fits.
        QProcess::execute(QStringLiteral("dd"),
                          {QStringLiteral("if=/dev/zero"), QStringLiteral("of=") + full + QStringLiteral("/filler"),
                           QStringLiteral("bs=4k")});

        Result r = run({QStringLiteral("--install"), list, QStringLiteral("--report"), onFull});
        QCOMPARE(r.status, 4);
        QVERIFY2(r.err.contains("the report could not be written to " + onFull.toUtf8()), r.err.constData());
        earlier.seek(0);
        QCOMPARE(earlier.readAll(), earlierBytes);

        // The kept report on the full disk: the copy elsewhere says so.
        QProcessEnvironment env = noDisplay(full + QStringLiteral("/state"));
        r = SetupreelRun::run({QStringLiteral("--install"), list, QStringLiteral("--report"), elsewhere}, env);
        QCOMPARE(r.status, 4);
        QVERIFY2(r.err.contains("The report of this run could not be written"), r.err.constData());
        QVERIFY(!r.out.contains("Report: "));
        QFile copyFile(elsewhere);
        QVERIFY(copyFile.open(QIODevice::ReadOnly));
        const QJsonObject copied = QJsonDocument::fromJson(copyFile.readAll()).object();
        QVERIFY(!copied.value(QLatin1String("reportError")).toString().isEmpty());
        QCOMPARE(copied.value(QLatin1String("programs")).toArray().size(), 2);
    }

    // --report never overwrites the list being installed or its setup files,
    // under any name, and never waits on a FIFO: refused before any setup runs.
    void reportNeverTakesTheListOrItsSetups()
    {
        const QString setup = makeSetup(QStringLiteral("r.sh"));
        const QString list = makeList(QStringLiteral("r.SR"), QStringLiteral("Report"), {setup});
        const QString link = m_dir.filePath(QStringLiteral("link-to-list"));
        QVERIFY(QFile::link(list, link));
        const QString fifo = m_dir.filePath(QStringLiteral("fifo"));
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        QFile original(list);
        QVERIFY(original.open(QIODevice::ReadOnly));
        const QByteArray listBytes = original.readAll();
        for (const QString &target : {list, link, setup, fifo}) {
            const Result r = run({QStringLiteral("--install"), list, QStringLiteral("--report"), target});
            QVERIFY2(r.status == 2, qPrintable(target));
            QVERIFY2(r.err.contains("the report is not written to"), r.err.constData());
        }
        QVERIFY(logged().isEmpty());
        original.seek(0);
        QCOMPARE(original.readAll(), listBytes);
        // A run refused before it starts makes no report file.
        const QString notMade = m_dir.filePath(QStringLiteral("not-made.json"));
        QCOMPARE(run({QStringLiteral("--install"), setup, QStringLiteral("--report"), notMade}).status, 2);
        QVERIFY(!QFile::exists(notMade));
    }

    // Started from a shell that ignores SIGINT and SIGQUIT (as a background
    // job of a script does), the run still hands its setups every signal as
    // the system sets it up: none ignored, none blocked.
    void setupsGetDefaultSignals()
    {
        const QString seen = m_dir.filePath(QStringLiteral("signals.txt"));
        const QString setup =
                makeSetup(QStringLiteral("sig.sh"), 0, 0,
                          QStringLiteral("grep -E '^Sig(Ign|Blk):' /proc/self/status > '%1'\n").arg(seen));
        const QString list = makeList(QStringLiteral("sig.SR"), QStringLiteral("Signals"), {setup});
        QProcess shell;
        shell.setProcessEnvironment(noDisplay(m_state));
        shell.start(QStringLiteral("/bin/sh"),
                    {QStringLiteral("-c"), QStringLiteral("trap '' INT QUIT; exec \"$0\" --install \"$1\""), program(),
                     list});
        const Result r = run({}, &shell);
        QCOMPARE(r.status, 0);
        QFile f(seen);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QStringList masks = lines(f.readAll());
        QCOMPARE(masks.size(), 2);
        // Signals 32 and 33 are the C library's own; no program can use them.
        const quint64 libraryOwn = (quint64(1) << 31) | (quint64(1) << 32);
        for (const QString &mask : masks)
            QVERIFY2((mask.section(QLatin1Char('\t'), 1).toULongLong(nullptr, 16) & ~libraryOwn) == 0,
                     qPrintable(mask));
    }

    // A setup that leaves a process behind is waited for as a whole; Ctrl-C
    // then ends the run without waiting for that process, which goes on.
    void interruptedWhileOnlyLeftoversRun()
    {
        const QString pidFile = m_dir.filePath(QStringLiteral("leftover.pid"));
        const QStringList items{makeSetup(QStringLiteral("spawner.sh"), 0, 0,
                                          // Ends only once its helper is sleep itself, not
                                          // the shell that forked it: the wait names it so.
                                          QStringLiteral("sleep 30 & left=$!\n"
                                                         "while [ \"$(cat /proc/$left/comm)\" != sleep ]; do :; done\n"
                                                         "echo $left > '%1'\n")
                                                  .arg(pidFile)),
                                makeSetup(QStringLiteral("after.sh"))};
        const QString list = makeList(QStringLiteral("left.SR"), QStringLiteral("Left"), items);
        QProcess p;
        p.setProcessEnvironment(noDisplay(m_state));
        p.start(program(), {QStringLiteral("--install"), list});
        QVERIFY(waitForLog(QStringLiteral("end spawner.sh")));
        QTest::qWait(300);
        QCOMPARE(p.state(), QProcess::Running); // waiting for the leftover
        QElapsedTimer t;
        t.start();
        QVERIFY(p.processId() > 0);
        ::kill(pid_t(p.processId()), SIGINT);
        const Result r = run({}, &p);
        QVERIFY(t.elapsed() < 10000);
        QCOMPARE(r.status, 130);
        QVERIFY(!logged().contains(QStringLiteral("start after.sh")));
        QFile pf(pidFile);
        QVERIFY(pf.open(QIODevice::ReadOnly));
        const pid_t leftover = pid_t(pf.readAll().trimmed().toInt());
        QVERIFY(leftover > 0);
        QCOMPARE(::kill(leftover, 0), 0); // still running: only the wait was given up
        ::kill(leftover, SIGKILL);
        // The wait was said, naming the process by its command line, and the
        // setup is not plainly "succeeded".
        QVERIFY2(r.out.contains(QStringLiteral("waiting for processes the setup left running: %1 sleep 30")
                                        .arg(leftover)
                                        .toUtf8()),
                 r.out.constData());
        QFile kept(keptJsonReports().value(0));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        const QJsonObject spawner = QJsonDocument::fromJson(kept.readAll())[QLatin1String("programs")][0].toObject();
        QCOMPARE(spawner.value(QLatin1String("outcome")).toString(), QStringLiteral("abandoned"));
        QCOMPARE(spawner.value(QLatin1String("exitCode")).toInt(-1), 0);
    }

    // --timeout: a program still running (with what it started) after the
    // limit is no longer waited for, recorded as timed out, and the run
    // goes on; the program goes on running.
    void timeoutLetsTheRunGoOn()
    {
        const QString pidFile = m_dir.filePath(QStringLiteral("slow.pid"));
        const QStringList items{
                makeSetup(QStringLiteral("slow.sh"), 0, 0, QStringLiteral("echo $$ > '%1'; sleep 30\n").arg(pidFile)),
                makeSetup(QStringLiteral("next.sh"))};
        const QString list = makeList(QStringLiteral("slow.SR"), QStringLiteral("Slow"), items);
        QElapsedTimer t;
        t.start();
        const Result r = run({QStringLiteral("--install"), list, QStringLiteral("--timeout"), QStringLiteral("1")});
        QVERIFY(t.elapsed() < 15000);
        QCOMPARE(r.status, 1);
        QVERIFY(logged().contains(QStringLiteral("end next.sh")));
        QFile pf(pidFile);
        QVERIFY(pf.open(QIODevice::ReadOnly));
        const pid_t slow = pid_t(pf.readAll().trimmed().toInt());
        QVERIFY(slow > 0);
        QCOMPARE(::kill(slow, 0), 0);
        ::kill(slow, SIGKILL);
        QFile kept(keptJsonReports().value(0));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        const QJsonArray programs = QJsonDocument::fromJson(kept.readAll())[QLatin1String("programs")].toArray();
        QCOMPARE(programs[0][QLatin1String("outcome")].toString(), QStringLiteral("timed-out"));
        QVERIFY(programs[0][QLatin1String("exitCode")].isNull());
        QCOMPARE(programs[1][QLatin1String("outcome")].toString(), QStringLiteral("succeeded"));
    }

    // On a terminal: the bar, redrawn in place, below the program lines; on
    // a terminal that says it is dumb, plain lines only.
    void progressBarOnATerminal()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("script")).isEmpty())
            QSKIP("script (util-linux) is needed for a terminal");
        // A setup's output, a line written in two pieces, goes above the bar.
        const QString list = makeList(QStringLiteral("tty.SR"), QStringLiteral("Tty"),
                                      {makeSetup(QStringLiteral("a.sh"), 0, 0,
                                                 QStringLiteral("printf 'partial '; sleep 0.3; echo 'line from a'\n")),
                                       makeSetup(QStringLiteral("b.sh"))});
        const QString typescript = m_dir.filePath(QStringLiteral("typescript"));
        for (const QString &term : {QStringLiteral("xterm"), QStringLiteral("dumb")}) {
            QProcess p;
            QProcessEnvironment env = noDisplay(m_state);
            env.insert(QStringLiteral("TERM"), term);
            p.setProcessEnvironment(env);
            p.start(QStringLiteral("script"),
                    {QStringLiteral("-qec"), QStringLiteral("'%1' --install '%2'").arg(program(), list), typescript});
            const Result r = run({}, &p);
            QCOMPARE(r.status, 0);
            QFile f(typescript);
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray seen = f.readAll();
            QVERIFY(seen.contains("2 succeeded, 0 failed, 0 need a restart"));
            if (term == QLatin1String("dumb")) {
                QVERIFY2(!seen.contains('\x1b') && !seen.contains("[#"), seen.constData());
                continue;
            }
            QVERIFY2(seen.contains("[###############---------------] 1/2"), seen.constData());
            QVERIFY(seen.contains("\r\x1b[K"));
            QVERIFY2(QRegularExpression(QStringLiteral("(\\n|\\x1b\\[K)partial line from a\\r?\\n"))
                             .match(QString::fromUtf8(seen))
                             .hasMatch(),
                     seen.constData());
        }
    }

    // A terminal of 80 columns made 40 during a run of 1,001 programs: the bar
    // fits each width whole, one copy of it, nothing of it wrapped or left.
    void progressBarFitsTheTerminalsWidth()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("tmux")).isEmpty())
            QSKIP("tmux is needed for a terminal whose width changes");
        QStringList items(999, QStringLiteral("/bin/true"));
        const auto gate = [&](const QString &name) {
            return makeSetup(name, 0, 0,
                             QStringLiteral("touch '%1.started'; while [ ! -e '%1.go' ]; do sleep 0.05; done\n")
                                     .arg(m_dir.filePath(name)));
        };
        items << gate(QStringLiteral("g1")) << gate(QStringLiteral("g2"));
        const QString list = makeList(QStringLiteral("wide.SR"), QStringLiteral("Wide"), items);
        const QStringList tmux{QStringLiteral("-L"),
                               QStringLiteral("setupreel-test-%1").arg(QCoreApplication::applicationPid()),
                               QStringLiteral("-f"), QStringLiteral("/dev/null")};
        const auto tmuxDo = [&](const QStringList &args) {
            QProcess t;
            t.setProcessEnvironment(noDisplay(m_state));
            t.start(QStringLiteral("tmux"), tmux + args);
            t.waitForFinished(10000);
            return QString::fromUtf8(t.readAllStandardOutput());
        };
        const auto waitFor = [&](const QString &file) {
            for (int i = 0; i < 1200 && !QFile::exists(file); ++i)
                QTest::qWait(50);
            return QFile::exists(file);
        };
        // The bar's lines on the screen: each begins "[" and a cell.
        const auto bars = [&] {
            QStringList found;
            for (const QString &line :
                 tmuxDo({QStringLiteral("capture-pane"), QStringLiteral("-p")}).split(QLatin1Char('\n')))
                if (line.startsWith(QLatin1String("[#")) || line.startsWith(QLatin1String("[-"))
                    || line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1Char('-')))
                    found << line;
            return found;
        };
        tmuxDo({QStringLiteral("new-session"), QStringLiteral("-d"), QStringLiteral("-x"), QStringLiteral("80"),
                QStringLiteral("-y"), QStringLiteral("20"),
                QStringLiteral("'%1' --install '%2'; echo \"status $?\"; sleep 600").arg(program(), list)});
        QVERIFY(waitFor(m_dir.filePath(QStringLiteral("g1.started"))));
        QTest::qWait(200);
        QStringList seen = bars();
        QCOMPARE(seen.size(), 1);
        QVERIFY2(QRegularExpression(QStringLiteral("^\\[#{29}-\\] 999/1001$")).match(seen.first()).hasMatch(),
                 qPrintable(seen.first()));

        tmuxDo({QStringLiteral("resize-window"), QStringLiteral("-x"), QStringLiteral("40"), QStringLiteral("-y"),
                QStringLiteral("20")});
        QTest::qWait(300);
        QFile(m_dir.filePath(QStringLiteral("g1.go"))).open(QIODevice::WriteOnly);
        QVERIFY(waitFor(m_dir.filePath(QStringLiteral("g2.started"))));
        QTest::qWait(200);
        seen = bars();
        QCOMPARE(seen.size(), 1);
        QVERIFY2(QRegularExpression(QStringLiteral("^\\[#+-*\\] 1000/1001$")).match(seen.first()).hasMatch(),
                 qPrintable(seen.first()));
        QVERIFY(seen.first().size() < 40);

        QFile(m_dir.filePath(QStringLiteral("g2.go"))).open(QIODevice::WriteOnly);
        QString screen;
        for (int i = 0; i < 200 && !screen.contains(QLatin1String("status ")); ++i) {
            QTest::qWait(50);
            screen = tmuxDo({QStringLiteral("capture-pane"), QStringLiteral("-p")});
        }
        tmuxDo({QStringLiteral("kill-server")});
        QVERIFY2(screen.contains(QLatin1String("status 0")), qPrintable(screen));
        QVERIFY(bars().isEmpty());
    }

    // Output nobody reads any more (| head -1) kills neither the run nor
    // its setups: every program runs, the status is the run's own.
    void aClosedPipeEndsNothing()
    {
        // The first setup writes plenty after the reader has gone.
        const QStringList items{
                makeSetup(QStringLiteral("h1.sh"), 0, 0, QStringLiteral("sleep 0.5; seq 1 20000; echo h1 done >&2\n")),
                makeSetup(QStringLiteral("h2.sh")), makeSetup(QStringLiteral("h3.sh"))};
        const QString list = makeList(QStringLiteral("head.SR"), QStringLiteral("Head"), items);
        QProcess shell;
        shell.setProcessEnvironment(noDisplay(m_state));
        shell.start(QStringLiteral("bash"),
                    {QStringLiteral("-c"), QStringLiteral("\"$0\" --install \"$1\" | head -1; exit ${PIPESTATUS[0]}"),
                     program(), list});
        const Result r = run({}, &shell);
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QByteArray("Installing \"Head\": 3 program(s)\n"));
        QCOMPARE(logged().size(), 6);
        // What it wrote is kept whole, in its log beside the report.
        QFile kept(keptJsonReports().value(0));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        const QJsonArray programs = QJsonDocument::fromJson(kept.readAll())[QLatin1String("programs")].toArray();
        QFile log(programs[0][QLatin1String("output")].toString());
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray output = log.readAll();
        QVERIFY(output.startsWith("1\n2\n") && output.contains("\n20000\nh1 done\n"));
        QVERIFY(programs[1][QLatin1String("output")].isNull()); // wrote nothing
    }

    // A relative line names a file below the list's folder, wherever the
    // command is started: never one of the current folder, never one outside
    // the list's folder by "..".
    void relativeLinesOnlyFromTheListsFolder()
    {
        const QString home = m_dir.filePath(QStringLiteral("rel"));
        QVERIFY(QDir().mkpath(home + QStringLiteral("/lists/Tools")));
        QVERIFY(QDir().mkpath(home + QStringLiteral("/outside/Tools")));
        const auto setupAt = [&](const QString &file, const QString &says) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QStringLiteral("#!/bin/sh\necho '%1' >> '%2'\n").arg(says, m_log).toUtf8());
            f.close();
            QVERIFY(f.setPermissions(f.permissions() | QFileDevice::ExeOwner));
        };
        setupAt(home + QStringLiteral("/lists/Tools/tool.sh"), QStringLiteral("list tool"));
        setupAt(home + QStringLiteral("/outside/Tools/tool.sh"), QStringLiteral("current folder tool"));
        setupAt(home + QStringLiteral("/outside/evil.sh"), QStringLiteral("outside tool"));
        const QString list = home + QStringLiteral("/lists/rel.SR");
        QFile lf(list);
        QVERIFY(lf.open(QIODevice::WriteOnly));
        lf.write(">Relative\r\nTools/tool.sh\r\n../outside/evil.sh\r\n");
        lf.close();

        // From a sibling folder that holds its own Tools/tool.sh and evil.sh.
        const Result r = SetupreelRun::run({QStringLiteral("--install"), list}, noDisplay(m_state),
                                           home + QStringLiteral("/outside"));
        QCOMPARE(r.status, 1);
        QCOMPARE(logged(), QStringList{QStringLiteral("list tool")});
        QVERIFY2(r.err.contains("53\nAn error appears.\nClick on the button to continue.\nFile not found: "
                                "../outside/evil.sh"),
                 r.err.constData());
    }

    // --skip-done starts only what did not succeed with its file as it is
    // now; --status and --check --json say the same, line by line.
    void skipDoneAndStatus()
    {
        const QStringList items{makeSetup(QStringLiteral("d1.sh")), makeSetup(QStringLiteral("d2.sh"), 3),
                                makeSetup(QStringLiteral("d3.sh"))};
        const QString list = makeList(QStringLiteral("done.SR"), QStringLiteral("Done"), items);
        const QStringList skipDone{QStringLiteral("--install"), list, QStringLiteral("--skip-done")};
        const QStringList status{QStringLiteral("--status"), list};
        QCOMPARE(run(status).status, 1);
        QCOMPARE(run(skipDone).status, 1);
        const Result failed = run(status);
        QCOMPARE(failed.status, 1);
        QVERIFY2(QRegularExpression(QStringLiteral("\\n2 +failed +")).match(QString::fromUtf8(failed.out)).hasMatch(),
                 failed.out.constData());

        // The failed one is fixed (and so changed): only it runs.
        QFile::remove(m_log);
        makeSetup(QStringLiteral("d2.sh"));
        Result r = run(skipDone);
        QCOMPARE(r.status, 0);
        QCOMPARE(logged(), QStringList({"start d2.sh", "end d2.sh"}));
        QVERIFY2(lines(r.out).contains(QStringLiteral("1 succeeded, 0 failed, 0 need a restart, 2 skipped")),
                 r.out.constData());
        QCOMPARE(run(status).status, 0);

        // Once more: nothing starts.
        QFile::remove(m_log);
        r = run(skipDone);
        QCOMPARE(r.status, 0);
        QCOMPARE(logged(), QStringList());
        QVERIFY(r.out.contains("[3/3] " + items[2].toUtf8() + "\n      skipped: done before: succeeded"));
        QFile report(r.out.mid(r.out.indexOf("Report: ") + 8).trimmed().replace(".txt", ".json"));
        QVERIFY(report.open(QIODevice::ReadOnly));
        const QJsonObject kept = QJsonDocument::fromJson(report.readAll()).object();
        QCOMPARE(kept[QLatin1String("summary")][QLatin1String("skipped")].toInt(), 3);
        QCOMPARE(kept[QLatin1String("programs")][0][QLatin1String("outcome")].toString(), QStringLiteral("skipped"));

        // A file changed since it succeeded runs again.
        QFile changed(items[0]);
        QVERIFY(changed.open(QIODevice::Append));
        changed.write("# a new version\n");
        changed.close();
        const Result json = run({QStringLiteral("--status"), list, QStringLiteral("--json")});
        QCOMPARE(json.status, 1);
        const QJsonArray states = QJsonDocument::fromJson(json.out)[QLatin1String("lines")].toArray();
        QCOMPARE(states.size(), 3);
        QCOMPARE(states[0][QLatin1String("state")].toString(), QStringLiteral("changed"));
        QCOMPARE(states[1][QLatin1String("state")].toString(), QStringLiteral("done"));
        const QJsonArray checked =
                QJsonDocument::fromJson(
                        run({QStringLiteral("--check"), list, QStringLiteral("--json")}).out)[QLatin1String("lines")]
                        .toArray();
        QCOMPARE(checked.size(), 3);
        QCOMPARE(checked[0][QLatin1String("done")].toBool(), false);
        QCOMPARE(checked[2][QLatin1String("done")].toBool(), true);
        QCOMPARE(checked[2][QLatin1String("type")].toString(), QStringLiteral("shell"));
        QCOMPARE(checked[2][QLatin1String("canRun")].toBool(), true);
        QCOMPARE(checked[2][QLatin1String("lock")].toString(), QStringLiteral("unlocked"));
        QFile::remove(m_log);
        QCOMPARE(run(skipDone).status, 0);
        QCOMPARE(logged(), QStringList({"start d1.sh", "end d1.sh"}));
    }

    // Killed with SIGKILL during the program after the first ones: --resume
    // starts there, never at an earlier one again; asked once more, it has
    // nothing to resume. Killed while it has run a while, the record names it
    // running; killed at its start, after many programs that ended at once,
    // every one of those is known as ended.
    void resumeAfterAKill_data()
    {
        QTest::addColumn<int>("before");
        QTest::addColumn<bool>("atItsStart");
        QTest::newRow("while it runs") << 1 << false;
        QTest::newRow("at its start") << 40 << true;
    }
    void resumeAfterAKill()
    {
        QFETCH(int, before);
        QFETCH(bool, atItsStart);
        const QString hold = m_dir.filePath(QStringLiteral("hold-r2"));
        QFile(hold).open(QIODevice::WriteOnly);
        QStringList items;
        for (int i = 0; i < before; ++i)
            items << makeSetup(QStringLiteral("r1.sh"));
        items << makeSetup(QStringLiteral("r2.sh"), 0, 0,
                           QStringLiteral("while [ -e '%1' ]; do sleep 0.1; done\n").arg(hold))
              << makeSetup(QStringLiteral("r3.sh"));
        const QString list = makeList(QStringLiteral("resume.SR"), QStringLiteral("Resume"), items);
        const QStringList resume{QStringLiteral("--install"), list, QStringLiteral("--resume")};
        Result r = run(resume);
        QCOMPARE(r.status, 0);
        QVERIFY2(r.out.startsWith("Nothing to resume: no run of this list is recorded"), r.out.constData());

        QProcess p;
        p.setProcessEnvironment(noDisplay(m_state));
        p.start(program(), {QStringLiteral("--install"), list});
        QVERIFY(waitForLog(QStringLiteral("start r2.sh")));
        const auto runningIsKept = [&] {
            const QJsonObject status =
                    QJsonDocument::fromJson(run({QStringLiteral("--status"), list, QStringLiteral("--json")}).out)
                            .object();
            return status[QLatin1String("lines")][before][QLatin1String("last")][QLatin1String("outcome")].toString()
                   == QLatin1String("running");
        };
        if (!atItsStart)
            QTRY_VERIFY_WITH_TIMEOUT(runningIsKept(), 10000);
        ::kill(pid_t(p.processId()), SIGKILL);
        p.waitForFinished();
        // The setup the kill left running ends too.
        QFile::remove(hold);
        QVERIFY(waitForLog(QStringLiteral("end r2.sh")));

        // Not into a list whose lines are no longer that run's.
        makeList(QStringLiteral("resume.SR"), QStringLiteral("Resume"), QStringList(items).mid(1));
        r = run(resume);
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains("nothing resumed: the list's program lines changed"), r.err.constData());
        makeList(QStringLiteral("resume.SR"), QStringLiteral("Resume"), items);

        r = run(resume);
        QVERIFY2(r.status == 0, r.err.constData());
        QVERIFY2(r.out.contains(
                         QStringLiteral("was cut short at program %1 of %2").arg(before + 1).arg(before + 2).toUtf8()),
                 r.out.constData());
        QCOMPARE(logged().count(QStringLiteral("start r1.sh")), before);
        QCOMPARE(logged().count(QStringLiteral("start r2.sh")), 2);
        QCOMPARE(logged().count(QStringLiteral("end r3.sh")), 1);
        QVERIFY(lines(r.out).contains(
                QStringLiteral("2 succeeded, 0 failed, 0 need a restart, %1 skipped").arg(before)));
        r = run(resume);
        QCOMPARE(r.status, 0);
        QVERIFY2(r.out.startsWith("Nothing to resume: its last run"), r.out.constData());
        QCOMPARE(logged().count(QStringLiteral("end r3.sh")), 1);
    }

    void stopForARestart_data()
    {
        QTest::addColumn<bool>("desktop");
        QTest::newRow("desktop session") << true;
        QTest::newRow("no desktop") << false;
    }

    // --restart=stop: a native setup makes the system ask for a restart, the
    // run stops there with status 3; --resume-after-reboot leaves an entry
    // that validates, and its command line, run as after the restart, goes
    // on at the next program and removes the entry. After 3 resumes in a row
    // no entry is left.
    void stopForARestart()
    {
        QFETCH(bool, desktop);
        const QString tool = desktop ? QStringLiteral("desktop-file-validate") : QStringLiteral("systemd-analyze");
        if (QStandardPaths::findExecutable(tool).isEmpty()) {
            if (qgetenv("CI") == "true")
                QFAIL(qPrintable(tool + QStringLiteral(" is missing")));
            QSKIP(qPrintable(tool + QStringLiteral(" is missing")));
        }
        const QString flag = m_log + QStringLiteral(".reboot-required");
        const QString config = m_log + QStringLiteral(".config");
        QProcessEnvironment env = noDisplay(m_state);
        env.insert(QStringLiteral("SETUPREEL_REBOOT_REQUIRED_FILE"), flag);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        if (desktop)
            env.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("Test"));
        else
            env.remove(QStringLiteral("XDG_CURRENT_DESKTOP"));
        const auto runIn = [&](const QStringList &args, const QString &shellLine = {}) {
            QProcess p;
            p.setProcessEnvironment(env);
            p.setWorkingDirectory(m_dir.path());
            if (shellLine.isEmpty())
                p.start(program(), args);
            else
                p.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), shellLine});
            return SetupreelRun::finish(p);
        };
        const QString tag = desktop ? QStringLiteral("d") : QStringLiteral("u");
        const QString list =
                makeList(tag + QStringLiteral("-reboot.SR"), QStringLiteral("Reboot"),
                         {makeSetup(tag + QStringLiteral("1.sh"), 0, 0, QStringLiteral("touch '%1'\n").arg(flag)),
                          makeSetup(tag + QStringLiteral("2.sh")), makeSetup(tag + QStringLiteral("3.sh"))});
        const QStringList install{QStringLiteral("--install"), list, QStringLiteral("--restart=stop"),
                                  QStringLiteral("--resume-after-reboot")};
        Result r = runIn(install);
        QCOMPARE(r.status, 3);
        QCOMPARE(logged(), QStringList({"start " + tag + "1.sh", "end " + tag + "1.sh"}));
        QVERIFY2(lines(r.out).contains(QStringLiteral(
                         "1 succeeded, 0 failed, 0 need a restart, 2 not started (stopped for a restart)")),
                 r.out.constData());
        QFile json(keptJsonReports().value(0));
        QVERIFY(json.open(QIODevice::ReadOnly));
        QVERIFY(QJsonDocument::fromJson(json.readAll()).object()[QLatin1String("stoppedForRestart")].toBool());
        const QRegularExpression told(QStringLiteral("Restart the computer: the run goes on at program 2 after it "
                                                     "\\((autostart entry|systemd user unit) (\\S+)\\)\\."));
        const QRegularExpressionMatch m = told.match(QString::fromUtf8(r.err));
        QVERIFY2(m.hasMatch(), r.err.constData());
        QCOMPARE(m.captured(1), desktop ? QStringLiteral("autostart entry") : QStringLiteral("systemd user unit"));
        const QString entry = m.captured(2);
        QVERIFY2(entry.startsWith(config
                                  + (desktop ? "/autostart/setupreel-resume-" : "/systemd/user/setupreel-resume-")),
                 qPrintable(entry));

        QProcess check;
        check.setProcessChannelMode(QProcess::MergedChannels);
        check.setProcessEnvironment(env);
        if (desktop) {
            check.start(tool, {entry});
        } else {
            // A user manager's runtime folder, which a session would give it.
            const QString runtime = m_log + QStringLiteral(".runtime");
            QVERIFY(QDir().mkpath(runtime));
            QVERIFY(QFile::setPermissions(runtime,
                                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
            QProcessEnvironment checkEnv = env;
            checkEnv.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
            check.setProcessEnvironment(checkEnv);
            check.start(tool, {QStringLiteral("--user"), QStringLiteral("verify"), entry});
        }
        QVERIFY(check.waitForFinished(60000));
        QVERIFY2(check.exitCode() == 0, check.readAll().constData());
        const QString wants =
                config + QStringLiteral("/systemd/user/default.target.wants/") + QFileInfo(entry).fileName();
        QCOMPARE(QFileInfo(wants).symLinkTarget(), desktop ? QString() : entry);

        // The restart: the system's request is gone; the entry's command line runs.
        QFile entryFile(entry);
        QVERIFY(entryFile.open(QIODevice::ReadOnly));
        const QString key = desktop ? QStringLiteral("Exec=") : QStringLiteral("ExecStart=");
        QString exec;
        for (const QString &line : QString::fromUtf8(entryFile.readAll()).split(QLatin1Char('\n')))
            if (line.startsWith(key))
                exec = line.mid(key.size());
        entryFile.close();
        exec.replace(QStringLiteral("%%"), QStringLiteral("%"));
        if (desktop)
            exec.replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
        QFile::remove(flag);
        r = runIn({}, exec);
        QVERIFY2(r.status == 0, r.err.constData());
        QVERIFY2(r.out.contains("stopped for a restart of the computer at program 2 of 3"), r.out.constData());
        QCOMPARE(logged(), QStringList({"start " + tag + "1.sh", "end " + tag + "1.sh", "start " + tag + "2.sh",
                                        "end " + tag + "2.sh", "start " + tag + "3.sh", "end " + tag + "3.sh"}));
        QVERIFY(!QFileInfo::exists(entry));
        QVERIFY(!QFileInfo(wants).isSymLink());

        // The third resume in a row that stops again leaves nothing to run a fourth.
        QFile::remove(m_log);
        r = runIn(install + QStringList{QStringLiteral("--resume-count=3")});
        QCOMPARE(r.status, 3);
        QVERIFY2(r.err.contains("after 3 resumes in a row: no entry resumes it again"), r.err.constData());
        QVERIFY(!QFileInfo::exists(entry));
        QCOMPARE(logged().size(), 2);
    }

    // The demo list locked: sha256sum accepts the lock; one byte of one setup
    // changed, that setup is not started and the others are; the list
    // changed, nothing is. A line whose file is missing is never locked.
    void aLockedListRunsOnlyWhatWasLocked()
    {
        const QString demo = m_dir.filePath(QStringLiteral("locked"));
        QProcess copy;
        copy.start(QStringLiteral("cp"),
                   {QStringLiteral("-R"), QStringLiteral(SETUPREEL_BUILD_APP_DIR "/examples"), demo});
        QVERIFY(copy.waitForFinished() && copy.exitCode() == 0);
        const auto runIn = [&](const QStringList &args) { return SetupreelRun::run(args, noDisplay(m_state), demo); };
        const QString list = demo + QStringLiteral("/Demo.SR");
        const QString missing = makeList(QStringLiteral("gone.SR"), QStringLiteral("Gone"),
                                         {makeSetup(QStringLiteral("here.sh")), QStringLiteral("gone.sh /S")});
        Result r = runIn({QStringLiteral("--lock"), missing});
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains("the file of line 2 was not found: gone.sh /S"), r.err.constData());
        QVERIFY(!QFile::exists(missing + QStringLiteral(".lock")));

        r = runIn({QStringLiteral("--lock"), QStringLiteral("Demo.SR")});
        QVERIFY2(r.status == 0, r.err.constData());
        QProcess sha256sum;
        sha256sum.setWorkingDirectory(demo);
        sha256sum.start(QStringLiteral("sha256sum"),
                        {QStringLiteral("--strict"), QStringLiteral("-c"), QStringLiteral("Demo.SR.lock")});
        QVERIFY(sha256sum.waitForFinished());
        QCOMPARE(sha256sum.exitCode(), 0);
        QCOMPARE(sha256sum.readAllStandardOutput().count(": OK\n"), 3);

        // One byte of the second setup: its comment's first letter.
        QFile setup(demo + QStringLiteral("/setups/image-viewer-setup.sh"));
        QVERIFY(setup.open(QIODevice::ReadWrite));
        const QByteArray was = setup.readAll();
        QByteArray changed = was;
        changed[changed.indexOf("Demo")] = 'd';
        QVERIFY(setup.seek(0) && setup.write(changed) == was.size());
        setup.close();
        const auto sha = [](const QByteArray &bytes) {
            return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
        };
        r = runIn({QStringLiteral("--check"), QStringLiteral("Demo.SR")});
        QCOMPARE(r.status, 1);
        const QStringList table = lines(r.out);
        QVERIFY(table[0].endsWith(QLatin1String("Lock")));
        QVERIFY(table[1].endsWith(QLatin1String(" verified")) && table[3].endsWith(QLatin1String(" verified")));
        QVERIFY2(table[2].endsWith(QLatin1String(" mismatch")), qPrintable(table[2]));

        r = runIn({QStringLiteral("--install"), QStringLiteral("Demo.SR")});
        QCOMPARE(r.status, 1);
        const QString setupFile = setup.fileName();
        QVERIFY2(r.err.contains("321\nAn error appears.\nClick on the button to continue.\n"
                                "The setup file differs from the list's lock: expected SHA-256 "
                                + sha(was) + ", found " + sha(changed) + ": " + setupFile.toUtf8() + '\n'),
                 r.err.constData());
        QVERIFY(lines(r.out).contains(QStringLiteral("2 succeeded, 1 failed, 0 need a restart")));
        QVERIFY(!r.out.contains("[Image Viewer]") && r.out.contains("[Office Fonts] installed"));
        const QStringList kept = keptJsonReports();
        QCOMPARE(kept.size(), 1);
        QFile report(kept.first());
        QVERIFY(report.open(QIODevice::ReadOnly));
        const QJsonArray programs =
                QJsonDocument::fromJson(report.readAll()).object().value(QLatin1String("programs")).toArray();
        QCOMPARE(programs.size(), 3);
        for (int i : {0, 2}) {
            QCOMPARE(programs[i][QLatin1String("outcome")].toString(), QStringLiteral("succeeded"));
            QCOMPARE(programs[i][QLatin1String("integrity")].toString(), QStringLiteral("verified"));
        }
        QCOMPARE(programs[1][QLatin1String("outcome")].toString(), QStringLiteral("not-started"));
        QCOMPARE(programs[1][QLatin1String("errorNumber")].toInt(), 321);
        QCOMPARE(programs[1][QLatin1String("integrity")].toString(), QStringLiteral("mismatch"));
        QCOMPARE(programs[1][QLatin1String("sha256")].toString().toLatin1(), sha(changed));

        // The list itself: its title's last letter.
        QFile listFile(list);
        QVERIFY(listFile.open(QIODevice::ReadWrite));
        const QByteArray listBytes = listFile.readAll();
        QVERIFY(listFile.seek(listBytes.indexOf('\r') - 1) && listFile.write("O") == 1);
        listFile.close();
        r = runIn({QStringLiteral("--install"), QStringLiteral("Demo.SR")});
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains("The list changed since it was locked.\n"), r.err.constData());
        QVERIFY(!r.out.contains("[1/3]"));
        QCOMPARE(keptJsonReports().size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestCliInstall)
#include "tst_cli_install.moc"
