// SPDX-License-Identifier: GPL-3.0-or-later
// The help windows opened from the main window and the list editor as a user
// opens them, and every way of closing them.
#include "ScriptedPrompts.h"
#include "WindowTestFixture.h"
#include "core/common/Folders.h"
#include "core/common/Globals.h"
#include "windows/editor/Form1.h"
#include "windows/editor/tests/EditorControls.h"
#include "windows/install/Dialog1.h"
#include "windows/install/Dialog2.h"
#include "windows/install/Form2.h"
#include "windows/ui/Program.h"
#include "windows/ui/Windows.h"

#include <QPushButton>
#include <QtTest>

class TestHelpWindows : public QObject
{
    Q_OBJECT

    WindowTestFixture m_windows;
    ScriptedPrompts *m_prompts = nullptr; // m_windows' while a test runs

    static void click(QWidget *w) { QTest::mouseClick(w, Qt::LeftButton); }

    static void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    static Form1 *openEditor()
    {
        click(Windows::show<Form2>()->Image2); // Point
        return Windows::find<Form1>();
    }

    static void closeBy(HelpWindow *help, const QString &way)
    {
        if (way == QLatin1String("ok"))
            click(help->OKButton);
        else
            help->close(); // the frame's close command
    }

    // Every help line is shown whole, inside the window, and no control covers another.
    static void checkLayout(HelpWindow *w)
    {
        const QList<VbLabel *> &labels = w->helpLabels();
        QList<QRect> taken{w->Image1->geometry(), w->OKButton->geometry()};
        for (VbLabel *l : labels) {
            QVERIFY2(l->heightForWidth(l->width()) <= l->height(), qPrintable(l->caption()));
            QVERIFY2(w->rect().contains(l->geometry()), qPrintable(l->caption()));
            for (const QRect &other : std::as_const(taken))
                QVERIFY2(!other.intersects(l->geometry()), qPrintable(l->caption()));
            taken << l->geometry();
        }
        QCOMPARE(w->Lines.size(), labels.size() - 1);
        for (int i = 0; i < w->Lines.size(); ++i) {
            const QRect line = w->Lines[i]->geometry();
            QCOMPARE(line.height(), 1);
            QVERIFY(line.top() >= labels[i]->y() && line.top() < labels[i + 1]->y());
        }
        QCOMPARE(w->Shape1->geometry(), w->rect());
    }

private slots:
    void init() { m_prompts = m_windows.setUp(); }

    void cleanup()
    {
        m_windows.tearDown();
        m_prompts = nullptr;
    }

    void mainWindowHelpOpensAsDesigned()
    {
        Form2 *main = Windows::show<Form2>();
        click(main->Label7);
        Dialog1 *help = Windows::find<Dialog1>();
        QVERIFY(help);
        QVERIFY(help->isVisible());
        QVERIFY(!main->isEnabled());
        QCOMPARE(help->windowTitle(), QStringLiteral("Help"));
        QVERIFY2(!help->background().isNull(), "Dialog1.jpg is in the application folder");
        QVERIFY2(!help->Image1->pixmap().isNull(), "Help and Support.jpg is in the application folder");
        QCOMPARE(help->Image1->geometry(), QRect(16, 0, 90, 90));
        QCOMPARE(help->OKButton->text(), QStringLiteral("OK"));
        QCOMPARE(help->OKButton->geometry(), QRect(296, 224, 81, 25));
        QCOMPARE(help->Label1->caption(),
                 QStringLiteral("Button \"Point\" : Point to your setup files and save  list of your setup files"
                                "  for now  installing  or afterwards."));
        QCOMPARE(help->Label2->caption(),
                 QStringLiteral("Button \"Load\" : Load your list of setup files. for installing"));
        QCOMPARE(help->Label4->caption(), QStringLiteral("Button \"Cancel\" : Cancel the current installing."));
        QCOMPARE(help->Label3->y(), 176);
        QVERIFY(help->width() >= 390 && help->height() == 260);
        checkLayout(help);
    }

