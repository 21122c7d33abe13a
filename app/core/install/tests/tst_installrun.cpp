// SPDX-License-Identifier: GPL-3.0-or-later
// The install run with real processes, started through the real run-and-wait
// control from the build's system folder.
#include "RunAndWaitControl.h"
#include "ScriptedPrompts.h"
#include "core/install/HostedRunAndWait.h"
#include "core/install/InstallRun.h"
#include "core/install/RunCaptions.h"
#include "core/install/RunOutcome.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

struct RecordingDisplay : InstallDisplay
{
    QStringList remainders, currentFiles, modes;
    QList<int> values;
    int max = -1;
    bool buttonsEnabled = true, cancelVisible = false, progressVisible = false;
    std::function<void(const QString &)> onCurrentFile;
    RunCaptions captions{*this}; // what the run tells, as the window shows it

    void setButtonsEnabled(bool e) override { buttonsEnabled = e; }
    void setCancelVisible(bool v) override { cancelVisible = v; }
    void setModeText(const QString &t) override { modes << t; }
    void setRemainderText(const QString &t) override { remainders << t; }
    void setCurrentFileText(const QString &t) override
    {
        currentFiles << t;
        if (onCurrentFile)
            onCurrentFile(t);
    }
    void setProgressVisible(bool v) override { progressVisible = v; }
    void setProgressMax(int m) override { max = m; }
    void setProgressValue(int v) override { values << v; }
};

// Each event the run tells, as a line.
struct EventLog : RunObserver
{
    QStringList events;

    void runStarted(int programCount) override { events << QStringLiteral("run of %1").arg(programCount); }
    void programStarting(const ProgramStart &p) override
    {
        events << QStringLiteral("start %1, attempt %2: %3 | %4 | %5")
                          .arg(p.index)
                          .arg(p.attempt)
                          .arg(p.line, p.file, p.installerType());
    }
    void waitingForAnotherInstallation(int secondsLeft) override
    {
        events << QStringLiteral("busy, again in %1 s").arg(secondsLeft);
    }
    void waitingForLeftovers(const QList<LeftoverProcess> &processes) override
    {
        for (const LeftoverProcess &p : processes)
            events << QStringLiteral("left running: %1 %2").arg(p.pid).arg(p.name);
    }
    void programEnded(const ProgramRecord &p) override
    {
        events << QStringLiteral("end: %1 %2 after %3").arg(p.line, outcomeId(p.outcome.outcome)).arg(p.attempts);
    }
    void runEnded(const RunRecord &run) override
    {
        events << QStringLiteral("run ended: %1 of %2").arg(run.programs.size()).arg(run.programCount);
    }
    void cancelPressed() override { events << QStringLiteral("cancel"); }
};

QString listText(const QString &title, const QStringList &items)
{
    QString text = QLatin1Char('>') + title + QLatin1String("\r\n");
    for (const QString &item : items)
        text += item + QLatin1String("\r\n");
    return text;
}

// The list Install runs, as the main window holds it after Load.
std::optional<LoadedList> loaded;

void loadList(const QString &title, const QStringList &items)
{
    loaded = LoadedList::fromText(QString(), listText(title, items), int(items.size()) + 1);
}

QStringList readLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// What the scripted run-and-wait answers: a program of this type that ended
// with this code.
RunResult ended(int code, const QString &type = QStringLiteral("msi"))
{
    RunResult r;
    r.exitCode = code;
    r.installerType = type;
    return r;
}

QJsonObject readJson(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).object() : QJsonObject();
}

QJsonArray reportedPrograms(const QString &path) { return readJson(path).value(QLatin1String("programs")).toArray(); }

QString runsFolder() { return qEnvironmentVariable("XDG_STATE_HOME") + QLatin1String("/setupreel/runs"); }

}

class TestInstallRun : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QObject *m_control = nullptr;
    InstallRun *m_cancelTarget = nullptr;
    QString m_log;

    // A demo setup program: logs its start, takes a moment, logs its end.
    QString makeSetup(const QString &name, double seconds = 0.15)
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(QStringLiteral("#!/bin/sh\necho \"start %1 $*\" >> '%2'\nsleep %3\necho \"end %1\" >> '%2'\n")
                        .arg(name, m_log, QString::number(seconds))
                        .toUtf8());
        f.close();
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser);
        return path;
    }

    RunAndWait realRunAndWait()
    {
        const HostedRunAndWait control(m_control);
        return [control](const QString &line) { return control.run(line); };
    }

