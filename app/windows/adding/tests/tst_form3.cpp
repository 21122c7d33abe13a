// SPDX-License-Identifier: GPL-3.0-or-later
// The search path chooser driven as a user would, over a temporary folder tree
// with one drive that has no medium.
#include "AddingWindows.h"
#include "core/common/Folders.h"
#include "core/common/Globals.h"
#include "windows/adding/BrowseWidgets.h"
#include "windows/adding/Form3.h"
#include "windows/editor/Form1.h"
#include "windows/editor/tests/EditorControls.h"
#include "windows/ui/Program.h"
#include "windows/ui/Twips.h"
#include "windows/ui/Windows.h"

#include <QLineEdit>
#include <QPushButton>

class TestForm3 : public QObject, protected AddingWindows
{
    Q_OBJECT

    Form3 *open() { return openBy<Form3>(controls(m_editor).Command8, "\"Open\""); }

    static void doubleClickFolder(Form3 *w, const QString &name)
    {
        QTreeWidgetItem *item = folderItem(w->Dir1, name);
        QVERIFY2(item, qPrintable(name));
        doubleClickAt(w->Dir1, w->Dir1->visualItemRect(item));
    }

private slots:
    void initTestCase() { QVERIFY(setUpOnce()); }
    void cleanupTestCase() { tearDownOnce(); }
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void opensAtTheCurrentFolder()
    {
        Form3 *w = open();
        QCOMPARE(w->windowTitle(), QStringLiteral("Select path to search"));
        QVERIFY(!m_editor->isEnabled());
        QCOMPARE(w->size(), twSize(4680, 3495));
        QVERIFY2(!w->background().isNull(), "Dialog1.jpg is in the application folder");
        QCOMPARE(w->Drive1->geometry(), twRect(120, 240, 4455, 390));
        QCOMPARE(w->Dir1->geometry(), twRect(120, 720, 4455, 2190));
        QCOMPARE(w->Command1->text(), QStringLiteral("OK"));
        QCOMPARE(w->Command1->geometry(), twRect(3240, 3000, 1215, 375));
        QCOMPARE(w->Command2->text(), QStringLiteral("Cancel"));
        QCOMPARE(w->Command2->geometry(), twRect(1680, 3000, 1335, 375));
        QCOMPARE(w->Drive1->drive(), m_tree.A);
        QCOMPARE(w->Dir1->path(), m_tree.Setups);
        QCOMPARE(w->Drive1->count(), 3);
        QCOMPARE(w->Drive1->nextInFocusChain(), static_cast<QWidget *>(w->Dir1));
    }

    void okWritesTheOpenedFolder()
    {
        Form3 *w = open();
        // A single click only highlights: OK takes the folder last opened.
        QTreeWidgetItem *sub = folderItem(w->Dir1, QStringLiteral("Sub"));
        clickAt(w->Dir1, w->Dir1->visualItemRect(sub));
        QCOMPARE(w->Dir1->path(), m_tree.Setups);
        QTest::mouseClick(w->Command1, Qt::LeftButton);
        QCOMPARE(controls(m_editor).Text1->text(), m_tree.Setups);
        QVERIFY(!w->isVisible());
        QVERIFY(m_editor->isEnabled());

        // The root of a drive, replacing what the path box held.
        open();
        doubleClickFolder(w, QDir::toNativeSeparators(m_tree.A));
        QTest::mouseClick(w->Command1, Qt::LeftButton);
        QCOMPARE(controls(m_editor).Text1->text(), m_tree.A);

        // The keyboard opens a folder too.
        open();
        w->Dir1->setCurrentItem(folderItem(w->Dir1, QStringLiteral("Setups")));
        QTest::keyClick(w->Dir1, Qt::Key_Return);
        QCOMPARE(w->Dir1->path(), m_tree.Setups);
        QTest::mouseClick(w->Command1, Qt::LeftButton);
        QCOMPARE(controls(m_editor).Text1->text(), m_tree.Setups);
    }

    void secondOpenShowsTheFolderChosenBefore()
    {
        Form3 *w = open();
        doubleClickFolder(w, QStringLiteral("Sub"));
        QTest::mouseClick(w->Command1, Qt::LeftButton);
        QCOMPARE(open(), w);
        QVERIFY(!m_editor->isEnabled());
        QCOMPARE(w->Dir1->path(), m_tree.Setups + "/Sub");
        QCOMPARE(w->Dir1->currentItem()->text(0), QStringLiteral("Sub"));
    }

    void cancelLeavesThePathBox()
    {
        const QString prompt = controls(m_editor).Text1->text();
        Form3 *w = open();
        doubleClickFolder(w, QStringLiteral("Sub"));
        QTest::mouseClick(w->Command2, Qt::LeftButton);
        QCOMPARE(controls(m_editor).Text1->text(), prompt);
        QVERIFY(!w->isVisible());
        QVERIFY(m_editor->isEnabled());
    }

    void driveWithoutMedium()
    {
        Form3 *w = open();
        QTest::keyClick(w->Drive1, Qt::Key_Down); // A -> B
        QCOMPARE(m_prompts->boxes.size(), 1);
        QCOMPARE(m_prompts->boxes[0].text, QStringLiteral("Drive not ready"));
        QCOMPARE(m_prompts->boxes[0].title, QStringLiteral("Open"));
        QCOMPARE(m_prompts->boxes[0].icon, MsgIcon::Critical);
        QCOMPARE(w->Drive1->drive(), m_tree.B);
        QCOMPARE(w->Dir1->path(), m_tree.Setups);
        QTest::mouseClick(w->Command1, Qt::LeftButton);
        QCOMPARE(controls(m_editor).Text1->text(), m_tree.Setups);

        open();
        QTest::keyClick(w->Drive1, Qt::Key_Down); // B -> C, ready
        QCOMPARE(m_prompts->boxes.size(), 1);
        QCOMPARE(w->Dir1->path(), m_tree.C);
        QTest::mouseClick(w->Command1, Qt::LeftButton);
        QCOMPARE(controls(m_editor).Text1->text(), m_tree.C);
    }

    void folderNamedInLatin1IsSearched()
    {
        // Chosen by its name as the list shows it, searched by its bytes.
        const QString folder = AddingTree::latin1Folder(m_tree.A);
        Form3 *w = open();
        doubleClickFolder(w, QDir::toNativeSeparators(m_tree.A));
        doubleClickFolder(w, FileNameCodec::decodeFileName("Caf\xe9"));
        QTest::mouseClick(w->Command1, Qt::LeftButton);
        QCOMPARE(controls(m_editor).Text1->text(), folder);
        controls(m_editor).Text2->setText(QStringLiteral("*.exe"));
        QTest::mouseClick(controls(m_editor).Command1, Qt::LeftButton); // "Search"
        const QStringList rows = m_editor->rows();
        QCOMPARE(rows.size(), 2);
        for (const QString &row : rows)
            QVERIFY2(AddingTree::namesAFile(row), qPrintable(row));
        QVERIFY(m_prompts->boxes.isEmpty());
    }

    void closingUnloads()
    {
        QPointer<Form3> w = open();
        doubleClickFolder(w, QStringLiteral("Sub"));
        const QString before = controls(m_editor).Text1->text();
        w->close();
        QVERIFY(m_editor->isEnabled());
        QCOMPARE(controls(m_editor).Text1->text(), before);
        QVERIFY(!Windows::find<Form3>());
        QTRY_VERIFY(w.isNull());

        Form3 *fresh = open();
        QCOMPARE(fresh->Dir1->path(), m_tree.Setups);
    }
};

QTEST_MAIN(TestForm3)
#include "tst_form3.moc"
