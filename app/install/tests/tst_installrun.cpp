// The install run with real processes, started through the real run-and-wait
// control from the build's system folder.
#include "ControlFactory.h"
#include "ScriptedPrompts.h"
#include "common/Globals.h"
#include "install/InstallRun.h"

#include <QFile>
#include <QPluginLoader>
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

QString listText(const QString &title, const QStringList &items)
{
    QString text = QLatin1Char('>') + title + QLatin1String("\r\n");
    for (const QString &item : items)
        text += item + QLatin1String("\r\n");
    return text;
}

void loadList(const QString &title, const QStringList &items)
{
    Globals::LoadedListText = listText(title, items);
    Globals::LoadedLineCount = QString::number(items.size() + 1);
}

QStringList readLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

}

class TestInstallRun : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QObject *m_control = nullptr;
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
        QObject *control = m_control;
        return [control](const QString &line) {
            int number = -1;
            QMetaObject::invokeMethod(control, "ShellAndWait", Qt::DirectConnection,
                                      Q_RETURN_ARG(int, number), Q_ARG(QString, line));
            QString description;
            QMetaObject::invokeMethod(control, "ErrorDescription", Qt::DirectConnection,
                                      Q_RETURN_ARG(QString, description));
            return RunError{number, description};
        };
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QPluginLoader loader(QStringLiteral(SETUPREEL_BUILD_SYSTEM_DIR "/ShellAndWait.ocx"));
        auto *factory = qobject_cast<ControlFactory *>(loader.instance());
        QVERIFY2(factory, qPrintable(loader.errorString()));
        m_control = factory->create(QStringLiteral("Project1.ShellAndWait"), nullptr);
        QVERIFY(m_control);
    }

    void init()
    {
        Globals::reset();
        m_log = m_dir.filePath(QStringLiteral("log-%1.txt").arg(QTest::currentTestFunction()));
        QFile::remove(m_log);
    }

    void noListLoaded()
    {
        RecordingDisplay display;
        ScriptedPrompts prompts;
        int calls = 0;
        InstallRun run(display, prompts, [&](const QString &) { ++calls; return RunError{}; });
        run.install();
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
        InstallRun run(display, prompts, realRunAndWait());
        run.install();

        QCOMPARE(readLines(m_log),
                 QStringList({"start one.sh ", "end one.sh", "start two.sh ", "end two.sh",
                              "start three.sh ", "end three.sh"}));
        QVERIFY(prompts.boxes.isEmpty());
        QCOMPARE(display.remainders,
                 QStringList({"Remainder of programs installing :   3", "Remainder of programs installing :   2",
                              "Remainder of programs installing :   1",
                              "Remainder of programs for installing  :   0"}));
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
        run.install();
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
        InstallRun run(display, prompts, realRunAndWait());
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
        run.install();
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
        InstallRun run(display, prompts, realRunAndWait());
        display.onCurrentFile = [&](const QString &text) {
            if (text.endsWith(QLatin1String("b.sh")))
                QTimer::singleShot(100, [&] { run.cancel(); });
        };
        run.install();
        QCOMPARE(display.remainders.last(), QStringLiteral("Remainder of programs for installing  :   0"));
        QCOMPARE(display.values.last(), 2);
    }

    void installWhileACancelledRunWaitsIsRefused()
    {
        const QStringList items{makeSetup("slow.sh", 0.4), makeSetup("next.sh")};
        loadList(QStringLiteral("Slow"), items);
        RecordingDisplay display;
        ScriptedPrompts prompts;
        InstallRun run(display, prompts, realRunAndWait());
        bool triedSecond = false;
        display.onCurrentFile = [&](const QString &text) {
            if (text.endsWith(QLatin1String("slow.sh")) && !triedSecond) {
                triedSecond = true;
                QTimer::singleShot(100, [&] {
                    run.cancel();
                    run.install(); // the user clicks Install again at once
                });
            }
        };
        run.install();
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
        InstallRun run(display, prompts, realRunAndWait());
        run.install();
        QCOMPARE(prompts.boxes.size(), 1);
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
        InstallRun run(display, prompts, [&](const QString &line) { seen << line; return real(line); });
        run.install();
        QCOMPARE(seen, QStringList({item})); // one string, path and switch together
        QVERIFY(prompts.boxes.isEmpty());
        QCOMPARE(readLines(m_log).first(), QStringLiteral("start with switch.sh /S /D=C:\\Program"));
    }

    void emptyAndOddLists()
    {
        // A title only: nothing starts and the run goes straight to its end.
        Globals::LoadedListText = QStringLiteral(">Nothing\r\n");
        Globals::LoadedLineCount = QStringLiteral("1");
        RecordingDisplay display;
        ScriptedPrompts prompts;
        int calls = 0;
        InstallRun run(display, prompts, [&](const QString &) { ++calls; return RunError{}; });
        run.install();
        QCOMPARE(calls, 0);
        QVERIFY(prompts.boxes.isEmpty());
        QCOMPARE(display.max, 0);
        QCOMPARE(display.remainders, QStringList({"Remainder of programs for installing  :   0"}));
        QCOMPARE(display.modes.last(), QStringLiteral("The program mode   :   Installing finished"));

        // An empty line between items is started as an empty command line.
        Globals::LoadedListText = QStringLiteral(">T\r\na\r\n\r\nb\r\n");
        Globals::LoadedLineCount = QStringLiteral("4");
        QStringList seen;
        InstallRun run2(display, prompts, [&](const QString &l) { seen << l; return RunError{}; });
        run2.install();
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
        InstallRun run(display, prompts, [&](const QString &) { ++calls; return RunError{}; });
        run.install();
        QCOMPARE(calls, 0);
        QCOMPARE(prompts.boxes.size(), 1);
        QVERIFY(prompts.boxes[0].text.contains(QLatin1String("32766")));

        // The largest list that fits runs to its end without overflowing.
        items.removeLast();
        loadList(QStringLiteral("Largest"), items);
        run.install();
        QCOMPARE(calls, InstallRun::MaxPrograms);
        QCOMPARE(display.remainders.last(), QStringLiteral("Remainder of programs for installing  :   0"));
    }
};

QTEST_GUILESS_MAIN(TestInstallRun)
#include "tst_installrun.moc"
