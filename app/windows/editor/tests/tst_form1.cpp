// SPDX-License-Identifier: GPL-3.0-or-later
// The list editor and its small windows driven as a user would, with scripted
// dialog answers and the real control libraries from the build.
#include "AnimatedPictureControl.h"
#include "PopupMenuControl.h"
#include "ScriptedPrompts.h"
#include "WindowTestFixture.h"
#include "core/common/Folders.h"
#include "core/common/Globals.h"
#include "windows/adding/Form5.h"
#include "windows/editor/Dialog.h"
#include "windows/editor/Form1.h"
#include "windows/editor/Form6.h"
#include "windows/editor/tests/EditorControls.h"
#include "windows/install/Form2.h"
#include "windows/ui/Program.h"
#include "windows/ui/Windows.h"

#include <QClipboard>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class TestForm1 : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    WindowTestFixture m_windows;
    ScriptedPrompts *m_prompts = nullptr; // m_windows' while a test runs

    Form1 *openEditor()
    {
        Form2 *main = Windows::show<Form2>();
        QTest::mouseClick(main->Image2, Qt::LeftButton); // Point
        Form1 *editor = Windows::find<Form1>();
        return editor;
    }

    static void selectRow(Form1 *w, int row)
    {
        QListWidgetItem *item = controls(w).ListB->item(row);
        QTest::mouseClick(controls(w).ListB->viewport(), Qt::LeftButton, {},
                          controls(w).ListB->visualItemRect(item).center());
    }

    static void doubleClickRow(Form1 *w, int row)
    {
        const QPoint at = controls(w).ListB->visualItemRect(controls(w).ListB->item(row)).center();
        QTest::mouseClick(controls(w).ListB->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(controls(w).ListB->viewport(), Qt::LeftButton, {}, at);
    }

    static void tick() { QTest::qWait(40); }

    static QByteArray readAll(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // Chooses a menu entry the way the user does: through the real popup menu.
    static void chooseMenuEntry(Form1 *w, const QString &key)
    {
        QVERIFY2(controls(w).PopupMenu, "the item menu comes from its control library");
        auto *menu = qobject_cast<QMenu *>(controls(w).PopupMenu->menu());
        QVERIFY(menu);
        int index = -1;
        for (int i = 0; i < controls(w).PopupMenu->Count(); ++i) {
            if (controls(w).PopupMenu->Key(i) == key)
                index = i;
        }
        QVERIFY(index >= 0);
        menu->actions().at(index)->trigger();
    }

    static QMenu *itemMenu(Form1 *w)
    {
        return controls(w).PopupMenu ? qobject_cast<QMenu *>(controls(w).PopupMenu->menu()) : nullptr;
    }

    // The right button released over a row opens the item menu.
    static QMenu *rightClickRow(Form1 *w, int row)
    {
        const QPoint at = controls(w).ListB->visualItemRect(controls(w).ListB->item(row)).center();
        QTest::mouseClick(controls(w).ListB->viewport(), Qt::RightButton, {}, at);
        QMenu *menu = itemMenu(w);
        return menu && QTest::qWaitFor([menu] { return menu->isVisible(); }) ? menu : nullptr;
    }

    // Right-clicks a row and clicks the menu entry with that caption.
    static bool chooseByMouse(Form1 *w, int row, const QString &caption)
    {
        QMenu *menu = rightClickRow(w, row);
        if (!menu)
            return false;
        for (QAction *action : menu->actions()) {
            if (action->text() == caption) {
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
                return QTest::qWaitFor([menu] { return !menu->isVisible(); });
            }
        }
        return false;
    }

    static void ctrlClickRow(Form1 *w, int row)
    {
        QTest::mouseClick(controls(w).ListB->viewport(), Qt::LeftButton, Qt::ControlModifier,
                          controls(w).ListB->visualItemRect(controls(w).ListB->item(row)).center());
    }

    // Tab from the folder box round the window until the list has the focus.
    static bool tabIntoList(Form1 *w)
    {
        QTest::mouseClick(controls(w).Text1, Qt::LeftButton);
        for (int i = 0; i < 40 && !controls(w).ListB->hasFocus(); ++i) {
            QWidget *focused = QApplication::focusWidget();
            if (!focused)
                return false;
            QTest::keyClick(focused, Qt::Key_Tab);
        }
        return controls(w).ListB->hasFocus();
    }

    QString writeFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            return QString();
        return path;
    }

    // Loads a list file by "Load saved list" and the file dialog.
    void loadByButton(Form1 *w, const QString &path)
    {
        m_prompts->files.enqueue(path);
        QTest::mouseClick(controls(w).Command7, Qt::LeftButton);
    }

    // Saves by "Save list" (a loaded list keeps its title) and reads the file back.
    QByteArray saveByButton(Form1 *w, const QString &name)
    {
        const QString path = m_dir.filePath(name);
        QFile::remove(path);
        m_prompts->files.enqueue(path);
        QTest::mouseClick(controls(w).Command2, Qt::LeftButton);
        return readAll(path);
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void init() { m_prompts = m_windows.setUp(); }

    void cleanup()
    {
        m_windows.tearDown();
        m_prompts = nullptr;
    }

    void pointOpensANewEditor()
    {
        Form1 *w = openEditor();
        QVERIFY(w);
        QVERIFY(w->isVisible());
        QVERIFY(!Windows::find<Form2>()->isVisible());
        QCOMPARE(w->windowTitle(), QStringLiteral("Point To Setup Files"));
        QCOMPARE(controls(w).ListB->ListCount(), 0);
        QVERIFY(!controls(w).Command3->isEnabled() && !controls(w).Command5->isEnabled());
        QCOMPARE(controls(w).Text1->text(),
                 QStringLiteral("Input path that you want to search in here (Double click to clear)"));
        QCOMPARE(controls(w).Text2->text(),
                 QStringLiteral("Input format that you want to search in here (Double click to clear)"));
        QCOMPARE(controls(w).Command5->text(), QStringLiteral("Down  item"));
        QCOMPARE(controls(w).Command7->toolTip(),
                 QStringLiteral("Button \"Load saved list\" : For load your saved list to add "
                                "or remove an item or other chang"));
        tick();
        QVERIFY(controls(w).Label1->caption().isEmpty() && controls(w).Label2->caption().isEmpty()
                && controls(w).Label4->caption().isEmpty());
        QVERIFY(!w->background().isNull());
        QVERIFY(controls(w).PopupMenu);
        QVERIFY(controls(w).CD);
        QVERIFY2(controls(w).AniGif1, "busy.gif plays in the AniGif control");
        QVERIFY(controls(w).AniGif1->IsPlaying());
    }

    void upAndDown()
    {
        Form1 *w = openEditor();
        w->setRows({"r0", "r1", "r2"});
        selectRow(w, 1);
        QCOMPARE(Globals::ItemClicked, qint16(1));
        QVERIFY(controls(w).Command3->isEnabled() && controls(w).Command5->isEnabled());
        QTest::mouseClick(controls(w).Command3, Qt::LeftButton);
        QCOMPARE(w->rows(), QStringList({"r1", "r0", "r2"}));
        QCOMPARE(controls(w).ListB->ListIndex(), 0);
        tick();
        QVERIFY(!controls(w).Command3->isEnabled());
        QVERIFY(controls(w).Command5->isEnabled());
        QCOMPARE(controls(w).Label4->caption(), QStringLiteral("File(s) in the list : 3"));

        selectRow(w, 2);
        QVERIFY(!controls(w).Command5->isEnabled()); // the last row
        selectRow(w, 1);
        QTest::mouseClick(controls(w).Command5, Qt::LeftButton);
        QCOMPARE(w->rows(), QStringList({"r1", "r2", "r0"}));
        QCOMPARE(controls(w).ListB->ListIndex(), 2);
        QVERIFY(!controls(w).Command5->isEnabled());

        // One row: selecting it leaves both disabled.
        w->setRows({"only"});
        selectRow(w, 0);
        QVERIFY(!controls(w).Command3->isEnabled() && !controls(w).Command5->isEnabled());
    }

    void saveLoadAndSaveAgainGivesTheSameFile()
    {
        Form1 *w = openEditor();
        w->setRows({"/opt/setups/a.sh /S", "", "/opt/setups/b c.sh"});
        const QString path = m_dir.filePath(QStringLiteral("tools"));
        m_prompts->inputs.enqueue(QStringLiteral("My tools"));
        m_prompts->files.enqueue(path);
        QTest::mouseClick(controls(w).Command2, Qt::LeftButton);
        QCOMPARE(m_prompts->inputPrompts, QStringList({"You must enter a title for your list of programs|Save List"}));
        QCOMPARE(controls(w).ListB->ListCount(), 0);
        const QByteArray first = readAll(path + QStringLiteral(".SR"));
        QCOMPARE(first, QByteArray(">My tools\r\n/opt/setups/a.sh /S\r\n\r\n/opt/setups/b c.sh\r\n"));
        tick();
        QVERIFY(controls(w).Label4->caption().isEmpty());

        m_prompts->files.enqueue(path + QStringLiteral(".SR"));
        QTest::mouseClick(controls(w).Command7, Qt::LeftButton);
        QCOMPARE(w->rows(), QStringList({"My tools", "/opt/setups/a.sh /S", "", "/opt/setups/b c.sh"}));
        QCOMPARE(Globals::ListHasTitle, qint16(1));
        QCOMPARE(m_prompts->boxes.last().text, QStringLiteral("First item in the list is title of your list."));
        QCOMPARE(m_prompts->boxes.last().icon, MsgIcon::Information);
        tick();
        QCOMPARE(controls(w).Label4->caption(), QStringLiteral("File(s) in the list : 3"));

        // The title row: both buttons off; row 1 may go down only.
        selectRow(w, 0);
        tick();
        QVERIFY(!controls(w).Command3->isEnabled() && !controls(w).Command5->isEnabled());
        selectRow(w, 1);
        tick();
        QVERIFY(!controls(w).Command3->isEnabled() && controls(w).Command5->isEnabled());

        const QString again = m_dir.filePath(QStringLiteral("again.SR"));
        m_prompts->files.enqueue(again);
        QTest::mouseClick(controls(w).Command2, Qt::LeftButton);
        QCOMPARE(m_prompts->inputPrompts.size(), 1); // no second question
        QCOMPARE(readAll(again), first);
        QCOMPARE(Globals::ListHasTitle, qint16(0));
    }

    // The title row counts as a program once the title flag goes, though no
    // row changed: after a cancelled save, and after an appending search that
    // found nothing.
    void titleTurnsIntoAProgramWhenSaveIsCancelledOrASearchAppends()
    {
        const QString path = m_dir.filePath(QStringLiteral("t.SR"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(">T\r\na\r\nb\r\n");
        f.close();
        Form1 *w = openEditor();
        m_prompts->files << path;
        QTest::mouseClick(controls(w).Command7, Qt::LeftButton);
        tick();
        QCOMPARE(controls(w).Label4->caption(), QStringLiteral("File(s) in the list : 2"));
        QTest::mouseClick(controls(w).Command2, Qt::LeftButton); // the dialog is cancelled
        QCOMPARE(controls(w).ListB->ListCount(), 3);
        QCOMPARE(Globals::ListHasTitle, qint16(0));
        tick();
        QCOMPARE(controls(w).Label4->caption(), QStringLiteral("File(s) in the list : 3"));

        m_prompts->files << path;
        QTest::mouseClick(controls(w).Command7, Qt::LeftButton);
        tick();
        QCOMPARE(controls(w).Label4->caption(), QStringLiteral("File(s) in the list : 2"));
        controls(w).Text1->setText(m_dir.path());
        controls(w).Text2->setText(QStringLiteral("*.none"));
        QTest::mouseClick(controls(w).Command1, Qt::LeftButton);
        Form5 *options = Windows::find<Form5>();
        QVERIFY(options);
        options->Option1->click(); // append
        QTest::mouseClick(options->Command1, Qt::LeftButton);
        QCOMPARE(controls(w).ListB->ListCount(), 3);
        tick();
        QCOMPARE(controls(w).Label4->caption(), QStringLiteral("File(s) in the list : 3"));
    }

    void refusedLoadsLeaveTheEditorEmpty()
    {
        const QString lower = m_dir.filePath(QStringLiteral("x.sr"));
        const QString damaged = m_dir.filePath(QStringLiteral("d.SR"));
        for (const QString &p : {lower, damaged}) {
            QFile f(p);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(p == lower ? ">T\r\na\r\n" : "T\r\na\r\n");
        }
        Form1 *w = openEditor();
        w->setRows({"keep?"});
        m_prompts->files << lower << damaged;
        QTest::mouseClick(controls(w).Command7, Qt::LeftButton);
        QCOMPARE(controls(w).ListB->ListCount(), 0);
        QCOMPARE(m_prompts->boxes.last().text, QStringLiteral("Incorrect file name or file format"));
        QCOMPARE(m_prompts->boxes.last().title, QStringLiteral("Load Saved List"));
        w->setRows({"again"});
        QTest::mouseClick(controls(w).Command7, Qt::LeftButton);
        QCOMPARE(controls(w).ListB->ListCount(), 0);
        QCOMPARE(m_prompts->boxes.last().text, QStringLiteral("Damaged file."));
        // A cancelled dialog leaves the rows.
        w->setRows({"stays"});
        QTest::mouseClick(controls(w).Command7, Qt::LeftButton);
        QCOMPARE(w->rows(), QStringList({"stays"}));
    }

    void emptySaveSaysSo()
    {
        Form1 *w = openEditor();
        Globals::ListHasTitle = 1;
        QTest::mouseClick(controls(w).Command2, Qt::LeftButton);
        QCOMPARE(m_prompts->boxes.size(), 1);
        QCOMPARE(m_prompts->boxes[0].text,
                 QStringLiteral("There isn't any item in the list.\rFirst add an item,then save the list"));
        QCOMPARE(m_prompts->boxes[0].title, QStringLiteral("Empty list !"));
        QCOMPARE(m_prompts->boxes[0].icon, MsgIcon::Critical);
        QCOMPARE(Globals::ListHasTitle, qint16(0));
    }

    void menuBeforeAnyRowWasSelected()
    {
        Form1 *w = openEditor();
        w->setRows({"a", "b"});
        chooseMenuEntry(w, QStringLiteral("SIL"));
        chooseMenuEntry(w, QStringLiteral("CRI"));
        chooseMenuEntry(w, QStringLiteral("REM"));
        QVERIFY(!Windows::find<Form6>());
        QVERIFY(!Windows::find<Dialog>());
        QCOMPARE(controls(w).ListB->ListCount(), 2);
        QVERIFY(w->isEnabled());
        chooseMenuEntry(w, QStringLiteral("CLE"));
        QCOMPARE(controls(w).ListB->ListCount(), 0);
    }

    void menuOnALoadedList()
    {
        Form1 *w = openEditor();
        Globals::ListHasTitle = 1;
        w->setRows({"Title", "a", "b"});
        selectRow(w, 0);
        chooseMenuEntry(w, QStringLiteral("REM")); // the title goes like any row
        QCOMPARE(w->rows(), QStringList({"a", "b"}));
        QCOMPARE(controls(w).ListB->ListIndex(), -1);
        QCOMPARE(Globals::ListHasTitle, qint16(1));
        tick();
        QCOMPARE(controls(w).Label4->caption(), QStringLiteral("File(s) in the list : 1"));
        // With no row selected, Remove and Change change nothing.
        chooseMenuEntry(w, QStringLiteral("REM"));
        QCOMPARE(controls(w).ListB->ListCount(), 2);
    }

    void switchDialog()
    {
        Form1 *w = openEditor();
        Globals::ListHasTitle = 1;
        w->setRows({"Title", "C:\\a.exe", "C:\\b.msi /q"});
        doubleClickRow(w, 1);
        Dialog *d = Windows::find<Dialog>();
        QVERIFY(d);
        QVERIFY(!w->isEnabled());
        QVERIFY(d->Option1->isChecked());
        QVERIFY(d->Text1->isEnabled() && !d->Text2->isEnabled());
        QCOMPARE(d->Text1->text(), QStringLiteral("C:\\a.exe"));
        QVERIFY(d->Command1->isEnabled());
        QCOMPARE(d->Label2->caption().count(QLatin1Char('\r')), 2);
        d->Option2->click();
        QVERIFY(!d->Text1->isEnabled() && d->Text2->isEnabled());
        d->Text2->setText(QStringLiteral("/S"));
        QTest::mouseClick(d->OKButton, Qt::LeftButton);
        QCOMPARE(w->rows(), QStringList({"Title", "C:\\a.exe /S", "C:\\b.msi /q /S"}));
        QVERIFY(w->isEnabled());
        QVERIFY(!Windows::find<Dialog>()); // unloaded

        // On the title row Remove is off; OK with Option1 replaces the title.
        selectRow(w, 0);
        chooseMenuEntry(w, QStringLiteral("CRI"));
        d = Windows::find<Dialog>();
        QVERIFY(d);
        QVERIFY(!d->Command1->isEnabled());
        d->Text1->setText(QString());
        QTest::mouseClick(d->OKButton, Qt::LeftButton);
        QCOMPARE(controls(w).ListB->List(0), QString());

        // Remove, and a close by the frame that acts as Cancel.
        doubleClickRow(w, 2);
        d = Windows::find<Dialog>();
        QTest::mouseClick(d->Command1, Qt::LeftButton);
        QCOMPARE(controls(w).ListB->ListCount(), 2);
        QVERIFY(w->isEnabled());
        doubleClickRow(w, 1);
        d = Windows::find<Dialog>();
        QVERIFY(!w->isEnabled());
        d->close();
        QVERIFY(w->isEnabled());
        QCOMPARE(controls(w).ListB->ListCount(), 2);
    }

    void sendToLine()
    {
        Form1 *w = openEditor();
        w->setRows({"A", "B", "C", "D"});
        selectRow(w, 2);
        chooseMenuEntry(w, QStringLiteral("SIL"));
        Form6 *f = Windows::find<Form6>();
        QVERIFY(f && f->isVisible());
        QVERIFY(!w->isEnabled());
        QTest::keyClicks(f->Text3, QStringLiteral("1"));
        QTest::keyClick(f->Text3, Qt::Key_Return);
        QCOMPARE(w->rows(), QStringList({"C", "A", "B", "D"}));
        QVERIFY(!f->isVisible());
        QVERIFY(w->isEnabled());
        QCOMPARE(f->Text3->text(), QString());

        // Cancel keeps the typed text for the next opening; letters change nothing.
        selectRow(w, 0);
        chooseMenuEntry(w, QStringLiteral("SIL"));
        QTest::keyClicks(f->Text3, QStringLiteral("7"));
        QTest::mouseClick(f->Command1, Qt::LeftButton);
        QVERIFY(w->isEnabled());
        chooseMenuEntry(w, QStringLiteral("SIL"));
        QCOMPARE(f->Text3->text(), QStringLiteral("7"));
        f->Text3->setText(QStringLiteral("abc"));
        QTest::keyClick(f->Text3, Qt::Key_Return);
        QCOMPARE(w->rows(), QStringList({"C", "A", "B", "D"}));
        QCOMPARE(f->Text3->text(), QStringLiteral("abc"));
        QVERIFY(w->isEnabled());
    }

    void exitAndFrameCloseReturnToTheMainWindow()
    {
        Form1 *w = openEditor();
        w->setRows({"x"});
        selectRow(w, 0);
        Globals::ListHasTitle = 1;
        QTest::mouseClick(controls(w).Command4, Qt::LeftButton);
        QVERIFY(!Windows::find<Form1>());
        QVERIFY(Windows::find<Form2>()->isVisible());
        QCOMPARE(Globals::ListHasTitle, qint16(0));
        QTest::qWait(0);

        w = openEditor();
        QCOMPARE(controls(w).ListB->ListCount(), 0);
        QVERIFY(!controls(w).Command3->isEnabled() && !controls(w).Command5->isEnabled());
        QCOMPARE(Globals::ItemClicked, qint16(1));
        w->close();
        QVERIFY(!Windows::find<Form1>());
        QVERIFY(Windows::find<Form2>()->isVisible());
    }

    // The keyboard focus alone is no selection: the menu, the dialog and the
    // buttons act only on the highlighted row.
    void focusedRowIsNotTheSelectedRow()
    {
        Form1 *w = openEditor();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        loadByButton(w, writeFile(QStringLiteral("focus.SR"), ">Title\r\n/opt/a.sh\r\n/opt/b.sh\r\n"));
        const QStringList loaded{"Title", "/opt/a.sh", "/opt/b.sh"};
        QCOMPARE(w->rows(), loaded);

        // The menu opened and dismissed; then Remove, Change and Send.
        QMenu *menu = rightClickRow(w, 1);
        QVERIFY(menu);
        QTest::keyClick(menu, Qt::Key_Escape);
        QTRY_VERIFY(!menu->isVisible());
        QVERIFY(controls(w).ListB->selectedItems().isEmpty());
        QCOMPARE(controls(w).ListB->ListIndex(), -1);
        QCOMPARE(Globals::ItemClicked, qint16(0));
        QVERIFY(chooseByMouse(w, 1, QStringLiteral("> Remove selected item")));
        QCOMPARE(w->rows(), loaded);
        QVERIFY(chooseByMouse(w, 2, QStringLiteral("> Change selected item      ")));
        QVERIFY(!Windows::find<Dialog>());
        QVERIFY(chooseByMouse(w, 0, QStringLiteral("> Send selected item to other line    ")));
        QVERIFY(!Windows::find<Form6>() || !Windows::find<Form6>()->isVisible());
        QVERIFY(w->isEnabled());
        QCOMPARE(w->rows(), loaded);

        // Tabbing into a list without title: nothing is selected, Down stays off.
        w->setRows({"r0", "r1", "r2"});
        Globals::ListHasTitle = 0;
        QVERIFY(tabIntoList(w));
        QCOMPARE(controls(w).ListB->ListIndex(), -1);
        QCOMPARE(Globals::ItemClicked, qint16(0));
        QVERIFY(!controls(w).Command3->isEnabled() && !controls(w).Command5->isEnabled());
        QTest::mouseClick(controls(w).Command5, Qt::LeftButton);
        QCOMPARE(w->rows(), QStringList({"r0", "r1", "r2"}));

        // The arrow keys do select, and that is a selection change.
        QTest::keyClick(controls(w).ListB, Qt::Key_Down);
        QCOMPARE(controls(w).ListB->ListIndex(), controls(w).ListB->row(controls(w).ListB->selectedItems().value(0)));
        QVERIFY(controls(w).ListB->ListIndex() >= 0);
        QCOMPARE(Globals::ItemClicked, qint16(1));

        // Ctrl+click takes the highlight off: no row is selected any more.
        selectRow(w, 2);
        QCOMPARE(controls(w).ListB->ListIndex(), 2);
        ctrlClickRow(w, 2);
        QVERIFY(controls(w).ListB->selectedItems().isEmpty());
        QCOMPARE(controls(w).ListB->ListIndex(), -1);
        QVERIFY(chooseByMouse(w, 2, QStringLiteral("> Remove selected item")));
        QCOMPARE(w->rows(), QStringList({"r0", "r1", "r2"}));
        QTest::mouseClick(controls(w).Command3, Qt::LeftButton);
        QTest::mouseClick(controls(w).Command5, Qt::LeftButton);
        QCOMPARE(w->rows(), QStringList({"r0", "r1", "r2"}));
        // The switch dialog opens empty, and its OK changes no row.
        QVERIFY(chooseByMouse(w, 0, QStringLiteral("> Change selected item      ")));
        Dialog *d = Windows::find<Dialog>();
        QVERIFY(d);
        QCOMPARE(d->Text1->text(), QString());
        QTest::mouseClick(d->OKButton, Qt::LeftButton);
        QCOMPARE(w->rows(), QStringList({"r0", "r1", "r2"}));

        // Clicking the selected row again is no new selection change.
        selectRow(w, 1);
        QSignalSpy changes(controls(w).ListB, &VbListBox::listIndexChanged);
        selectRow(w, 1);
        QCOMPARE(changes.count(), 0);
        selectRow(w, 0);
        QCOMPARE(changes.count(), 1);
    }

    // A row comes back from the switch dialog and the list file whatever its
    // length: past 32,767 characters (a text box's usual limit) and far beyond.
    void longRowsStayWhole_data()
    {
        QTest::addColumn<int>("length");
        QTest::newRow("40000") << 40000;
        QTest::newRow("1000000") << 1000000;
    }

    void longRowsStayWhole()
    {
        QFETCH(int, length);
        QString row = QStringLiteral("/opt/setups/");
        const QString piece = QStringLiteral("dir-\u00e9\u4e2d-%1/");
        for (int i = 0; row.size() < length - 3; ++i)
            row += piece.arg(i % 10);
        row.truncate(length - 3);
        row += QStringLiteral(" /S");
        QCOMPARE(row.size(), length);
        const QByteArray file = ">Long\r\n" + row.toUtf8() + "\r\nshort.sh\r\n" + row.toUtf8() + "\r\n";

        Form1 *w = openEditor();
        loadByButton(w, writeFile(QStringLiteral("long.SR"), file));
        QCOMPARE(controls(w).ListB->ListCount(), 4);
        QCOMPARE(controls(w).ListB->List(1), row);
        QCOMPARE(controls(w).ListB->List(3), row);
        // What is drawn of a row is bounded, not the whole row laid out.
        QVERIFY(controls(w).ListB->visualItemRect(controls(w).ListB->item(1)).width() < 100000);

        // Clicks and moves keep the rows whole.
        selectRow(w, 2);
        selectRow(w, 3);
        selectRow(w, 1);
        QTest::mouseClick(controls(w).Command5, Qt::LeftButton);
        QCOMPARE(controls(w).ListB->ListIndex(), 2);
        QCOMPARE(controls(w).ListB->List(2), row);
        QTest::mouseClick(controls(w).Command3, Qt::LeftButton);
        QCOMPARE(controls(w).ListB->List(1), row);

        // OK without any edit changes nothing.
        doubleClickRow(w, 1);
        Dialog *d = Windows::find<Dialog>();
        QVERIFY(d);
        QCOMPARE(d->Text1->text().size(), length);
        QTest::mouseClick(d->OKButton, Qt::LeftButton);
        QVERIFY(!Windows::find<Dialog>());
        QCOMPARE(controls(w).ListB->List(1), row);

        QCOMPARE(saveByButton(w, QStringLiteral("long-saved.SR")), file);
    }

    // A long switch pasted for every row arrives whole.
    void longSwitchForAllRows()
    {
        const QString sw = QStringLiteral("/D=") + QString(40000, QLatin1Char('x'));
        Form1 *w = openEditor();
        loadByButton(w, writeFile(QStringLiteral("sw.SR"), ">T\r\na.sh\r\nb.sh\r\n"));
        doubleClickRow(w, 1);
        Dialog *d = Windows::find<Dialog>();
        QVERIFY(d);
        QTest::mouseClick(d->Option2, Qt::LeftButton);
        QVERIFY(d->Text2->isEnabled());
        QGuiApplication::clipboard()->setText(sw);
        QTest::mouseClick(d->Text2, Qt::LeftButton);
        QTest::keyClick(d->Text2, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(d->Text2->text(), sw);
        QTest::mouseClick(d->OKButton, Qt::LeftButton);
        QCOMPARE(w->rows(), QStringList({"T", "a.sh " + sw, "b.sh " + sw}));
    }

    // A disabled picture button is its picture greyed; around the button face
    // the window picture shows as it is, with no box.
    void disabledPictureButtonsAreGreyedWithoutABox()
    {
        Form2 *main = Windows::show<Form2>();
        const QImage enabled = main->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QTest::mouseClick(main->Label7, Qt::LeftButton); // Help disables the main window
        QVERIFY(!main->Image2->isEnabled());
        const QImage disabled = main->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QImage backdrop = main->background().toImage().convertToFormat(QImage::Format_RGB32);
        QVERIFY(!backdrop.isNull());
        const qreal ratio = disabled.devicePixelRatio();
        for (PictureButton *b : {main->Image2, main->Image3, main->Image4, main->Image1}) {
            const QRect r = b->geometry();
            // The corners are the window picture the button was drawn on.
            for (const QPoint &corner : {r.topLeft(), r.topRight(), r.bottomLeft(), r.bottomRight()}) {
                const QPoint at = (QPointF(corner) * ratio).toPoint();
                QCOMPARE(QColor(disabled.pixel(at)), QColor(backdrop.pixel(corner)));
            }
            // The face: blue when enabled, grey when disabled.
            const QPoint face = (QPointF(r.left() + r.width() * 3 / 4, r.top() + r.height() * 3 / 4) * ratio).toPoint();
            const QColor was(enabled.pixel(face)), now(disabled.pixel(face));
            QVERIFY2(was.blue() - was.red() > 40, qPrintable(was.name()));
            QVERIFY2(qAbs(now.red() - now.green()) <= 2 && qAbs(now.green() - now.blue()) <= 2, qPrintable(now.name()));
        }
    }

    void doubleClickEmptiesATextBox()
    {
        Form1 *w = openEditor();
        QTest::mouseDClick(controls(w).Text1, Qt::LeftButton);
        QCOMPARE(controls(w).Text1->text(), QString());
        QVERIFY(!controls(w).Text2->text().isEmpty());
    }
};

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
