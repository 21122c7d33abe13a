// SPDX-License-Identifier: GPL-3.0-or-later
// The main window driven as a user would: clicks on its real widgets, dialog
// answers scripted, the real control libraries from the build's system folder.
#include "ProgressBarControl.h"
#include "ScriptedPrompts.h"
#include "WindowTestFixture.h"
#include "core/common/Folders.h"
#include "core/common/Globals.h"
#include "core/common/Seams.h"
#include "core/lists/ListFile.h"
#include "core/lists/ListLock.h"
#include "windows/install/Dialog1.h"
#include "windows/install/Form2.h"
#include "windows/startup/frmAbout.h"
#include "windows/ui/Program.h"
#include "windows/ui/Windows.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <QtTest>

// What the window shows when a box comes up during a run.
struct Seen
{
    QString mode;
    bool barVisible = true;
    bool installEnabled = false;
};

class TestForm2 : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    WindowTestFixture m_windows;
    ScriptedPrompts *m_prompts = nullptr; // m_windows' while a test runs

    QString writeFile(const QString &name, const QByteArray &bytes, bool executable = false)
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        f.close();
        if (executable)
            f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
        return path;
    }

    QString makeSetup(const QString &name, const QString &log, double seconds)
    {
        return writeFile(name,
                         QStringLiteral("#!/bin/sh\necho \"%1 $*\" >> '%2'\nsleep %3\n")
                                 .arg(name, log, QString::number(seconds))
                                 .toUtf8(),
                         true);
    }

    static void click(QWidget *w) { QTest::mouseClick(w, Qt::LeftButton); }

    // A setup program that logs the path it was started by and its arguments.
    QString makeReporter(const QString &name, const QString &log, double seconds = 0)
    {
        return writeFile(name,
                         QStringLiteral("#!/bin/sh\nprintf '%s|%s\\n' \"$0\" \"$*\" >> '%1'\nsleep %2\n")
                                 .arg(log, QString::number(seconds))
                                 .toUtf8(),
                         true);
    }

    static QString readText(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    // The two ways a close comes from outside: the widget's and the window
    // system's (as the window manager's close button sends it).
    static bool closeByFrame(Form2 *w, bool throughWindow)
    {
        return throughWindow ? w->windowHandle()->close() : w->close();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // The runs' reports, and what the demo setups install, stay in here.
        qputenv("XDG_STATE_HOME", m_dir.filePath(QStringLiteral("state")).toUtf8());
        qputenv("SETUPREEL_DEMO_DIR", m_dir.filePath(QStringLiteral("demo")).toUtf8());
        qputenv("WINEPREFIX", QByteArrayLiteral(SETUPREEL_TEST_WINEPREFIX));
        qputenv("WINEDEBUG", "-all");
    }

    void init() { m_prompts = m_windows.setUp(); }
    void cleanup() { m_windows.tearDown(); }

    void opensAsDesigned()
    {
        Form2 *w = Windows::show<Form2>();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QCOMPARE(w->windowTitle(), QStringLiteral("Setupreel"));
        QCOMPARE(w->size(), QSize(607, 413));
        QVERIFY2(!w->background().isNull(), "Top Menu2.jpg is in the application folder");
        for (PictureButton *b : {w->Image1, w->Image2, w->Image3, w->Image4, w->Image5})
            QVERIFY2(!b->picture().isNull(), qPrintable(b->text()));
        QVERIFY(w->Image1->isVisible() && w->Image4->isVisible());
        QVERIFY(!w->Image5->isVisible());
        QCOMPARE(w->Image3->geometry(), QRect(440, 128, 150, 50));
        QCOMPARE(w->Image3->toolTip(), QStringLiteral("Load your list of setup files for installing"));
        QCOMPARE(w->Label8->toolTip(), QStringLiteral("Minimize"));
        QVERIFY2(w->PB1, "the progress bar comes from COMCTL32.OCX");
        QVERIFY(!w->PB1->widget()->isVisible());
        // Install's and Load's libraries wait for their first use.
        QVERIFY(!w->ShellAndWait1 && !w->CD1);
        QVERIFY2(w->runAndWaitControl(), "the run-and-wait control comes from ShellAndWait.ocx");
        QVERIFY2(w->commonDialog(), "the file dialog comes from COMDLG32.OCX");
        QCOMPARE(w->Label1->caption(), QString());
    }

    void installWithoutAListSaysSo()
    {
        Form2 *w = Windows::show<Form2>();
        click(w->Image4);
        QCOMPARE(m_prompts->boxes.size(), 1);
        QCOMPARE(m_prompts->boxes[0].text, QStringLiteral("You didn't load any list. !"));
        QVERIFY(w->Image4->isEnabled());
    }

    void loadThenInstallTheWholeList()
    {
        const QString log = m_dir.filePath(QStringLiteral("form2.log"));
        QFile::remove(log);
        QStringList items;
        for (int i = 1; i <= 3; ++i)
            items << makeSetup(QStringLiteral("s%1.sh").arg(i), log, 0.1);
        items[1] += QStringLiteral(" /quiet");
        QByteArray bytes = ">Tools\r\n";
        for (const QString &item : items)
            bytes += item.toUtf8() + "\r\n";
        const QString list = writeFile(QStringLiteral("tools.SR"), bytes);

        Form2 *w = Windows::show<Form2>();
        const QPixmap before = w->background();
        m_prompts->files.enqueue(list);
        click(w->Image3);
        QVERIFY(m_prompts->boxes.isEmpty());
        QCOMPARE(m_prompts->dialogFilters.last(), QStringLiteral("Setupreel [*.SR]|*.SR"));
        QCOMPARE(w->Label1->caption(), QStringLiteral("Title of your list :    Tools"));
        QCOMPARE(w->Label2->caption(), QStringLiteral("Number of programs in the list :   3"));
        QCOMPARE(Globals::LoadedLineCount, QStringLiteral("4"));
        QVERIFY(w->background().cacheKey() != before.cacheKey());
        QVERIFY(!w->background().isNull());

        // During the run the buttons are disabled, Cancel and the bar are shown:
        // looked at once a program is shown, however long its start takes.
        bool checkedDuringRun = false;
        QTimer during;
        during.setInterval(20);
        QObject::connect(&during, &QTimer::timeout, [&] {
            if (checkedDuringRun || !w->Label3->caption().startsWith(QLatin1String("The current file :\r")))
                return;
            checkedDuringRun = true;
            QVERIFY(!w->Image1->isEnabled());
            QVERIFY(!w->Image4->isEnabled());
            QVERIFY(w->Image5->isVisible());
            QVERIFY(w->PB1->widget()->isVisible());
            QCOMPARE(w->Label5->caption(), QStringLiteral("The program mode   :   Installing your programs"));
        });
        during.start();
        click(w->Image4);
        during.stop();
        QVERIFY(checkedDuringRun);
        QVERIFY(m_prompts->boxes.isEmpty());
        QFile f(log);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(f.readAll()), QStringLiteral("s1.sh \ns2.sh /quiet\ns3.sh \n"));
        QCOMPARE(w->Label5->caption(), QStringLiteral("The program mode   :   Installing finished"));
        QCOMPARE(w->Label4->caption(), QStringLiteral("Remainder of programs for installing  :   0"));
        QCOMPARE(w->Label3->caption(), QString());
        QVERIFY(!w->PB1->widget()->isVisible());
        QVERIFY(!w->Image5->isVisible());
        QVERIFY(w->Image1->isEnabled() && w->Image2->isEnabled() && w->Image3->isEnabled());
    }

    void cancelByClickAndExitWhileTheProgramStillRuns()
    {
        const QString log = m_dir.filePath(QStringLiteral("cancel.log"));
        QFile::remove(log);
        QByteArray bytes = ">Cancel me\r\n";
        for (int i = 1; i <= 3; ++i)
            bytes += makeSetup(QStringLiteral("c%1.sh").arg(i), log, 0.4).toUtf8() + "\r\n";
        const QString list = writeFile(QStringLiteral("cancel.SR"), bytes);

        Form2 *w = Windows::show<Form2>();
        m_prompts->files.enqueue(list);
        click(w->Image3);
        QTimer::singleShot(150, [&] {
            click(w->Image5);
            QVERIFY(w->Image1->isEnabled());
            click(w->Image1); // Exit works at once, while c1 still runs
            QCOMPARE(m_windows.ended(), 1);
        });
        click(w->Image4);
        QFile f(log);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(f.readAll()), QStringLiteral("c1.sh \n"));
        QCOMPARE(w->Label4->caption(), QStringLiteral("Remainder of programs for installing  :   2"));
    }

    void refusedFileKeepsTheLoadedList()
    {
        const QString good = writeFile(QStringLiteral("good.SR"), ">Good\r\na\r\nb\r\n");
        const QString lower = writeFile(QStringLiteral("good.sr"), ">Good\r\na\r\n");
        const QString damaged = writeFile(QStringLiteral("damaged.SR"), "Good\r\na\r\n");
        Form2 *w = Windows::show<Form2>();
        m_prompts->files << good << lower << damaged;
        click(w->Image3);
        click(w->Image3);
        click(w->Image3);
        QCOMPARE(m_prompts->boxes.size(), 2);
        QCOMPARE(m_prompts->boxes[0].text,
                 QStringLiteral("It isn't currect file\rThe format of input file must be <SR>"));
        QCOMPARE(m_prompts->boxes[0].title, QStringLiteral("File format"));
        QCOMPARE(m_prompts->boxes[0].icon, MsgIcon::Critical);
        QCOMPARE(m_prompts->boxes[1].text, QStringLiteral("It isn't currect file"));
        QCOMPARE(w->Label1->caption(), QStringLiteral("Title of your list :    Good"));
        QCOMPARE(Globals::LoadedListText, QStringLiteral(">Good\r\na\r\nb\r\n"));

        // A cancelled dialog changes nothing either.
        click(w->Image3);
        QCOMPARE(m_prompts->boxes.size(), 2);
        QCOMPARE(Globals::LoadedLineCount, QStringLiteral("3"));
    }

    void secondLoadEmptiesRemainderAndModeButNotCurrentFile()
    {
        const QString one = writeFile(QStringLiteral("one.SR"), ">One\r\na\r\n");
        const QString five = writeFile(QStringLiteral("five.SR"), ">Tools\r\n1\r\n2\r\n3\r\n4\r\n5\r\n");
        Form2 *w = Windows::show<Form2>();
        m_prompts->files << one << five;
        click(w->Image3);
        w->Label3->setCaption(QStringLiteral("kept"));
        w->Label4->setCaption(QStringLiteral("r"));
        w->Label5->setCaption(QStringLiteral("m"));
        click(w->Image3);
        QCOMPARE(w->Label2->caption(), QStringLiteral("Number of programs in the list :   5"));
        QCOMPARE(w->Label4->caption(), QString());
        QCOMPARE(w->Label5->caption(), QString());
        QCOMPARE(w->Label3->caption(), QStringLiteral("kept"));
    }

    void frameCloseDuringARunIsIgnored_data()
    {
        QTest::addColumn<bool>("throughWindow");
        QTest::newRow("widget close") << false;
        QTest::newRow("window system close") << true;
    }

    void frameCloseDuringARunIsIgnored()
    {
        QFETCH(bool, throughWindow);
        const QString log = m_dir.filePath(QStringLiteral("frame.log"));
        QFile::remove(log);
        const QString a = makeReporter(QStringLiteral("f1.sh"), log, 0.4);
        const QString b = makeReporter(QStringLiteral("f2.sh"), log);
        const QString list =
                writeFile(QStringLiteral("frame.SR"), ">Frame\r\n" + a.toUtf8() + "\r\n" + b.toUtf8() + "\r\n");
        Form2 *w = Windows::show<Form2>();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        m_prompts->files.enqueue(list);
        click(w->Image3);

        // While f1 runs, Exit is disabled: the frame's close changes nothing.
        bool closed = true, shown = false;
        int endedDuringRun = -1;
        QTimer::singleShot(150, [&] {
            closed = closeByFrame(w, throughWindow);
            shown = w->isVisible();
            endedDuringRun = m_windows.ended();
        });
        click(w->Image4);
        QVERIFY(!closed);
        QVERIFY(shown);
        QCOMPARE(endedDuringRun, 0);
        QCOMPARE(m_windows.ended(), 0);
        QVERIFY(w->isVisible());
        // The rest of the list was started.
        QCOMPARE(readText(log), a + "|\n" + b + "|\n");
        QCOMPARE(w->Label5->caption(), QStringLiteral("The program mode   :   Installing finished"));

        // After Cancel, Exit is back at once, and so is the frame's close.
        QFile::remove(log);
        int endedAfterCancel = -1;
        QTimer::singleShot(150, [&] {
            click(w->Image5);
            closed = closeByFrame(w, throughWindow);
            endedAfterCancel = m_windows.ended();
        });
        click(w->Image4);
        QCOMPARE(endedAfterCancel, 1);
        QVERIFY(closed);
        QCOMPARE(readText(log), a + "|\n");
    }

    void frameCloseWhileHelpOrAboutIsOpenIsIgnored_data()
    {
        QTest::addColumn<bool>("about");
        QTest::addColumn<bool>("throughWindow");
        QTest::newRow("help, widget close") << false << false;
        QTest::newRow("help, window system close") << false << true;
        QTest::newRow("about, widget close") << true << false;
        QTest::newRow("about, window system close") << true << true;
    }

    void frameCloseWhileHelpOrAboutIsOpenIsIgnored()
    {
        QFETCH(bool, about);
        QFETCH(bool, throughWindow);
        Form2 *w = Windows::show<Form2>();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        click(about ? static_cast<QWidget *>(w->Label6) : w->Label7);
        QWidget *opened = about ? static_cast<QWidget *>(Windows::find<frmAbout>())
                                : static_cast<QWidget *>(Windows::find<Dialog1>());
        QVERIFY(opened && opened->isVisible());
        QVERIFY(!w->isEnabled());

        QVERIFY(!closeByFrame(w, throughWindow));
        QCOMPARE(m_windows.ended(), 0);
        QVERIFY(w->isVisible());
        QVERIFY(opened->isVisible());

        // Its OK gives the main window back; then the frame's close is Exit.
        click(about ? static_cast<QWidget *>(Windows::find<frmAbout>()->cmdOK)
                    : static_cast<QWidget *>(Windows::find<Dialog1>()->OKButton));
        QVERIFY(w->isEnabled());
        QVERIFY(closeByFrame(w, throughWindow));
        QCOMPARE(m_windows.ended(), 1);
    }

    void theRunStartsTheLinesTheListShows()
    {
        // The first item's line ends in a carriage return alone, and what follows
        // it lies outside the 16-bit range: it is skipped whole, as the line feed.
        const QString log = m_dir.filePath(QStringLiteral("lines.log"));
        QFile::remove(log);
        const QString a = makeReporter(QStringLiteral("l1.sh"), log, 0.2);
        const QString b = makeReporter(QStringLiteral("l2.sh"), log);
        const QString list =
                writeFile(QStringLiteral("smile.SR"),
                          ">Smile\r" + QByteArray("\xF0\x9F\x98\x80") + a.toUtf8() + "\r\n" + b.toUtf8() + " /S\r\n");
        Form2 *w = Windows::show<Form2>();
        m_prompts->files.enqueue(list);
        click(w->Image3);
        QCOMPARE(Globals::LoadedLineCount, QStringLiteral("3"));
        const QString text = Globals::LoadedListText;
        QCOMPARE(ListFile::ListItemAt(text, 1), a);
        QCOMPARE(ListFile::ListItemAt(text, 2), b + QStringLiteral(" /S"));

        QStringList shown;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&] {
            const QString current = w->Label3->caption();
            if (!current.isEmpty() && !shown.contains(current))
                shown << current;
        });
        timer.start(5);
        click(w->Image4);
        QVERIFY2(m_prompts->boxes.isEmpty(), m_prompts->boxes.isEmpty() ? "" : qPrintable(m_prompts->boxes[0].text));
        // Exactly the list's lines were started, and shown as the current file.
        QCOMPARE(readText(log), ListFile::ListItemAt(text, 1) + "|\n" + b + "|/S\n");
        QCOMPARE(shown.first(), QStringLiteral("The current file :\r") + ListFile::ListItemAt(text, 1));
    }

    void theRunEndsBySayingWhatWentWrong()
    {
        const QString log = m_dir.filePath(QStringLiteral("outcomes.log"));
        QFile::remove(log);
        const QString ok = makeSetup(QStringLiteral("fine.sh"), log, 0.1);
        const QString fail = writeFile(QStringLiteral("fails.sh"), "#!/bin/sh\nexit 3\n", true);
        const QString missing = m_dir.filePath(QStringLiteral("gone-setup.sh"));
        const QString list =
                writeFile(QStringLiteral("outcomes.SR"), ">Outcomes\r\n" + ok.toUtf8() + "\r\n" + fail.toUtf8()
                                                                 + " /S\r\n" + missing.toUtf8() + "\r\n");
        Form2 *w = Windows::show<Form2>();
        m_prompts->files.enqueue(list);
        QTest::mouseClick(w->Image3, Qt::LeftButton);
        QList<Seen> seen;
        m_prompts->onMessage = [&](const ScriptedPrompts::Box &) {
            seen << Seen{w->Label5->caption(), w->PB1->widget()->isVisible(), w->Image4->isEnabled()};
        };
        QTest::mouseClick(w->Image4, Qt::LeftButton);

        QCOMPARE(m_prompts->boxes.size(), 2);
        // The missing program's four-line box, during the run.
        QCOMPARE(m_prompts->boxes[0].title, QStringLiteral("Error"));
        QCOMPARE(m_prompts->boxes[0].text.split(QLatin1Char('\r')).size(), 4);
        QCOMPARE(seen[0].mode, QStringLiteral("The program mode   :   Installing your programs"));
        // The summary, once the run has ended.
        const ScriptedPrompts::Box &end = m_prompts->boxes[1];
        QCOMPARE(end.title, QStringLiteral("Installing"));
        QCOMPARE(end.icon, MsgIcon::Exclamation);
        QCOMPARE(seen[1].mode, QStringLiteral("The program mode   :   Installing finished"));
        QVERIFY(!seen[1].barVisible);
        QVERIFY(seen[1].installEnabled);
        const QStringList lines = end.text.split(QLatin1Char('\r'));
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[1], fail + QStringLiteral(" /S: failed (exit code 3)"));
        QVERIFY2(lines[2].startsWith(missing + QStringLiteral(": not started: error 53, ")), qPrintable(lines[2]));
        const QString prefix = QStringLiteral("The report of this run: ");
        QVERIFY(lines[3].startsWith(prefix));
        const QString textReport = lines[3].mid(prefix.size());
        QVERIFY2(textReport.startsWith(m_dir.filePath(QStringLiteral("state/setupreel/runs/"))),
                 qPrintable(textReport));
        QVERIFY(QFile::exists(textReport));

        QFile json(w->installRun().reportJsonPath());
        QVERIFY(json.open(QIODevice::ReadOnly));
        const QJsonObject report = QJsonDocument::fromJson(json.readAll()).object();
        QCOMPARE(report.value(QLatin1String("listFile")).toString(), list);
        QCOMPARE(report.value(QLatin1String("title")).toString(), QStringLiteral("Outcomes"));
        const QJsonArray programs = report.value(QLatin1String("programs")).toArray();
        QCOMPARE(programs.size(), 3);
        QCOMPARE(programs[0][QLatin1String("outcome")].toString(), QStringLiteral("succeeded"));
        QCOMPARE(programs[1][QLatin1String("exitCode")].toInt(), 3);
        QCOMPARE(programs[2][QLatin1String("outcome")].toString(), QStringLiteral("not-started"));
        QCOMPARE(programs[2][QLatin1String("errorNumber")].toInt(), 53);
    }

    // A locked list: a setup changed since is not started (its "Error" box
    // names both hashes) and the others run; a list changed after Load is
    // refused and starts nothing.
    void aLockedListStartsNoChangedSetup()
    {
        const QString log = m_dir.filePath(QStringLiteral("locked.log"));
        QFile::remove(log);
        const QString a = makeSetup(QStringLiteral("locked-a.sh"), log, 0);
        const QString b = makeSetup(QStringLiteral("locked-b.sh"), log, 0);
        const QString list =
                writeFile(QStringLiteral("locked.SR"), ">Locked\r\n" + a.toUtf8() + "\r\n" + b.toUtf8() + " /S\r\n");
        const ListFile::InstallText loaded = ListFile::LoadListForInstalling(list);
        QCOMPARE(ListLock::write(list, loaded.text, loaded.lineCount), QString());
        const QByteArray was = readText(a).toUtf8();
        writeFile(QStringLiteral("locked-a.sh"), was + '#', true);
        const auto sha = [](const QByteArray &bytes) {
            return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
        };

        Form2 *w = Windows::show<Form2>();
        m_prompts->files.enqueue(list);
        click(w->Image3);
        click(w->Image4);
        QCOMPARE(m_prompts->boxes.size(), 2);
        QCOMPARE(m_prompts->boxes[0].title, QStringLiteral("Error"));
        QCOMPARE(m_prompts->boxes[0].text.split(QLatin1Char('\r')),
                 (QStringList{QStringLiteral("321"), QStringLiteral("An error appears."),
                              QStringLiteral("Click on the button to continue."),
                              QStringLiteral("The setup file differs from the list's lock: expected SHA-256 %1, "
                                             "found %2: %3")
                                      .arg(sha(was), sha(was + '#'), a)}));
        QCOMPARE(readText(log), QStringLiteral("locked-b.sh /S\n"));
        QCOMPARE(m_prompts->boxes[1].title, QStringLiteral("Installing"));

        QFile listFile(list);
        QVERIFY(listFile.open(QIODevice::Append));
        listFile.write(b.toUtf8() + "\r\n");
        listFile.close();
        click(w->Image4);
        QCOMPARE(m_prompts->boxes.size(), 3);
        QCOMPARE(m_prompts->boxes[2].title, QStringLiteral("Installing"));
        QCOMPARE(m_prompts->boxes[2].icon, MsgIcon::Exclamation);
        QVERIFY2(m_prompts->boxes[2].text.startsWith(QLatin1String("The list changed since it was locked.\r")),
                 qPrintable(m_prompts->boxes[2].text));
        QCOMPARE(readText(log), QStringLiteral("locked-b.sh /S\n"));
    }

    // A Windows setup that needs a restart, with a program after it: the
    // window asks whether to restart Wine first; No goes on without it.
    void aWindowsRestartAsksBeforeTheNextProgram()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("wine")).isEmpty())
            QSKIP("Wine is not installed");
        const QString log = m_dir.filePath(QStringLiteral("asks.log"));
        const QString bat = writeFile(QStringLiteral("reboot.bat"), "@echo off\r\nexit /b 3010\r\n");
        const QString next = makeSetup(QStringLiteral("next.sh"), log, 0);
        const QString list =
                writeFile(QStringLiteral("asks.SR"), ">Asks\r\n" + bat.toUtf8() + "\r\n" + next.toUtf8() + "\r\n");
        Form2 *w = Windows::show<Form2>();
        m_prompts->files.enqueue(list);
        click(w->Image3);
        m_prompts->answers.enqueue(false);
        click(w->Image4);

        QCOMPARE(m_prompts->questions.size(), 1);
        const ScriptedPrompts::Box &asked = m_prompts->questions[0];
        QCOMPARE(asked.title, QStringLiteral("Installing"));
        QVERIFY2(asked.text.startsWith(bat) && asked.text.contains(QStringLiteral("Restart Wine now?"))
                         && asked.text.contains(
                                 QStringLiteral("Every Windows program of the Wine prefix %1 will be ended")
                                         .arg(QStringLiteral(SETUPREEL_TEST_WINEPREFIX))),
                 qPrintable(asked.text));
        QCOMPARE(readText(log), QStringLiteral("next.sh \n"));
        QFile json(w->installRun().reportJsonPath());
        QVERIFY(json.open(QIODevice::ReadOnly));
        const QJsonArray programs = QJsonDocument::fromJson(json.readAll())[QLatin1String("programs")].toArray();
        QCOMPARE(programs[0][QLatin1String("outcome")].toString(), QStringLiteral("restart-needed"));
        QVERIFY(programs[0][QLatin1String("restart")].isNull());
    }

    void theResultsDemoListEndsWithItsSummary()
    {
        const QString list = QStringLiteral(SETUPREEL_BUILD_APP_DIR "/examples/Demo-Results.SR");
        QVERIFY2(QFile::exists(list), "the build writes the second demo list");
        Form2 *w = Windows::show<Form2>();
        m_prompts->files.enqueue(list);
        QTest::mouseClick(w->Image3, Qt::LeftButton);
        QVERIFY(m_prompts->boxes.isEmpty());
        const QString text = Globals::LoadedListText;
        const int programs = Globals::LoadedLineCount.toInt() - 1;
        QVERIFY(programs == 2 || programs == 3);
        QTest::mouseClick(w->Image4, Qt::LeftButton);

        QCOMPARE(m_prompts->boxes.size(), 1);
        const ScriptedPrompts::Box &end = m_prompts->boxes[0];
        QCOMPARE(end.title, QStringLiteral("Installing"));
        QCOMPARE(end.icon, MsgIcon::Exclamation);
        const QStringList lines = end.text.split(QLatin1Char('\r'));
        QCOMPARE(lines[1], ListFile::ListItemAt(text, 2) + QStringLiteral(": failed (exit code 1)"));
        if (programs == 3) {
            // The Windows setup that asks for a restart, under Wine.
            const QString windows = ListFile::ListItemAt(text, 3);
            QVERIFY(windows.endsWith(QLatin1String("restart-needed-setup.exe /S")));
            if (w->ShellAndWait1->metaObject()->indexOfMethod("InstallerType()") >= 0)
                QVERIFY2(lines[2].startsWith(windows + QStringLiteral(": succeeded, restart needed (exit code 3010)")),
                         qPrintable(lines[2]));
            else
                qWarning("this ShellAndWait.ocx reads no installer type: %s", qPrintable(lines[2]));
        } else {
            qWarning("makensis was not found at build time: the demo list has no Windows setup");
        }
        QVERIFY(lines.last().startsWith(QLatin1String("The report of this run: ")));
    }

    // A setup that leaves a helper running: Cancel clicked while only the
    // helper is awaited ends the run at once, and so does Cancel clicked while
    // the setup itself still ran, once it ends. The helper goes on running.
    void cancelLeavesTheHelpersOfASetupRunning_data()
    {
        QTest::addColumn<bool>("whileTheSetupRuns");
        QTest::newRow("only the helper left") << false;
        QTest::newRow("the setup still running") << true;
    }

    void cancelLeavesTheHelpersOfASetupRunning()
    {
        QFETCH(bool, whileTheSetupRuns);
        const QString log = m_dir.filePath(QStringLiteral("helper.log"));
        const QString pidFile = m_dir.filePath(QStringLiteral("helper.pid"));
        QFile::remove(log);
        QFile::remove(pidFile);
        const QString boot =
                writeFile(QStringLiteral("bootstrap.sh"),
                          // the helper is sleep itself before the setup goes on
                          QStringLiteral("#!/bin/sh\nsleep 30 & left=$!\n"
                                         "while [ \"$(cat /proc/$left/comm)\" != sleep ]; do :; done\n"
                                         "echo $left > '%1'\nsleep %2\n")
                                  .arg(pidFile, whileTheSetupRuns ? QStringLiteral("0.6") : QStringLiteral("0"))
                                  .toUtf8(),
                          true);
        const QString after = makeReporter(QStringLiteral("after.sh"), log);
        const QString list = writeFile(QStringLiteral("helper.SR"),
                                       ">Helper\r\n" + boot.toUtf8() + "\r\n" + after.toUtf8() + "\r\n");
        Form2 *w = Windows::show<Form2>();
        m_prompts->files.enqueue(list);
        QTest::mouseClick(w->Image3, Qt::LeftButton);
        const HostedRunAndWait control(w->runAndWaitControl());
        QVERIFY(qobject_cast<RunAndWaitControl *>(w->ShellAndWait1.data()));
        int leftoverWaits = 0;
        QString shownWhileWaiting;
        QMetaObject::Connection c;
        if (whileTheSetupRuns) {
            QTimer::singleShot(200, [&] { QTest::mouseClick(w->Image5, Qt::LeftButton); });
        } else {
            c = control.onWaitingForLeftovers(this, [&](const QList<LeftoverProcess> &) {
                ++leftoverWaits;
                QTimer::singleShot(300, [&] {
                    shownWhileWaiting = w->Label3->caption();
                    QTest::mouseClick(w->Image5, Qt::LeftButton);
                });
            });
        }
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(w->Image4, Qt::LeftButton);
        disconnect(c);

        QVERIFY2(clock.elapsed() < 15000, "the helper's 30 s were not waited for");
        if (!whileTheSetupRuns)
            QCOMPARE(leftoverWaits, 1);
        QVERIFY2(!QFile::exists(log), "no program starts after Cancel");
        QCOMPARE(w->Label4->caption(), QStringLiteral("Remainder of programs for installing  :   1"));
        QFile pid(pidFile);
        QVERIFY(pid.open(QIODevice::ReadOnly));
        const QString helper = QString::fromLatin1(pid.readAll().trimmed());
        QVERIFY2(QFile::exists(QStringLiteral("/proc/") + helper), "the helper goes on running");
        QProcess::execute(QStringLiteral("kill"), {helper});
        // The current file's area said what the run waited for.
        if (!whileTheSetupRuns)
            QVERIFY2(shownWhileWaiting.contains(
                             QStringLiteral("waiting for processes the setup left running: %1 sleep 30").arg(helper)),
                     qPrintable(shownWhileWaiting));

        QFile json(w->installRun().reportJsonPath());
        QVERIFY(json.open(QIODevice::ReadOnly));
        const QJsonObject report = QJsonDocument::fromJson(json.readAll()).object();
        QVERIFY(report.value(QLatin1String("cancelled")).toBool());
        const QJsonArray left =
                report.value(QLatin1String("programs")).toArray()[0][QLatin1String("leftBehind")].toArray();
        QVERIFY2(!left.isEmpty(), "the report names the helper");
        QVERIFY2(left[0].toString().contains(helper), qPrintable(left[0].toString()));
    }

    void keyboardAndFrame()
    {
        Form2 *w = Windows::show<Form2>();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QCOMPARE(w->Image4->accessibleName(), QStringLiteral("Install"));
        w->Image4->setFocus();
        QTest::keyClick(w->Image4, Qt::Key_Space);
        QCOMPARE(m_prompts->boxes.size(), 1); // Install answered from the keyboard
        w->close();
        QCOMPARE(m_windows.ended(), 1); // closing by the frame ends the program
    }
};

QTEST_MAIN(TestForm2)
#include "tst_form2.moc"
