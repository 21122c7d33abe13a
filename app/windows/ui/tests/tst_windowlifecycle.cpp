// SPDX-License-Identifier: GPL-3.0-or-later
// The windows' life cycle as the user meets it: a window unloads once however
// many closes reach it, and a window closed by its frame comes back fresh.
#include "WindowTestFixture.h"
#include "windows/adding/Form5.h"
#include "windows/editor/Dialog.h"
#include "windows/editor/Form1.h"
#include "windows/editor/tests/EditorControls.h"
#include "windows/install/Dialog2.h"
#include "windows/install/Form2.h"
#include "windows/startup/frmAbout.h"
#include "windows/ui/Windows.h"

#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

class TestWindowLifeCycle : public QObject
{
    Q_OBJECT

    WindowTestFixture m_windows;

    static void click(QWidget *w) { QTest::mouseClick(w, Qt::LeftButton); }

    static void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    static Form1 *openEditor()
    {
        click(Windows::show<Form2>()->Image2); // Point
        Form1 *editor = Windows::find<Form1>();
        editor->setRows({QStringLiteral("/opt/a.sh"), QStringLiteral("/opt/b.sh /S")});
        return editor;
    }

    static void doubleClickRow(Form1 *editor, int row)
    {
        const QPoint at = controls(editor).ListB->visualItemRect(controls(editor).ListB->item(row)).center();
        QTest::mouseClick(controls(editor).ListB->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(controls(editor).ListB->viewport(), Qt::LeftButton, {}, at);
    }

    // Opens one of the windows that lie over the editor, as the user opens it;
    // the button that closes it comes back in closer.
    static PictureWindow *openOver(Form1 *editor, const QString &which, QPushButton **closer)
    {
        if (which == QLatin1String("help")) {
            click(controls(editor).Label7);
            Dialog2 *help = Windows::find<Dialog2>();
            *closer = help ? help->OKButton : nullptr;
            return help;
        }
        if (which == QLatin1String("about")) {
            click(controls(editor).Label6);
            frmAbout *about = Windows::find<frmAbout>();
            *closer = about ? about->cmdOK : nullptr;
            return about;
        }
        doubleClickRow(editor, 0);
        Dialog *change = Windows::find<Dialog>();
        *closer = change ? change->CancelButton : nullptr;
        return change;
    }

private slots:
    void init() { m_windows.setUp(); }
    void cleanup() { m_windows.tearDown(); }

    void closeAfterUnloadLeavesTheEditorAsItIs_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("nextWindow");
        QTest::newRow("help window") << "help"
                                     << "switch";
        QTest::newRow("about box") << "about"
                                   << "help";
        QTest::newRow("switch dialog") << "switch"
                                       << "help";
    }

    // The window's button unloads it; a close that still reaches it before it
    // is gone (the frame's) must not give the editor back while the next
    // window holds it.
    void closeAfterUnloadLeavesTheEditorAsItIs()
    {
        QFETCH(QString, window);
        QFETCH(QString, nextWindow);
        Form1 *editor = openEditor();
        QPushButton *closer = nullptr;
        QPointer<PictureWindow> first = openOver(editor, window, &closer);
        QVERIFY(first && closer);
        QVERIFY(!editor->isEnabled());
        click(closer);
        QVERIFY(editor->isEnabled());
        QVERIFY(first); // deleted at the next turn of the event loop

        QPushButton *nextCloser = nullptr;
        QPointer<PictureWindow> next = openOver(editor, nextWindow, &nextCloser);
        QVERIFY(next && next->isVisible());
        QVERIFY(!editor->isEnabled());
        QVERIFY(first->close());
        QVERIFY2(!editor->isEnabled(), "a window already unloaded gave the editor back");
        QVERIFY(next->isVisible());

        flushDeletes();
        QVERIFY(!first);
        QVERIFY(next);
        click(nextCloser);
        QVERIFY(editor->isEnabled());
    }

    // Exit unloads the editor and shows the main window; a late close of the
    // old editor neither shows the main window again nor touches the new editor.
    void editorExitThenLateClose()
    {
        QPointer<Form1> old = openEditor();
        click(controls(old).Command4); // Exit
        Form2 *main = Windows::find<Form2>();
        QVERIFY(main->isVisible());
        QVERIFY(!Windows::find<Form1>());

        Form1 *fresh = openEditor();
        QVERIFY(old && fresh != old.data());
        QVERIFY(!main->isVisible());
        old->close();
        QVERIFY(!main->isVisible());
        QCOMPARE(Windows::find<Form1>(), fresh);
        QVERIFY(fresh->isVisible());
        flushDeletes();
        QVERIFY(!old);
    }

    // Closed by its frame, the switch dialog gives the editor back and is
    // unloaded: the next opening finds none of what was typed or chosen.
    void switchDialogClosedByTheFrameComesBackFresh()
    {
        Form1 *editor = openEditor();
        doubleClickRow(editor, 0);
        QPointer<Dialog> first = Windows::find<Dialog>();
        QVERIFY(first && first->isVisible());
        QVERIFY(!editor->isEnabled());
        click(first->Option2);
        QTest::keyClicks(first->Text2, QStringLiteral("/quiet"));
        QVERIFY(first->close());
        QVERIFY(editor->isEnabled());
        QVERIFY(!Windows::find<Dialog>());
        QCOMPARE(editor->rows(), QStringList({"/opt/a.sh", "/opt/b.sh /S"}));
        flushDeletes();
        QVERIFY(!first);

        doubleClickRow(editor, 1);
        Dialog *again = Windows::find<Dialog>();
        QVERIFY(again && again->isVisible());
        QVERIFY(!editor->isEnabled());
        QVERIFY(again->Option1->isChecked());
        QCOMPARE(again->Text1->text(), QStringLiteral("/opt/b.sh /S"));
        QCOMPARE(again->Text2->text(), QString());
        QVERIFY(!again->Text2->isEnabled());
    }

    // Closed by its frame, the search options window is Cancel: hidden but
    // still loaded with the choice made, and the editor takes clicks again.
    void searchOptionsClosedByTheFrameStayLoaded()
    {
        Form1 *editor = openEditor();
        click(controls(editor).Command1); // Search, with rows there
        QPointer<Form5> options = Windows::find<Form5>();
        QVERIFY(options && options->isVisible());
        QVERIFY(!editor->isEnabled());
        click(options->Option2);
        QVERIFY(options->close());
        QVERIFY(!options->isVisible());
        QVERIFY(editor->isEnabled());
        QCOMPARE(controls(editor).ListB->ListCount(), 2);
        flushDeletes();
        QVERIFY(options);
        QCOMPARE(Windows::find<Form5>(), options.data());

        click(controls(editor).Command1);
        QCOMPARE(Windows::find<Form5>(), options.data());
        QVERIFY(options->isVisible() && options->Option2->isChecked());
        QVERIFY(!editor->isEnabled());
    }
};

QTEST_MAIN(TestWindowLifeCycle)
#include "tst_windowlifecycle.moc"