public slots:
    void cancelNow()
    {
        if (m_cancelTarget)
            m_cancelTarget->cancel();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QString error;
        m_control = loadRunAndWaitControl(&error);
        QVERIFY2(m_control, qPrintable(error));
    }

    void init()
    {
        loaded.reset();
        // Each test's reports in a folder of its own.
        qputenv("XDG_STATE_HOME",
                m_dir.filePath(QStringLiteral("state-%1").arg(QTest::currentTestFunction())).toUtf8());
        m_log = m_dir.filePath(QStringLiteral("log-%1.txt").arg(QTest::currentTestFunction()));
        QFile::remove(m_log);
    }

    void noListLoaded()
    {
        RecordingDisplay display;
        ScriptedPrompts prompts;
        int calls = 0;
        InstallRun run(display.captions, prompts, [&](const QString &) {
            ++calls;
            return RunResult{};
        });
        run.install(loaded);
        QCOMPARE(prompts.boxes.size(), 1);
        QCOMPARE(prompts.boxes[0].text, QStringLiteral("You didn't load any list. !"));
        QCOMPARE(prompts.boxes[0].title, QStringLiteral("Installing"));
        QCOMPARE(prompts.boxes[0].icon, MsgIcon::Exclamation);
        QCOMPARE(calls, 0);
        QVERIFY(display.modes.isEmpty());
        QVERIFY(display.buttonsEnabled);
    }

    void threeProgramsRunInOrderEachAfterThePrevious()
    {
        const QStringList items{makeSetup("one.sh"), makeSetup("two.sh"), makeSetup("three.sh")};
        loadList(QStringLiteral("Tools"), items);
        RecordingDisplay display;
        ScriptedPrompts prompts;
        InstallRun run(display.captions, prompts, realRunAndWait());
        run.install(loaded);

        QCOMPARE(readLines(m_log), QStringList({"start one.sh ", "end one.sh", "start two.sh ", "end two.sh",
                                                "start three.sh ", "end three.sh"}));
        QVERIFY(prompts.boxes.isEmpty());
        QCOMPARE(
                display.remainders,
                QStringList({"Remainder of programs installing :   3", "Remainder of programs installing :   2",
                             "Remainder of programs installing :   1", "Remainder of programs for installing  :   0"}));
        QCOMPARE(display.currentFiles.first(), QStringLiteral("The current file :\r") + items[0]);
        QCOMPARE(display.currentFiles.last(), QString());
        QCOMPARE(display.values, QList<int>({0, 1, 2, 3}));
        QCOMPARE(display.max, 3);
        QCOMPARE(display.modes, QStringList({"The program mode   :   Installing your programs",
                                             "The program mode   :   Installing finished"}));
        QVERIFY(!display.progressVisible);
        QVERIFY(!display.cancelVisible);
        QVERIFY(display.buttonsEnabled);

        // The list is not consumed: a second Install starts again from the first program.
        QFile::remove(m_log);
        run.install(loaded);
        QCOMPARE(readLines(m_log).first(), QStringLiteral("start one.sh "));
        QCOMPARE(readLines(m_log).size(), 6);
    }

    void cancelDuringProgramTwoOfFive()
    {
        QStringList items;
        for (int i = 1; i <= 5; ++i)
            items << makeSetup(QStringLiteral("p%1.sh").arg(i), 0.3);
        loadList(QStringLiteral("Five"), items);
        RecordingDisplay display;
        ScriptedPrompts prompts;
        InstallRun run(display.captions, prompts, realRunAndWait());
        display.onCurrentFile = [&](const QString &text) {
            if (text.endsWith(QLatin1String("p2.sh")))
                QTimer::singleShot(100, [&] {
                    QVERIFY(run.isRunning());
                    run.cancel();
                    // Buttons come back at once while program 2 still runs.
                    QVERIFY(display.buttonsEnabled);
                    QVERIFY(!display.cancelVisible);
                });
        };
        run.install(loaded);
        QCOMPARE(readLines(m_log), QStringList({"start p1.sh ", "end p1.sh", "start p2.sh ", "end p2.sh"}));
        QCOMPARE(display.remainders.last(), QStringLiteral("Remainder of programs for installing  :   3"));
        QCOMPARE(display.values.last(), 2);
        QCOMPARE(display.modes.last(), QStringLiteral("The program mode   :   Installing finished"));
    }

    void cancelDuringLastProgramLooksLikeACompleteRun()
    {
        const QStringList items{makeSetup("a.sh"), makeSetup("b.sh", 0.3)};
        loadList(QStringLiteral("Two"), items);
        RecordingDisplay display;
        ScriptedPrompts prompts;
        InstallRun run(display.captions, prompts, realRunAndWait());
        display.onCurrentFile = [&](const QString &text) {
            if (text.endsWith(QLatin1String("b.sh")))
                QTimer::singleShot(100, [&] { run.cancel(); });
        };
        run.install(loaded);
        QCOMPARE(display.remainders.last(), QStringLiteral("Remainder of programs for installing  :   0"));
        QCOMPARE(display.values.last(), 2);
    }

    void installWhileACancelledRunWaitsIsRefused()
    {
        const QStringList items{makeSetup("slow.sh", 0.4), makeSetup("next.sh")};
        loadList(QStringLiteral("Slow"), items);
        RecordingDisplay display;
        ScriptedPrompts prompts;
        InstallRun run(display.captions, prompts, realRunAndWait());
        bool triedSecond = false;
        display.onCurrentFile = [&](const QString &text) {
            if (text.endsWith(QLatin1String("slow.sh")) && !triedSecond) {
                triedSecond = true;
                QTimer::singleShot(100, [&] {
                    run.cancel();
                    run.install(loaded); // the user clicks Install again at once
                });
            }
        };
        run.install(loaded);
        QCOMPARE(readLines(m_log), QStringList({"start slow.sh ", "end slow.sh"}));
        QCOMPARE(prompts.boxes.size(), 1);
        QCOMPARE(prompts.boxes[0].title, QStringLiteral("Installing"));
        QVERIFY(!run.isRunning());
    }

    void missingProgramIsReportedAndTheRunGoesOn()
    {
        const QString missing = m_dir.filePath(QStringLiteral("no such setup.exe"));
        const QStringList items{makeSetup("first.sh"), missing, makeSetup("third.sh")};
        loadList(QStringLiteral("Gap"), items);
        RecordingDisplay display;
        ScriptedPrompts prompts;
        InstallRun run(display.captions, prompts, realRunAndWait());
        run.install(loaded);
        // The error box during the run, then the summary at its end.
        QCOMPARE(prompts.boxes.size(), 2);
        QCOMPARE(prompts.boxes[1].title, QStringLiteral("Installing"));
        QVERIFY(prompts.boxes[1].text.contains(missing + QStringLiteral(": not started: error 53")));
        const QStringList lines = prompts.boxes[0].text.split(QLatin1Char('\r'));
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[0], QStringLiteral("53"));
        QCOMPARE(lines[1], QStringLiteral("An error appears."));
        QCOMPARE(lines[2], QStringLiteral("Click on the button to continue."));
        QVERIFY2(!lines[3].isEmpty(), "the description says what went wrong");
        QCOMPARE(prompts.boxes[0].title, QStringLiteral("Error"));
        QCOMPARE(prompts.boxes[0].icon, MsgIcon::Exclamation);
        QCOMPARE(readLines(m_log), QStringList({"start first.sh ", "end first.sh", "start third.sh ", "end third.sh"}));
        QCOMPARE(display.values, QList<int>({0, 1, 2, 3}));
        QCOMPARE(display.remainders.last(), QStringLiteral("Remainder of programs for installing  :   0"));
    }

    void switchArrivesAsArguments()
    {
        const QString setup = makeSetup("with switch.sh");
        const QString item = setup + QStringLiteral(" /S /D=C:\\Program");
        loadList(QStringLiteral("Switch"), {item});
        RecordingDisplay display;
        ScriptedPrompts prompts;
        QStringList seen;
        RunAndWait real = realRunAndWait();
        InstallRun run(display.captions, prompts, [&](const QString &line) {
            seen << line;
            return real(line);
        });
        run.install(loaded);
        QCOMPARE(seen, QStringList({item})); // one string, path and switch together
        QVERIFY(prompts.boxes.isEmpty());
        QCOMPARE(readLines(m_log).first(), QStringLiteral("start with switch.sh /S /D=C:\\Program"));
    }

    void emptyAndOddLists()
    {
        // A title only: nothing starts and the run goes straight to its end.
        loaded = LoadedList::fromText(QString(), QStringLiteral(">Nothing\r\n"), 1);
        RecordingDisplay display;
        ScriptedPrompts prompts;
        int calls = 0;
        InstallRun run(display.captions, prompts, [&](const QString &) {
            ++calls;
            return RunResult{};
        });
        run.install(loaded);
        QCOMPARE(calls, 0);
        QVERIFY(prompts.boxes.isEmpty());
        QCOMPARE(display.max, 0);
        QCOMPARE(display.remainders, QStringList({"Remainder of programs for installing  :   0"}));
        QCOMPARE(display.modes.last(), QStringLiteral("The program mode   :   Installing finished"));

        // An empty line between items is started as an empty command line.
        loaded = LoadedList::fromText(QString(), QStringLiteral(">T\r\na\r\n\r\nb\r\n"), 4);
        QStringList seen;
        InstallRun run2(display.captions, prompts, [&](const QString &l) {
            seen << l;
            return RunResult{};
        });
        run2.install(loaded);
        QCOMPARE(seen, QStringList({"a", "", "b"}));
    }

    void listTooLongForTheCounterIsRefused()
    {
        QStringList items;
        for (int i = 0; i < InstallRun::MaxPrograms + 1; ++i)
            items << QStringLiteral("x");
        loadList(QStringLiteral("Huge"), items);
        RecordingDisplay display;
        ScriptedPrompts prompts;
        int calls = 0;
        InstallRun run(display.captions, prompts, [&](const QString &) {
            ++calls;
            return RunResult{};
        });
        run.install(loaded);
        QCOMPARE(calls, 0);
        QCOMPARE(prompts.boxes.size(), 1);
        QVERIFY(prompts.boxes[0].text.contains(QLatin1String("32766")));

        // The largest list that fits runs to its end without overflowing.
        items.removeLast();
        loadList(QStringLiteral("Largest"), items);
        run.install(loaded);
        QCOMPARE(calls, InstallRun::MaxPrograms);
        QCOMPARE(display.remainders.last(), QStringLiteral("Remainder of programs for installing  :   0"));
    }

    // Real programs: their codes and signals reach the report, and the run's
    // end says what went wrong.
    void realResultsAreReportedAndSaidAtTheEnd()
    {
        const QString ok = makeSetup("ok.sh", 0.2);
        const QString fail = m_dir.filePath(QStringLiteral("fail.sh"));
        const QString killed = m_dir.filePath(QStringLiteral("killed.sh"));
        for (const auto &[path, body] : {std::pair{fail, QByteArray("#!/bin/sh\nsleep 0.2\nexit 1\n")},
                                         std::pair{killed, QByteArray("#!/bin/sh\nkill -KILL $$\n")}}) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(body);
            f.close();
            f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
        }
        loadList(QStringLiteral("Mixed"), {ok, fail + QStringLiteral(" /S"), killed});
        RecordingDisplay display;
        ScriptedPrompts prompts;
        InstallRun run(display.captions, prompts, realRunAndWait());
        loaded->file = QStringLiteral("/lists/mixed.SR");
        run.install(loaded);

        QVERIFY(run.reportJsonPath().startsWith(runsFolder() + QLatin1Char('/')));
        const QJsonObject report = readJson(run.reportJsonPath());
        QCOMPARE(report.value(QLatin1String("listFile")).toString(), QStringLiteral("/lists/mixed.SR"));
        QCOMPARE(report.value(QLatin1String("title")).toString(), QStringLiteral("Mixed"));
        QVERIFY(!report.value(QLatin1String("host")).toString().isEmpty());
        QVERIFY(report.value(QLatin1String("finished")).toBool());
        const QJsonArray programs = report.value(QLatin1String("programs")).toArray();
        QCOMPARE(programs.size(), 3);
        QCOMPARE(programs[0][QLatin1String("outcome")].toString(), QStringLiteral("succeeded"));
        QCOMPARE(programs[0][QLatin1String("exitCode")].toInt(-1), 0);
        QCOMPARE(programs[1][QLatin1String("line")].toString(), fail + QStringLiteral(" /S"));
        QCOMPARE(programs[1][QLatin1String("outcome")].toString(), QStringLiteral("failed"));
        QCOMPARE(programs[1][QLatin1String("exitCode")].toInt(), 1);
        QVERIFY(!programs[1][QLatin1String("start")].toString().isEmpty());
        const bool tellsSignals = m_control->metaObject()->indexOfMethod("ExitSignal()") >= 0;
        if (tellsSignals) {
            QCOMPARE(programs[2][QLatin1String("outcome")].toString(), QStringLiteral("crashed"));
            QCOMPARE(programs[2][QLatin1String("signal")].toInt(), 9);
        } else {
            qWarning("this ShellAndWait.ocx has no ExitSignal: a killed program shows as 128 + signal");
            QCOMPARE(programs[2][QLatin1String("exitCode")].toInt(), 128 + 9);
        }

        QCOMPARE(prompts.boxes.size(), 1);
        const ScriptedPrompts::Box &box = prompts.boxes[0];
        QCOMPARE(box.title, QStringLiteral("Installing"));
        QCOMPARE(box.icon, MsgIcon::Exclamation);
        const QStringList lines = box.text.split(QLatin1Char('\r'));
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[0], QStringLiteral("Not every program was installed:"));
        QCOMPARE(lines[1], fail + QStringLiteral(" /S: failed (exit code 1)"));
        QVERIFY2(
                lines[2].startsWith(killed + (tellsSignals ? QStringLiteral(": crashed") : QStringLiteral(": failed"))),
                qPrintable(lines[2]));
        QCOMPARE(lines[3], QStringLiteral("The report of this run: ") + run.reportTextPath());
        QFile text(run.reportTextPath());
        QVERIFY(text.open(QIODevice::ReadOnly));
        QVERIFY(QString::fromUtf8(text.readAll()).contains(QStringLiteral("failed (exit code 1)")));
        // The window ends as after any run.
        QCOMPARE(display.modes.last(), QStringLiteral("The program mode   :   Installing finished"));
        QCOMPARE(display.remainders.last(), QStringLiteral("Remainder of programs for installing  :   0"));
    }

    void theEndMessage_data()
    {
        QTest::addColumn<QList<int>>("codes"); // -53: not started with error 53; -1: code unknown
        QTest::addColumn<int>("boxes");
        QTest::addColumn<int>("icon");
        QTest::addColumn<QStringList>("lines"); // the summary's lines, %1 for the report
        const QString report = QStringLiteral("The report of this run: %1");
        QTest::newRow("all succeeded") << QList<int>{0, 0} << 0 << 0 << QStringList();
        QTest::newRow("a restart only")
                << QList<int>{0, 3010, 1641} << 1 << int(MsgIcon::Information)
                << QStringList{"A restart is needed to finish installing:",
                               "p2: succeeded, restart needed (exit code 3010): a restart is needed to finish the "
                               "installation",
                               "p3: succeeded, restart needed (exit code 1641): the installer started a restart",
                               report};
        QTest::newRow("a restart and a cancel")
                << QList<int>{3010, 1602} << 1 << int(MsgIcon::Exclamation)
                << QStringList{"Not every program was installed:",
                               "p1: succeeded, restart needed (exit code 3010): a restart is needed to finish the "
                               "installation",
                               "p2: cancelled by the user (exit code 1602): cancelled by the user", report};
        QTest::newRow("not started") << QList<int>{-53, 0} << 2 << int(MsgIcon::Exclamation)
                                     << QStringList{"Not every program was installed:",
                                                    "p1: not started: error 53, File not found: p1", report};
        QTest::newRow("exit code unknown")
                << QList<int>{-1} << 1 << int(MsgIcon::Exclamation)
                << QStringList{"Not every program was installed:", "p1: ended, exit code unknown", report};
    }

    void theEndMessage()
    {
        QFETCH(QList<int>, codes);
        QFETCH(int, boxes);
        QFETCH(int, icon);
        QFETCH(QStringList, lines);
        QStringList items;
        for (int i = 1; i <= codes.size(); ++i)
            items << QStringLiteral("p%1").arg(i);
        loadList(QStringLiteral("Scripted"), items);
        RecordingDisplay display;
        ScriptedPrompts prompts;
        int errorBoxesBeforeEnd = -1;
        InstallRun run(display.captions, prompts, [&](const QString &line) {
            const int code = codes.at(line.mid(1).toInt() - 1);
            if (code < -1) {
                RunResult r;
                r.number = -code;
                r.description = QStringLiteral("File not found: ") + line;
                return r;
            }
            RunResult r = ended(code);
            r.exitCodeKnown = code != -1; // -1 here: the control could not read it
            return r;
        });
        display.onCurrentFile = [&](const QString &text) {
            if (text.isEmpty()) // steps 6 to 10 run before the summary
                errorBoxesBeforeEnd = int(prompts.boxes.size());
        };
        run.install(loaded);
        QCOMPARE(prompts.boxes.size(), boxes);
        if (!boxes)
            return;
        QCOMPARE(errorBoxesBeforeEnd, boxes - 1);
        const ScriptedPrompts::Box &box = prompts.boxes.last();
        QCOMPARE(box.title, QStringLiteral("Installing"));
        QCOMPARE(int(box.icon), icon);
        lines.last() = lines.last().arg(run.reportTextPath());
        QCOMPARE(box.text.split(QLatin1Char('\r')), lines);
        if (boxes == 2)
            QCOMPARE(prompts.boxes[0].title, QStringLiteral("Error"));
    }

    void manyFailuresAreCutAfterTwenty()
    {
        QStringList items;
        for (int i = 1; i <= 25; ++i)
            items << QStringLiteral("setup%1.exe").arg(i);
        loadList(QStringLiteral("Many"), items);
        RecordingDisplay display;
        ScriptedPrompts prompts;
        InstallRun run(display.captions, prompts, [](const QString &) { return ended(1603); });
        run.install(loaded);
        QCOMPARE(prompts.boxes.size(), 1);
        const QStringList lines = prompts.boxes[0].text.split(QLatin1Char('\r'));
        QCOMPARE(lines.size(), 1 + InstallRun::MaxNewsLines + 2);
        QCOMPARE(lines[1], QStringLiteral("setup1.exe: failed (exit code 1603): a fatal error during installation"));
        QVERIFY(lines[20].startsWith(QLatin1String("setup20.exe: ")));
        QCOMPARE(lines[21], QStringLiteral("and 5 more"));
        // The report holds all of them.
        QCOMPARE(reportedPrograms(run.reportJsonPath()).size(), 25);
    }

    void aReportThatCannotBeWrittenIsSaid()
    {
        qputenv("XDG_STATE_HOME", "/proc/setupreel-no-such-place");
        loadList(QStringLiteral("Nowhere"), {QStringLiteral("a")});
        RecordingDisplay display;
        ScriptedPrompts prompts;
        int code = 1603;
        InstallRun run(display.captions, prompts, [&](const QString &) { return ended(code); });
        run.install(loaded);
        // Said with the failures, and alone when every program succeeded.
        code = 0;
        run.install(loaded);
        QCOMPARE(prompts.boxes.size(), 2);
        for (const auto &box : prompts.boxes)
            QVERIFY2(box.text.contains(QLatin1String("The report of this run could not be written: /proc/")),
                     qPrintable(box.text));
    }

    // 1618: the same program is started again after the interval, with the
    // wait shown under the current file, until it gets through.
    void anotherInstallationInProgressIsTriedAgain()
    {
        loadList(QStringLiteral("Busy"), {QStringLiteral("busy.msi /qn"), QStringLiteral("next.msi")});
        RecordingDisplay display;
        ScriptedPrompts prompts;
        QStringList started;
        QList<qint64> startedAt;
        QElapsedTimer clock;
        clock.start();
        InstallRun run(display.captions, prompts, [&](const QString &line) {
            started << line;
            startedAt << clock.elapsed();
            return ended(line.startsWith(QLatin1String("busy")) && started.size() < 3 ? 1618 : 0);
        });
        run.setRetryTiming(300, 60000);
        bool cancelShownDuringWait = false;
        display.onCurrentFile = [&](const QString &text) {
            if (text.contains(QLatin1String("Another installation")))
                cancelShownDuringWait = display.cancelVisible && !display.buttonsEnabled;
        };
        run.install(loaded);

        QCOMPARE(started, QStringList({"busy.msi /qn", "busy.msi /qn", "busy.msi /qn", "next.msi"}));
        QVERIFY2(startedAt[1] - startedAt[0] >= 280 && startedAt[2] - startedAt[1] >= 280,
                 "started again only after the interval");
        QVERIFY(display.currentFiles.contains(QStringLiteral(
                "The current file :\rbusy.msi /qn\rAnother installation is in progress: trying again in 1 s")));
        // Back to the two lines when it is started again.
        QCOMPARE(display.currentFiles.count(QStringLiteral("The current file :\rbusy.msi /qn")), 3);
        QVERIFY(cancelShownDuringWait);
        QVERIFY(prompts.boxes.isEmpty());
        const QJsonArray programs = reportedPrograms(run.reportJsonPath());
        QCOMPARE(programs[0][QLatin1String("attempts")].toInt(), 3);
        QCOMPARE(programs[0][QLatin1String("outcome")].toString(), QStringLiteral("succeeded"));
        QCOMPARE(display.values, QList<int>({0, 1, 2}));
    }

    void anotherInstallationInProgressGivesUpAtTheLimit()
    {
        loadList(QStringLiteral("Busy"), {QStringLiteral("busy.exe")});
        RecordingDisplay display;
        ScriptedPrompts prompts;
        int calls = 0;
        InstallRun run(display.captions, prompts, [&](const QString &) {
            ++calls;
            return ended(1618, QStringLiteral("nsis"));
        });
        run.setRetryTiming(100, 350);
        QElapsedTimer clock;
        clock.start();
        run.install(loaded);
        QVERIFY2(calls >= 3 && calls <= 4, qPrintable(QString::number(calls)));
        QVERIFY(clock.elapsed() < 2000);
        QCOMPARE(prompts.boxes.size(), 1);
        QCOMPARE(prompts.boxes[0].icon, MsgIcon::Exclamation);
        QCOMPARE(prompts.boxes[0].text.split(QLatin1Char('\r')).value(1),
                 QStringLiteral("busy.exe: another installation in progress (exit code 1618): another installation is "
                                "in progress"));
        QCOMPARE(reportedPrograms(run.reportJsonPath())[0][QLatin1String("attempts")].toInt(), calls);
    }

    void cancelEndsTheWaitForAnotherInstallation()
    {
        loadList(QStringLiteral("Busy"), {QStringLiteral("busy.msi"), QStringLiteral("never.msi")});
        RecordingDisplay display;
        ScriptedPrompts prompts;
        QStringList started;
        InstallRun run(display.captions, prompts, [&](const QString &line) {
            started << line;
            return ended(1618);
        });
        run.setRetryTiming(10000, 600000);
        display.onCurrentFile = [&](const QString &text) {
            if (text.contains(QLatin1String("Another installation")))
                QTimer::singleShot(50, [&] { run.cancel(); });
        };
        QElapsedTimer clock;
        clock.start();
        run.install(loaded);
        QVERIFY2(clock.elapsed() < 5000, "Cancel ended the wait at once");
        QCOMPARE(started, QStringList({"busy.msi"}));
        QCOMPARE(display.remainders.last(), QStringLiteral("Remainder of programs for installing  :   1"));
        QCOMPARE(prompts.boxes.size(), 1);
        const QStringList lines = prompts.boxes[0].text.split(QLatin1Char('\r'));
        QCOMPARE(lines.value(1), QStringLiteral("busy.msi: another installation in progress (exit code 1618): another "
                                                "installation is in progress"));
        QCOMPARE(lines.value(2),
                 QStringLiteral("1 more program(s) of the list were not started: the run was cancelled."));
        QVERIFY(readJson(run.reportJsonPath()).value(QLatin1String("cancelled")).toBool());
    }

    // Cancel while the control waits only for processes an ended setup left
    // running stops that wait; Cancel pressed earlier stops it when it begins.
    void cancelStopsTheWaitForLeftBehindProcesses()
    {
        loadList(QStringLiteral("Leftovers"),
                 {QStringLiteral("boot.exe"), QStringLiteral("late.exe"), QStringLiteral("never.exe")});
        RecordingDisplay display;
        ScriptedPrompts prompts;
        InstallRun *runPtr = nullptr;
        bool waitingForLeftovers = false;
        QEventLoop *leftoverWait = nullptr;
        int stops = 0;
        // Like the control: the program itself ends at once (boot) or after a
        // moment (late), then its helper is awaited until StopWaiting.
        InstallRun run(display.captions, prompts, [&](const QString &line) {
            QEventLoop loop;
            if (line == QLatin1String("late.exe")) {
                QTimer::singleShot(200, &loop, &QEventLoop::quit);
                loop.exec();
            }
            waitingForLeftovers = true;
            leftoverWait = &loop;
            runPtr->leftoversRemain(
                    {LeftoverProcess{4242, QStringLiteral("helper.exe"), QStringLiteral("helper.exe")}});
            if (waitingForLeftovers)
                loop.exec();
            leftoverWait = nullptr;
            RunResult r = ended(0, QStringLiteral("windows"));
            r.leftBehind = {QStringLiteral("4242 helper.exe")};
            r.wineRestart = QStringLiteral("Wine restarted the prefix");
            return r;
        });
        runPtr = &run;
        run.setStopWaiting([&] {
            if (!waitingForLeftovers)
                return false;
            ++stops;
            waitingForLeftovers = false;
            leftoverWait->quit();
            return true;
        });
        // boot.exe: Cancel while only its helper runs. late.exe is not reached.
        display.onCurrentFile = [&](const QString &text) {
            if (text.endsWith(QLatin1String("boot.exe")))
                QTimer::singleShot(100, [&] { run.cancel(); });
        };
        run.install(loaded);
        QCOMPARE(stops, 1);
        QCOMPARE(display.remainders.last(), QStringLiteral("Remainder of programs for installing  :   2"));
        QCOMPARE(reportedPrograms(run.reportJsonPath())[0][QLatin1String("leftBehind")].toArray().at(0).toString(),
                 QStringLiteral("4242 helper.exe"));
        QCOMPARE(reportedPrograms(run.reportJsonPath())[0][QLatin1String("wineRestart")].toString(),
                 QStringLiteral("Wine restarted the prefix"));

        // Cancel while late.exe itself still runs: its helper is not waited for.
        loadList(QStringLiteral("Late"), {QStringLiteral("late.exe"), QStringLiteral("never.exe")});
        stops = 0;
        display.onCurrentFile = [&](const QString &text) {
            if (text.endsWith(QLatin1String("late.exe")))
                QTimer::singleShot(50, [&] { run.cancel(); });
        };
        QElapsedTimer clock;
        clock.start();
        run.install(loaded);
        QCOMPARE(stops, 1);
        QVERIFY(clock.elapsed() < 5000);
        QCOMPARE(display.remainders.last(), QStringLiteral("Remainder of programs for installing  :   1"));
    }

    // What the run tells its observer, in order, of real programs: one that
    // fails, one that says another installation is in progress once, one
    // that leaves a helper running for a moment.
    void theObserverHearsEachStepInOrder()
    {
        const QString fail = m_dir.filePath(QStringLiteral("fail.sh"));
        const QString boot = m_dir.filePath(QStringLiteral("boot.sh"));
        const QString pidFile = m_dir.filePath(QStringLiteral("boot.pid"));
        for (const auto &[path, body] :
             {std::pair{fail, QByteArray("#!/bin/sh\nexit 1\n")},
              std::pair{boot,
                        QStringLiteral("#!/bin/sh\nsleep 0.5 &\necho $! > '%1'\nsleep 0.1\n").arg(pidFile).toUtf8()}}) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(body);
            f.close();
            f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
        }
        const QString busy = makeSetup("busy.sh", 0);
        loadList(QStringLiteral("Events"), {fail, busy + QStringLiteral(" /q"), boot});
        EventLog log;
        ScriptedPrompts prompts;
        InstallRun run(log, prompts, [&, real = realRunAndWait()](const QString &line) {
            RunResult r = real(line);
            // A script cannot end with 1618: the first start of busy.sh says it as a Windows setup would.
            if (line.startsWith(busy) && readLines(m_log).size() == 2) {
                r.exitCode = 1618;
                r.installerType = QStringLiteral("msi");
            }
            return r;
        });
        run.setRetryTiming(100, 5000);
        const HostedRunAndWait control(m_control);
        const QObject relay; // while this run lives
        control.onWaitingForLeftovers(&relay, [&](const QList<LeftoverProcess> &p) { run.leftoversRemain(p); });
        run.install(loaded);

        QFile pid(pidFile);
        QVERIFY(pid.open(QIODevice::ReadOnly));
        const QString helper = QString::fromLatin1(pid.readAll().trimmed());
        QCOMPARE(log.events, QStringList({
                                     "run of 3",
                                     "start 1, attempt 1: " + fail + " | " + fail + " | shell",
                                     "end: " + fail + " failed after 1",
                                     "start 2, attempt 1: " + busy + " /q | " + busy + " | shell",
                                     "busy, again in 1 s",
                                     "start 2, attempt 2: " + busy + " /q | " + busy + " | shell",
                                     "end: " + busy + " /q succeeded after 2",
                                     "start 3, attempt 1: " + boot + " | " + boot + " | shell",
                                     "left running: " + helper + " sleep",
                                     "end: " + boot + " succeeded after 1",
                                     "run ended: 3 of 3",
                             }));
    }

    // The real control, when it can tell left-behind processes apart.
    void cancelLeavesARealHelperRunning()
    {
        if (!qobject_cast<RunAndWaitControl *>(m_control))
            QSKIP("this ShellAndWait.ocx does not wait for processes a setup leaves behind");
        const QString pidFile = m_dir.filePath(QStringLiteral("helper.pid"));
        const QString boot = m_dir.filePath(QStringLiteral("boot.sh"));
        QFile f(boot);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("#!/bin/sh\nsleep 30 &\necho $! > '%1'\nexit 0\n").arg(pidFile).toUtf8());
        f.close();
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
        loadList(QStringLiteral("Boot"), {boot, makeSetup("after.sh")});
        RecordingDisplay display;
        ScriptedPrompts prompts;
        InstallRun run(display.captions, prompts, realRunAndWait());
        const HostedRunAndWait control(m_control);
        run.setStopWaiting([control] { return control.stopWaiting(); });
        QMetaObject::Connection c =
                control.onWaitingForLeftovers(this, [this](const QList<LeftoverProcess> &) { cancelNow(); });
        m_cancelTarget = &run;
        QElapsedTimer clock;
        clock.start();
        run.install(loaded);
        disconnect(c);
        QVERIFY2(clock.elapsed() < 10000, "the helper's 30 s were not waited for");
        QVERIFY(!QFile::exists(m_log)); // after.sh never started
        const QJsonArray programs = reportedPrograms(run.reportJsonPath());
        QCOMPARE(programs.size(), 1);
        QVERIFY(!programs[0][QLatin1String("leftBehind")].toArray().isEmpty());
        QFile pid(pidFile);
        QVERIFY(pid.open(QIODevice::ReadOnly));
        const QByteArray helper = pid.readAll().trimmed();
        QVERIFY2(QFile::exists(QStringLiteral("/proc/") + QString::fromLatin1(helper)), "the helper goes on running");
        QProcess::execute(QStringLiteral("kill"), {QString::fromLatin1(helper)});

        // Given up on while the program itself runs: no code, and it runs on.
        QVERIFY(!control.abandon());
        QTimer::singleShot(200, [control] { control.abandon(); });
        const RunResult r = control.run(QStringLiteral("/bin/sleep 30"));
        QVERIFY(r.abandoned);
        QVERIFY(!r.exitCodeKnown);
        QCOMPARE(r.leftBehind.size(), 1);
        const QString sleeper = r.leftBehind.value(0).section(QLatin1Char(' '), 0, 0);
        QCOMPARE(r.leftBehind.value(0), sleeper + QStringLiteral(" /bin/sleep 30"));
        QVERIFY(QFile::exists(QStringLiteral("/proc/") + sleeper));
        QProcess::execute(QStringLiteral("kill"), {sleeper});
    }
};

QTEST_GUILESS_MAIN(TestInstallRun)
#include "tst_installrun.moc"