    void editorHelpOpensAsDesigned()
    {
        Form1 *editor = openEditor();
        QVERIFY(editor);
        click(controls(editor).Label7);
        Dialog2 *help = Windows::find<Dialog2>();
        QVERIFY(help);
        QVERIFY(help->isVisible());
        QVERIFY(!editor->isEnabled());
        QVERIFY(!Windows::find<Dialog1>());
        QCOMPARE(help->windowTitle(), QStringLiteral("Help"));
        QCOMPARE(help->OKButton->geometry(), QRect(296, 16, 81, 25));
        QCOMPARE(help->helpLabels().size(), 7);
        QCOMPARE(help->Label4->caption(), QStringLiteral("Button \"Load saved list\" : For load your saved list to add "
                                                         "or remove an item or other chang."));
        QCOMPARE(help->Label5->caption(),
                 QStringLiteral("Button \"Open\" :  For select a path from  your hard to search."));
        QCOMPARE(help->Label6->caption(),
                 QStringLiteral("Button \"Up item\" & \" Down item\"  : For up or down items in the list."));
        QCOMPARE(help->Label7->y(), 212);
        checkLayout(help);
    }

    void bothShowTheSamePictures()
    {
        Form1 *editor = openEditor();
        click(controls(editor).Label7);
        Dialog2 *second = Windows::find<Dialog2>();
        Dialog1 *first = Windows::load<Dialog1>();
        QVERIFY(!first->background().isNull());
        QCOMPARE(first->background().toImage(), second->background().toImage());
        QCOMPARE(first->Image1->pixmap().toImage(), second->Image1->pixmap().toImage());
    }

    void closingMainWindowHelp_data()
    {
        QTest::addColumn<QString>("way");
        QTest::newRow("OK") << QStringLiteral("ok");
        QTest::newRow("frame") << QStringLiteral("frame");
    }

    void closingMainWindowHelp()
    {
        QFETCH(QString, way);
        Form2 *main = Windows::show<Form2>();
        click(main->Label7);
        QPointer<Dialog1> help = Windows::find<Dialog1>();
        QVERIFY(help && !main->isEnabled());

        closeBy(help, way);
        QVERIFY(main->isEnabled());
        QVERIFY(!Windows::find<Dialog1>());
        flushDeletes();
        QVERIFY2(help.isNull(), "closing unloads the help window");

        // The main window takes clicks again, and the next opening loads afresh.
        click(main->Label7);
        Dialog1 *again = Windows::find<Dialog1>();
        QVERIFY(again);
        QVERIFY(!again->background().isNull());
        QVERIFY(!main->isEnabled());
    }

    void closingEditorHelp_data()
    {
        QTest::addColumn<QString>("way");
        QTest::newRow("OK") << QStringLiteral("ok");
        QTest::newRow("frame") << QStringLiteral("frame");
    }

    void closingEditorHelp()
    {
        QFETCH(QString, way);
        Form1 *editor = openEditor();
        click(controls(editor).Label7);
        QPointer<Dialog2> help = Windows::find<Dialog2>();
        QVERIFY(help && !editor->isEnabled());
        // Every way of closing enables the main window too.
        Windows::setEnabled<Form2>(false);

        closeBy(help, way);
        QVERIFY(editor->isEnabled());
        QVERIFY(Windows::find<Form2>()->isEnabled());
        QVERIFY(!Windows::find<Dialog2>());
        flushDeletes();
        QVERIFY(help.isNull());

        click(controls(editor).Label7);
        QVERIFY(Windows::find<Dialog2>());
        QVERIFY(!editor->isEnabled());
    }

    void mainWindowHelpOkEnablesTheEditorToo()
    {
        Form1 *editor = openEditor();
        Form2 *main = Windows::find<Form2>();
        main->show();
        click(main->Label7);
        editor->setEnabled(false);
        click(Windows::find<Dialog1>()->OKButton);
        QVERIFY(main->isEnabled());
        QVERIFY(editor->isEnabled());
    }
};

QTEST_MAIN(TestHelpWindows)
#include "tst_helpwindows.moc"
