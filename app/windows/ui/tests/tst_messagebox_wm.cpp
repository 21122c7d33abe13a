// SPDX-License-Identifier: GPL-3.0-or-later
// The end of a run with many long entries on a small screen (1366x768 under
// openbox): the box keeps to the screen, its OK is there to press, and Return
// closes it. Run by under-openbox.sh; started any other way it skips.
#include "core/install/InstallRun.h"
#include "windows/ui/WidgetPrompts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QTimer>
#include <QtTest>

namespace {
class Unwatched final : public RunObserver
{
public:
    void runStarted(int) override {}
    void programStarting(const ProgramStart &) override {}
    void waitingForAnotherInstallation(int) override {}
    void waitingForLeftovers(const QList<LeftoverProcess> &) override {}
    void programEnded(const ProgramRecord &) override {}
    void runEnded(const RunRecord &) override {}
    void cancelPressed() override {}
};
}

class TestMessageBoxWm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb") || qEnvironmentVariableIsEmpty("SETUPREEL_WM_TEST"))
            QSKIP("runs in Xvfb with openbox through under-openbox.sh (ctest: tst_messagebox_wm_openbox)");
    }

    void theEndOfALongRunFitsASmallScreen()
    {
        LoadedList list;
        list.title = QStringLiteral("Lab machines");
        for (int i = 1; i <= 25; ++i)
            list.programs << QStringLiteral("/srv/setups/vendor-%1/applications/a-rather-long-product-name-%1/"
                                            "setup-x64-en-us-with-a-long-version-12.%1.exe /S /D=C:\\Program Files\\"
                                            "Product %1")
                                     .arg(i);
        WidgetPrompts prompts;
        Unwatched observer;
        InstallRun run(observer, prompts, [](const QString &) {
            RunResult r;
            r.exitCode = 1603;
            r.installerType = QStringLiteral("nsis");
            return r;
        });
        QTemporaryDir state;
        run.setReportFolder(state.path());

        QRect box, ok, screen;
        bool textShown = false, closedByReturn = false;
        QTimer::singleShot(0, [&] {
            QTRY_VERIFY(qobject_cast<QMessageBox *>(QApplication::activeModalWidget()));
            auto *shown = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(QTest::qWaitForWindowActive(shown));
            screen = shown->screen()->availableGeometry();
            box = shown->frameGeometry();
            QAbstractButton *button = shown->button(QMessageBox::Ok);
            ok = QRect(button->mapToGlobal(QPoint(0, 0)), button->size());
            for (const QLabel *label : shown->findChildren<QLabel *>())
                if (label->text().startsWith(QLatin1String("Not every program was installed")))
                    textShown = label->isVisible() && !label->visibleRegion().isEmpty();
            QCOMPARE(QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Return")}),
                     0);
            closedByReturn = QTest::qWaitFor([] { return !QApplication::activeModalWidget(); }, 5000);
        });
        run.install(list);
        QCOMPARE(screen.size(), QSize(1366, 768));
        QVERIFY2(screen.contains(box), qPrintable(QStringLiteral("box %1,%2 %3x%4")
                                                          .arg(box.x())
                                                          .arg(box.y())
                                                          .arg(box.width())
                                                          .arg(box.height())));
        QVERIFY(screen.contains(ok));
        QVERIFY(textShown);
        QVERIFY(closedByReturn);
    }
};

QTEST_MAIN(TestMessageBoxWm)
#include "tst_messagebox_wm.moc"
