// SPDX-License-Identifier: GPL-3.0-or-later
// The list editor's rules without a window.
#include "core/editor/EditorLogic.h"

#include <QtTest>

using namespace EditorLogic;

class TestEditorLogic : public QObject
{
    Q_OBJECT

private slots:
    void moveRowToLine_data()
    {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<int>("selected");
        QTest::addColumn<double>("target");
        QTest::addColumn<QStringList>("expected");
        const QStringList abcd{"A", "B", "C", "D"}, abc{"A", "B", "C"};
        QTest::newRow("C to line 1") << abcd << 2 << 1.0 << QStringList{"C", "A", "B", "D"};
        QTest::newRow("A to line 3 of four") << abcd << 0 << 3.0 << QStringList{"B", "C", "A", "D"};
        QTest::newRow("A to line 3 of three") << abc << 0 << 3.0 << QStringList{"B", "C", "A"};
        QTest::newRow("B to its own line") << abc << 1 << 2.0 << abc;
        QTest::newRow("A past the end") << abc << 0 << 5.0 << QStringList{"B", "C", "", "", "A"};
        QTest::newRow("C one past the end") << abc << 2 << 4.0 << QStringList{"A", "B", "", "C"};
        QTest::newRow("D to line 2") << abcd << 3 << 2.0 << QStringList{"A", "D", "B", "C"};
        QTest::newRow("a fraction counts as its whole part") << abcd << 0 << 2.7 << QStringList{"B", "A", "C", "D"};
        QTest::newRow("last line exactly") << abcd << 1 << 4.0 << QStringList{"A", "C", "D", "B"};
    }

    void moveRowToLine()
    {
        QFETCH(QStringList, rows);
        QFETCH(int, selected);
        QFETCH(double, target);
        QFETCH(QStringList, expected);
        QVERIFY(MoveRowToLine(rows, selected, target));
        QCOMPARE(rows, expected);
    }

    void moveRowToLineRefusals()
    {
        QStringList rows{"A", "B"};
        QVERIFY(!MoveRowToLine(rows, -1, 1)); // no row selected
        QVERIFY(!MoveRowToLine(rows, 0, 0.5));
        QVERIFY(!MoveRowToLine(rows, 0, -3));
        QVERIFY(!MoveRowToLine(rows, 0, 32768)); // no list can have that line
        QCOMPARE(rows, QStringList({"A", "B"}));
        QVERIFY(MoveRowToLine(rows, 0, 32767));
        QCOMPARE(rows.size(), 32767);
        QCOMPARE(rows.last(), QStringLiteral("A"));
        QCOMPARE(rows.first(), QStringLiteral("B"));
    }

    void readTargetLine()
    {
        QCOMPARE(EditorLogic::readTargetLine(QStringLiteral("3")), 3.0);
        QCOMPARE(EditorLogic::readTargetLine(QStringLiteral("3abc")), 3.0);
        QCOMPARE(EditorLogic::readTargetLine(QStringLiteral("  12")), 12.0);
        QCOMPARE(EditorLogic::readTargetLine(QStringLiteral("2.5x")), 2.5);
        QCOMPARE(EditorLogic::readTargetLine(QStringLiteral("-4")), -4.0);
        QCOMPARE(EditorLogic::readTargetLine(QStringLiteral("abc")), 0.0);
        QCOMPARE(EditorLogic::readTargetLine(QString()), 0.0);
        QCOMPARE(EditorLogic::readTargetLine(QStringLiteral("-")), 0.0);
    }

    void selectionChangeAndTick()
    {
        // One row, no title: both stay disabled.
        Buttons b = afterSelectionChange(0, 1);
        QVERIFY(!b.up && !b.down);
        Tick t = refresh(b, 1, 0, 0);
        QCOMPARE(t.countText, QStringLiteral("File(s) in the list : 1"));
        QCOMPARE(t.hint, QStringLiteral("Double click on the item to change switch or remove item."));

        // A title and two programs.
        b = afterSelectionChange(0, 3);
        t = refresh(b, 3, 0, 1);
        QVERIFY(!t.buttons.up && !t.buttons.down); // the title row
        QCOMPARE(t.countText, QStringLiteral("File(s) in the list : 2"));
        b = afterSelectionChange(1, 3);
        t = refresh(b, 3, 1, 1);
        QVERIFY(!t.buttons.up && t.buttons.down);
        b = afterSelectionChange(2, 3);
        t = refresh(b, 3, 2, 1);
        QVERIFY(t.buttons.up && !t.buttons.down);

        // The tick never enables; an empty list clears the labels.
        t = refresh({false, false}, 5, 2, 0);
        QVERIFY(!t.buttons.up && !t.buttons.down);
        t = refresh({true, true}, 0, -1, 0);
        QVERIFY(!t.buttons.up && !t.buttons.down);
        QVERIFY(t.clearFoundText);
        QVERIFY(t.hint.isEmpty() && t.countText.isEmpty());
    }

    void menuKeys()
    {
        QCOMPARE(menuAction(QStringLiteral("SIL"), 0), MenuAction::None);
        QCOMPARE(menuAction(QStringLiteral("CRI"), 0), MenuAction::None);
        QCOMPARE(menuAction(QStringLiteral("REM"), 0), MenuAction::None);
        QCOMPARE(menuAction(QStringLiteral("ADD"), 0), MenuAction::AddItem);
        QCOMPARE(menuAction(QStringLiteral("CLE"), 0), MenuAction::ClearList);
        QCOMPARE(menuAction(QStringLiteral("SIL"), 1), MenuAction::SendToLine);
        QCOMPARE(menuAction(QStringLiteral("CRI"), 1), MenuAction::ChangeItem);
        QCOMPARE(menuAction(QStringLiteral("REM"), 1), MenuAction::RemoveItem);
        QCOMPARE(menuAction(QStringLiteral("Line2"), 1), MenuAction::None);
    }

    void switchForAll()
    {
        QStringList rows{"Title", "C:\\a.exe", "C:\\b.msi /q"};
        addSwitchToAll(rows, QStringLiteral("/S"), 1);
        QCOMPARE(rows, QStringList({"Title", "C:\\a.exe /S", "C:\\b.msi /q /S"}));
        QStringList plain{"a", "b"};
        addSwitchToAll(plain, QString(), 0);
        QCOMPARE(plain, QStringList({"a ", "b "}));
    }
};

QTEST_GUILESS_MAIN(TestEditorLogic)
#include "tst_editorlogic.moc"
