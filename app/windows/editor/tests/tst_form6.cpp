// SPDX-License-Identifier: GPL-3.0-or-later
// The send-to-line window opened as the user opens it (a right click on the
// list, the item menu by keyboard), the target typed into Text3 and sent with
// Enter.
#include "ScriptedPrompts.h"
#include "WindowTestFixture.h"
#include "core/common/Folders.h"
#include "core/common/Globals.h"
#include "windows/editor/Form1.h"
#include "windows/editor/Form6.h"
#include "windows/editor/tests/EditorControls.h"
#include "windows/install/Form2.h"
#include "windows/ui/Program.h"
#include "windows/ui/Windows.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QtTest>

class TestForm6 : public QObject
{
    Q_OBJECT

    WindowTestFixture m_windows;
    ScriptedPrompts *m_prompts = nullptr; // m_windows' while a test runs

    static Form1 *openEditor()
    {
        Form2 *main = Windows::show<Form2>();
        QTest::mouseClick(main->Image2, Qt::LeftButton); // Point
        return Windows::find<Form1>();
    }

    static QPoint rowCentre(Form1 *w, int row)
    {
        return controls(w).ListB->visualItemRect(controls(w).ListB->item(row)).center();
    }

    static void selectRow(Form1 *w, int row)
    {
        QTest::mouseClick(controls(w).ListB->viewport(), Qt::LeftButton, {}, rowCentre(w, row));
    }

    // Right click on the list, then the menu's entry by keyboard: Down steps
    // over the separators, from "> Add new item" onwards.
    static void chooseFromItemMenu(Form1 *w, int downPresses)
    {
        const QPoint at = controls(w).ListB->ListCount() ? rowCentre(w, 0) : QPoint(10, 10);
        QCursor::setPos(controls(w).ListB->viewport()->mapToGlobal(at));
        QTest::mouseClick(controls(w).ListB->viewport(), Qt::RightButton, {}, at);
        QMenu *menu = nullptr;
        QVERIFY(QTest::qWaitFor(
                [&] {
                    menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
                    return menu != nullptr;
                },
                3000));
        for (int i = 0; i < downPresses; ++i)
            QTest::keyClick(menu, Qt::Key_Down);
        QTest::keyClick(menu, Qt::Key_Return);
    }

    static Form6 *openSendToLine(Form1 *w)
    {
        chooseFromItemMenu(w, 2); // "> Send selected item to other line    "
        Form6 *f = Windows::find<Form6>();
        return f && f->isVisible() ? f : nullptr;
    }

    static void typeAndEnter(Form6 *f, const QString &text)
    {
        f->Text3->clear();
        QTest::keyClicks(f->Text3, text);
        QTest::keyClick(f->Text3, Qt::Key_Return);
    }

private slots:
    void init() { m_prompts = m_windows.setUp(); }

    void cleanup()
    {
        m_windows.tearDown();
        m_prompts = nullptr;
    }

    // A positive target always empties the box, also when the move itself
    // changes nothing; a target that is not positive leaves it as typed.
    void enterEmptiesTheBoxForEveryPositiveTarget_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("rowSelected");
        QTest::addColumn<QStringList>("rowsAfter");
        QTest::addColumn<QString>("textAfter");
        const QStringList unchanged{"A", "B", "C"};
        QTest::newRow("moves") << "1" << true << QStringList{"B", "A", "C"} << QString();
        QTest::newRow("number then letters") << "3x" << true << QStringList{"A", "C", "B"} << QString();
        QTest::newRow("own line") << "2" << true << unchanged << QString();
        QTest::newRow("beyond the list's limit") << "40000" << true << unchanged << QString();
        QTest::newRow("below one") << "0.5" << true << unchanged << QString();
        QTest::newRow("no row selected") << "3" << false << unchanged << QString();
        QTest::newRow("zero") << "0" << true << unchanged << "0";
        QTest::newRow("negative") << "-2" << true << unchanged << "-2";
        QTest::newRow("letters") << "abc" << true << unchanged << "abc";
        QTest::newRow("blank") << " " << true << unchanged << " ";
    }

    void enterEmptiesTheBoxForEveryPositiveTarget()
    {
        QFETCH(QString, typed);
        QFETCH(bool, rowSelected);
        QFETCH(QStringList, rowsAfter);
        QFETCH(QString, textAfter);

        Form1 *w = openEditor();
        QVERIFY(w);
        w->setRows({"A", "B", "C"});
        selectRow(w, 1);
        if (!rowSelected) {
            // Remove the selected row, then put it back: no row is selected now.
            chooseFromItemMenu(w, 4); // "> Remove selected item"
            QCOMPARE(controls(w).ListB->ListCount(), 2);
            w->setRows({"A", "B", "C"});
            QCOMPARE(controls(w).ListB->ListIndex(), -1);
        }
        Form6 *f = openSendToLine(w);
        QVERIFY(f);
        QVERIFY(!w->isEnabled());
        QCOMPARE(f->focusWidget(), f->Text3);

        typeAndEnter(f, typed);
        QCOMPARE(w->rows(), rowsAfter);
        QCOMPARE(f->Text3->text(), textAfter);
        QVERIFY(!f->isVisible());
        QVERIFY(w->isEnabled());

        // The next opening shows what the send left in the box.
        if (rowSelected)
            selectRow(w, 0);
        f = openSendToLine(w);
        QVERIFY(f);
        QCOMPARE(f->Text3->text(), textAfter);
        QTest::mouseClick(f->Command1, Qt::LeftButton);
        QVERIFY(w->isEnabled());
        QCOMPARE(f->Text3->text(), textAfter);
    }
};

QTEST_MAIN(TestForm6)
#include "tst_form6.moc"
