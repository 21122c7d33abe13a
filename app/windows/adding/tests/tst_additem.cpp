// SPDX-License-Identifier: GPL-3.0-or-later
// The add-item dialog driven as a user would, over a temporary folder tree with
// one drive that has no medium.
#include "AddingWindows.h"
#include "core/common/Folders.h"
#include "core/common/Globals.h"
#include "core/common/Seams.h"
#include "windows/adding/Additem.h"
#include "windows/adding/BrowseWidgets.h"
#include "windows/editor/Form1.h"
#include "windows/editor/tests/EditorControls.h"
#include "windows/ui/Program.h"
#include "windows/ui/Twips.h"
#include "windows/ui/Windows.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

class TestAdditem : public QObject, protected AddingWindows
{
    Q_OBJECT

    Additem *open() { return openBy<Additem>(controls(m_editor).Command6, "\"Add item\""); }

    static void clickFile(Additem *w, const QString &name)
    {
        const QList<QListWidgetItem *> found = w->File1->findItems(name, Qt::MatchExactly);
        QVERIFY2(!found.isEmpty(), qPrintable(name));
        clickAt(w->File1, w->File1->visualItemRect(found.first()));
    }

    static void doubleClickFile(Additem *w, const QString &name)
    {
        const QList<QListWidgetItem *> found = w->File1->findItems(name, Qt::MatchExactly);
        QVERIFY2(!found.isEmpty(), qPrintable(name));
        doubleClickAt(w->File1, w->File1->visualItemRect(found.first()));
    }

    static void doubleClickFolder(QTreeWidget *tree, const QString &name)
    {
        QTreeWidgetItem *item = folderItem(tree, name);
        QVERIFY2(item, qPrintable(name));
        doubleClickAt(tree, tree->visualItemRect(item));
    }

    static void typePattern(Additem *w, const QString &pattern)
    {
        QLineEdit *edit = w->Combo1->lineEdit();
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, pattern);
    }

    // On its circle, where a user clicks an option button.
    static void choose(QAbstractButton *option)
    {
        QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(8, option->height() / 2));
    }

    int screenTop(QWidget *w) const { return w->screen()->geometry().top(); }

