// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's frame close as a real window manager sends it: openbox in
// a virtual X server closes the active window on Alt+F4, typed through xdotool.
// Run by under-openbox.sh; started any other way it skips.
#include "ScriptedPrompts.h"
#include "WindowTestFixture.h"
#include "core/common/Folders.h"
#include "core/common/Globals.h"
#include "core/common/Seams.h"
#include "windows/install/Dialog1.h"
#include "windows/install/Form2.h"
#include "windows/ui/Program.h"
#include "windows/ui/Windows.h"

#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

// Counts the close events a window is sent.
class CloseCounter : public QObject
{
public:
    int closes = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Close)
            ++closes;
        return false;
    }
};

}

class TestForm2Wm : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    WindowTestFixture m_windows;
    ScriptedPrompts *m_prompts = nullptr; // m_windows' while a test runs

    // Runs xdotool while this program's events keep flowing (the window
    // manager waits on this program's answers to move the focus).
    // Empty when xdotool ran and succeeded; else what went wrong.
    static QString xdotool(const QStringList &args)
    {
        QProcess p;
        p.start(QStringLiteral("xdotool"), args);
        if (!p.waitForStarted(5000))
            return QStringLiteral("xdotool did not start");
        if (!QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 10000))
            return QStringLiteral("xdotool %1 did not end").arg(args.join(u' '));
        if (p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
            return QString();
        return QStringLiteral("xdotool %1 failed: %2")
                .arg(args.join(u' '), QString::fromLocal8Bit(p.readAllStandardError()));
    }

    // Makes w the window manager's active window, then types Alt+F4; waits
    // until the close has arrived (or a while has passed). Empty when it
    // arrived; else why not.
    static QString altF4(QWidget *w, const CloseCounter &counter)
    {
        const int before = counter.closes;
        const QString id = QString::number(w->winId());
        QString why = xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), id});
        if (why.isEmpty())
            why = xdotool({QStringLiteral("key"), QStringLiteral("alt+F4")});
        if (why.isEmpty() && !QTest::qWaitFor([&] { return counter.closes > before; }, 5000))
            why = QStringLiteral("no close reached the window within 5 s");
        return why;
    }

    QString makeReporter(const QString &name, const QString &log, double seconds)
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return {};
        f.write(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$0\" >> '%1'\nsleep %2\n")
                        .arg(log, QString::number(seconds))
                        .toUtf8());
        f.close();
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
        return path;
    }

    static QString readText(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

private slots:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb") || qEnvironmentVariableIsEmpty("SETUPREEL_WM_TEST"))
            QSKIP("runs in Xvfb with openbox through under-openbox.sh (ctest: tst_form2_wm_openbox)");
        QVERIFY(m_dir.isValid());
    }

    void init() { m_prompts = m_windows.setUp(); }
    void cleanup() { m_windows.tearDown(); }

    void altF4DuringARunLeavesTheRunGoing()
    {
        const QString log = m_dir.filePath(QStringLiteral("wm.log"));
        const QString a = makeReporter(QStringLiteral("w1.sh"), log, 2.0);
        const QString b = makeReporter(QStringLiteral("w2.sh"), log, 0);
        const QString list = m_dir.filePath(QStringLiteral("wm.SR"));
        QFile f(list);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(">Frame\r\n" + a.toUtf8() + "\r\n" + b.toUtf8() + "\r\n");
        f.close();

        Form2 *w = Windows::show<Form2>();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        CloseCounter counter;
        w->installEventFilter(&counter);
        m_prompts->files.enqueue(list);
        QTest::mouseClick(w->Image3, Qt::LeftButton);

        QString notArrived = QStringLiteral("not tried");
        bool shown = false;
        int endedDuringRun = -1;
        QTimer::singleShot(200, [&] {
            notArrived = altF4(w, counter);
            shown = w->isVisible();
            endedDuringRun = m_windows.ended();
        });
        QTest::mouseClick(w->Image4, Qt::LeftButton);
        QVERIFY2(notArrived.isEmpty(), qPrintable("the window manager's close during the run: " + notArrived));
        QVERIFY(shown);
        QCOMPARE(endedDuringRun, 0);
        QCOMPARE(m_windows.ended(), 0);
        QCOMPARE(readText(log), a + QLatin1Char('\n') + b + QLatin1Char('\n'));

        // With the run over, Alt+F4 is Exit.
        const QString afterRun = altF4(w, counter);
        QVERIFY2(afterRun.isEmpty(), qPrintable(afterRun));
        QCOMPARE(m_windows.ended(), 1);
    }

    void altF4WhileTheHelpWindowIsOpenIsIgnored()
    {
        Form2 *w = Windows::show<Form2>();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        CloseCounter counter;
        w->installEventFilter(&counter);
        QTest::mouseClick(w->Label7, Qt::LeftButton);
        Dialog1 *help = Windows::find<Dialog1>();
        QVERIFY(help);
        QVERIFY(QTest::qWaitForWindowExposed(help));
        QVERIFY(!w->isEnabled());

        const QString blocked = altF4(w, counter);
        QVERIFY2(blocked.isEmpty(), qPrintable("the window manager's close to the main window: " + blocked));
        QCOMPARE(m_windows.ended(), 0);
        QVERIFY(w->isVisible());
        QVERIFY(help->isVisible());

        QTest::mouseClick(help->OKButton, Qt::LeftButton);
        QVERIFY(w->isEnabled());
        const QString afterHelp = altF4(w, counter);
        QVERIFY2(afterHelp.isEmpty(), qPrintable(afterHelp));
        QCOMPARE(m_windows.ended(), 1);
    }
};

QTEST_MAIN(TestForm2Wm)
#include "tst_form2_wm.moc"