private slots:
    void initTestCase() { QVERIFY(setUpOnce()); }
    void cleanupTestCase() { tearDownOnce(); }
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void opensInBrowseMode()
    {
        Additem *w = open();
        QCOMPARE(w->windowTitle(), QStringLiteral("Select path to search"));
        QVERIFY2(!m_editor->isEnabled(), "the editor waits while the dialog is open");
        QCOMPARE(w->size(), twSize(4695, 9255));
        QCOMPARE(w->frameGeometry().top(), screenTop(w) + tw(1000));
        QCOMPARE(w->Shape1->geometry(), twRect(0, 0, 4695, 9255));
        QVERIFY(w->Option2->isChecked() && !w->Option1->isChecked());
        QVERIFY(!w->Text1->isVisible() && !w->Command2->isVisible() && !w->Command3->isVisible());
        QVERIFY(w->Drive1->isVisible() && w->Dir1->isVisible() && w->File1->isVisible());
        QVERIFY2(!w->background().isNull(), "Dialog1.jpg is in the application folder");
        QVERIFY(!w->Image1->pixmap().isNull() && !w->Image2->pixmap().isNull());

        QCOMPARE(w->Label3->caption(), QStringLiteral("How do you want to add?"));
        QCOMPARE(w->Option1->text(), QStringLiteral("Add manually"));
        QCOMPARE(w->Option2->text(), QStringLiteral("Add with showing list of drives,directory,files"));
        QCOMPARE(w->Label1->caption(), QStringLiteral("Double click on the file to add"));
        QCOMPARE(w->Label2->caption(), QString());
        QCOMPARE(w->Command1->text(), QStringLiteral("Cancel"));
        QCOMPARE(w->Command2->text(), QStringLiteral("Add"));
        QCOMPARE(w->Command3->text(), QStringLiteral("Cancel"));
        QCOMPARE(w->File1->geometry(), twRect(120, 4680, 4455, 3060));
        QCOMPARE(w->Combo1->geometry(), twRect(120, 8760, 3135, 390));
        QCOMPARE(w->Command2->geometry(), twRect(3360, 1560, 975, 270));
        QCOMPARE(w->Image1->geometry(), twRect(0, 6360, 4695, 2895));

        QStringList patterns;
        for (int i = 0; i < w->Combo1->count(); ++i)
            patterns << w->Combo1->itemText(i);
        QCOMPARE(patterns, QStringList({"*.EXE;*.MSI;*.BAT", "*.EXE", "*.MSI", "*.BAT", "*.*"}));
        QCOMPARE(w->Combo1->currentIndex(), 0);
        QVERIFY(w->Combo1->isEditable());

        // At the program's current drive and folder, with the setup files only.
        QCOMPARE(w->Drive1->drive(), m_tree.A);
        QCOMPARE(w->Dir1->path(), m_tree.Setups);
        QCOMPARE(texts(w->File1), QStringList({"big.exe", "run.bat", "setup.exe", "Tool.MSI"}));
        QCOMPARE(w->Dir1->currentItem()->text(0), QStringLiteral("Setups"));
        QVERIFY(folderItem(w->Dir1, QStringLiteral("Sub")));

        // Tab order (an option group is one tab stop: the chosen option takes it).
        const QList<QWidget *> expected{w->Drive1,  w->Dir1,    w->Command1, w->File1,    w->Combo1,
                                        w->Option1, w->Option2, w->Text1,    w->Command2, w->Command3};
        QList<QWidget *> order;
        QWidget *next = w->Drive1;
        for (int step = 0; step < 200 && order.size() < expected.size(); ++step, next = next->nextInFocusChain()) {
            if (expected.contains(next))
                order << next;
        }
        QCOMPARE(order, expected);
    }

    void switchesBetweenTheTwoSizes()
    {
        Additem *w = open();
        choose(w->Option1);
        QCOMPARE(w->size(), twSize(4695, 1860));
        QCOMPARE(w->frameGeometry().top(), screenTop(w) + tw(4575));
        QCOMPARE(w->Shape1->height(), tw(1850));
        QVERIFY(w->Text1->isVisible() && w->Command2->isVisible() && w->Command3->isVisible());

        choose(w->Option2);
        QCOMPARE(w->size(), twSize(4695, 9255));
        QCOMPARE(w->frameGeometry().top(), screenTop(w) + tw(1000));
        QCOMPARE(w->Shape1->height(), tw(9255));
        QVERIFY(!w->Text1->isVisible() && !w->Command2->isVisible() && !w->Command3->isVisible());
    }

    void doubleClickAppendsTheFile()
    {
        controls(m_editor).ListB->AddItem(QStringLiteral("first row"));
        Additem *w = open();
        doubleClickFile(w, QStringLiteral("setup.exe"));
        doubleClickFile(w, QStringLiteral("Tool.MSI"));
        QCOMPARE(m_editor->rows(),
                 QStringList({"first row", m_tree.Setups + "/setup.exe", m_tree.Setups + "/Tool.MSI"}));
        QVERIFY2(w->isVisible(), "several files can be added one after another");
        QVERIFY(!m_editor->isEnabled());

        // From another folder, opened by a double-click; a single click only highlights.
        QTreeWidgetItem *sub = folderItem(w->Dir1, QStringLiteral("Sub"));
        clickAt(w->Dir1, w->Dir1->visualItemRect(sub));
        QCOMPARE(w->Dir1->path(), m_tree.Setups);
        QCOMPARE(texts(w->File1).size(), 4);
        doubleClickFolder(w->Dir1, QStringLiteral("Sub"));
        QCOMPARE(w->Dir1->path(), m_tree.Setups + "/Sub");
        QCOMPARE(texts(w->File1), QStringList{"inner.exe"});
        doubleClickFolder(w->Dir1, QDir::toNativeSeparators(m_tree.A));
        QCOMPARE(texts(w->File1), QStringList{"root.exe"});
        doubleClickFile(w, QStringLiteral("root.exe"));
        QCOMPARE(controls(m_editor).ListB->List(3), m_tree.A + "/root.exe");
        QCOMPARE(controls(m_editor).ListB->ListCount(), 4);
    }

    void clickShowsNameAndSize()
    {
        Additem *w = open();
        const QString point = QLocale::system().decimalPoint();
        clickFile(w, QStringLiteral("setup.exe"));
        QCOMPARE(w->Label2->caption(), "File name :\rsetup.exe\rSize : 0" + point + "5  KB");
        QCOMPARE(w->Label2->text(), "File name :\nsetup.exe\nSize : 0" + point + "5  KB");
        clickFile(w, QStringLiteral("big.exe"));
        QCOMPARE(w->Label2->caption(), QStringLiteral("File name :\rbig.exe\rSize : 3  MB"));
        clickFile(w, QStringLiteral("run.bat"));
        QCOMPARE(w->Label2->caption(), "File name :\rrun.bat\rSize : 1023" + point + "99414  KB");
        QTest::keyClick(w->File1, Qt::Key_Down); // arrow keys move the selection too
        QCOMPARE(w->Label2->caption(), QStringLiteral("File name :\rsetup.exe\rSize : 0") + point + "5  KB");

        // A file that vanished after it was listed.
        const QString gone = m_tree.Setups + "/gone.exe";
        AddingTree::file(gone, 100);
        w->File1->refresh();
        QVERIFY(QFile::remove(gone));
        clickFile(w, QStringLiteral("gone.exe"));
        QCOMPARE(w->Label2->caption(), QStringLiteral("File name :\rgone.exe\rSize : unknown"));
        QVERIFY(m_prompts->boxes.isEmpty());
    }

    void patternFiltersAtOnce()
    {
        Additem *w = open();
        typePattern(w, QStringLiteral("*.TXT"));
        QCOMPARE(w->File1->pattern(), QStringLiteral("*.TXT"));
        QCOMPARE(texts(w->File1), QStringList({"NOTES.TXT", "readme.txt"}));
        typePattern(w, QStringLiteral("*.exe;*.txt"));
        QCOMPARE(texts(w->File1), QStringList({"big.exe", "NOTES.TXT", "readme.txt", "setup.exe"}));

        // Choosing "*.*" from the list (index 0, then four steps down).
        QTest::keyClick(w->Combo1, Qt::Key_Down);
        QCOMPARE(texts(w->File1), QStringList({"big.exe", "setup.exe"}));
        for (int i = 0; i < 3; ++i)
            QTest::keyClick(w->Combo1, Qt::Key_Down);
        QCOMPARE(w->Combo1->currentText(), QStringLiteral("*.*"));
        QCOMPARE(texts(w->File1),
                 QStringList({"big.exe", "NOTES.TXT", "readme.txt", "run.bat", "setup.exe", "Tool.MSI"}));
    }

    void driveWithoutMedium()
    {
        Additem *w = open();
        doubleClickFolder(w->Dir1, QStringLiteral("Sub"));
        const QStringList filesBefore = texts(w->File1);

        QTest::keyClick(w->Drive1, Qt::Key_Down); // A -> B
        QCOMPARE(m_prompts->boxes.size(), 1);
        QCOMPARE(m_prompts->boxes[0].text, QStringLiteral("Drive not ready"));
        QCOMPARE(m_prompts->boxes[0].title, QStringLiteral("Add item"));
        QCOMPARE(m_prompts->boxes[0].icon, MsgIcon::Critical);
        QCOMPARE(w->Drive1->drive(), m_tree.B);
        QCOMPARE(w->Dir1->path(), m_tree.Setups + "/Sub");
        QCOMPARE(texts(w->File1), filesBefore);

        QTest::keyClick(w->Drive1, Qt::Key_Down); // B -> C, ready
        QCOMPARE(m_prompts->boxes.size(), 1);
        QCOMPARE(w->Dir1->path(), m_tree.C);
        QCOMPARE(texts(w->File1), QStringList{"c.msi"});

        // Back on A, the drive's current folder is the program's own.
        QTest::keyClick(w->Drive1, Qt::Key_Home);
        QCOMPARE(w->Dir1->path(), m_tree.Setups);
        QCOMPARE(texts(w->File1).size(), 4);
    }

    void addTypedLine()
    {
        Additem *w = open();
        choose(w->Option1);
        QTest::keyClicks(w->Text1, QStringLiteral("C:\\Setups\\setup.exe /S"));
        QTest::mouseClick(w->Command2, Qt::LeftButton);
        QCOMPARE(m_editor->rows(), QStringList{"C:\\Setups\\setup.exe /S"});
        QVERIFY(!w->isVisible());
        QVERIFY(m_editor->isEnabled());

        // Nothing is checked: an empty line is appended as it stands.
        open();
        QVERIFY(!m_editor->isEnabled());
        w->Text1->clear();
        QTest::mouseClick(w->Command2, Qt::LeftButton);
        QCOMPARE(m_editor->rows(), QStringList({"C:\\Setups\\setup.exe /S", ""}));
    }

    void cancelKeepsTheDialogAsItWas()
    {
        Additem *w = open();
        clickFile(w, QStringLiteral("setup.exe"));
        const QString info = w->Label2->caption();
        typePattern(w, QStringLiteral("*.TXT"));
        QTest::mouseClick(w->Command1, Qt::LeftButton); // browse mode's Cancel
        QVERIFY(!w->isVisible());
        QVERIFY(m_editor->isEnabled());
        QCOMPARE(controls(m_editor).ListB->ListCount(), 0);

        QCOMPARE(open(), w);
        QVERIFY2(!m_editor->isEnabled(), "opening again disables the editor again");
        QCOMPARE(w->Combo1->currentText(), QStringLiteral("*.TXT"));
        QCOMPARE(w->Label2->caption(), info);

        choose(w->Option1);
        QTest::keyClicks(w->Text1, QStringLiteral("typed"));
        QTest::mouseClick(w->Command3, Qt::LeftButton); // manual mode's Cancel
        QVERIFY(!w->isVisible() && m_editor->isEnabled());
        QCOMPARE(controls(m_editor).ListB->ListCount(), 0);

        open();
        QVERIFY(!m_editor->isEnabled());
        QCOMPARE(w->size(), twSize(4695, 1860));
        QCOMPARE(w->Text1->text(), QStringLiteral("typed"));
    }

    void closingUnloads()
    {
        QPointer<Additem> w = open();
        choose(w->Option1);
        QTest::keyClicks(w->Text1, QStringLiteral("typed"));
        w->close();
        QVERIFY(m_editor->isEnabled());
        QVERIFY(!Windows::find<Additem>());
        QTRY_VERIFY(w.isNull());
        QCOMPARE(controls(m_editor).ListB->ListCount(), 0);

        Additem *fresh = open();
        QVERIFY(!m_editor->isEnabled());
        QVERIFY(fresh->Option2->isChecked());
        QCOMPARE(fresh->size(), twSize(4695, 9255));
        QCOMPARE(fresh->Text1->text(), QString());
    }

    void namesThatAreNotUtf8()
    {
        // The program started in a folder whose name is Latin-1 bytes.
        const QString folder = AddingTree::latin1Folder(m_tree.A);
        const QString resume = FileNameCodec::decodeFileName("r\xe9sum\xe9.exe");
        QCOMPARE(::chdir(FileNameCodec::encodeFileName(folder).constData()), 0);
        Additem *w = open();
        QDir::setCurrent(m_tree.Setups);
        QCOMPARE(w->Drive1->drive(), m_tree.A);
        QCOMPARE(w->Dir1->path(), folder);
        QCOMPARE(w->Dir1->currentItem()->text(0), FileNameCodec::decodeFileName("Caf\xe9"));
        QCOMPARE(texts(w->File1), QStringList{resume});

        clickFile(w, resume);
        QCOMPARE(w->Label2->caption(),
                 "File name :\r" + resume + "\rSize : 0" + QLocale::system().decimalPoint() + "5  KB");
        doubleClickFile(w, resume);
        doubleClickFolder(w->Dir1, FileNameCodec::decodeFileName("Deeper\xff"));
        QCOMPARE(texts(w->File1), QStringList{"inner.exe"});
        doubleClickFile(w, QStringLiteral("inner.exe"));
        const QStringList rows = m_editor->rows();
        QCOMPARE(rows,
                 QStringList({folder + "/" + resume, folder + FileNameCodec::decodeFileName("/Deeper\xff/inner.exe")}));
        for (const QString &row : rows)
            QVERIFY2(AddingTree::namesAFile(row), qPrintable(row)); // the run starts that very file
        QVERIFY(m_prompts->boxes.isEmpty());
    }

    void missingPictureIsPassedOver()
    {
        QTemporaryDir empty;
        Seams::setAppDir(empty.path());
        Additem *w = open();
        Seams::setAppDir(QStringLiteral(SETUPREEL_BUILD_APP_DIR));
        QVERIFY(w->background().isNull());
        // The steps after the picture still ran.
        QCOMPARE(w->Dir1->path(), m_tree.Setups);
        QCOMPARE(texts(w->File1).size(), 4);
    }
};

QTEST_MAIN(TestAdditem)
#include "tst_additem.moc"
