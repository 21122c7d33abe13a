// SPDX-License-Identifier: GPL-3.0-or-later
// Save list and Load saved list as the user meets them in the list editor:
// real clicks on its buttons, real list files, scripted answers that record
// the editor's rows at the moment each box is shown.
#include "ScriptedPrompts.h"
#include "WindowTestFixture.h"
#include "core/common/Folders.h"
#include "core/common/Globals.h"
#include "core/common/Seams.h"
#include "windows/editor/Form1.h"
#include "windows/editor/tests/EditorControls.h"
#include "windows/install/Form2.h"
#include "windows/ui/Program.h"
#include "windows/ui/Windows.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

} // namespace

class TstListEditing : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    WindowTestFixture m_windows;
    ScriptedPrompts *m_prompts = nullptr; // m_windows' while a test runs
    Form1 *m_editor = nullptr;
    // The rows and the title flag as they were while each box was up.
    QList<QStringList> m_rowsAtBox;
    QList<qint16> m_titleAtBox;

    QString at(const QString &name) const { return m_dir.filePath(name); }

    void click(QPushButton *button) { QTest::mouseClick(button, Qt::LeftButton); }

    // Loads a list the way the user does and answers its box.
    void loadThroughEditor(const QString &path)
    {
        m_prompts->files << path;
        click(controls(m_editor).Command7);
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void init()
    {
        m_prompts = m_windows.setUp();
        m_rowsAtBox.clear();
        m_titleAtBox.clear();
        Form2 *main = Windows::show<Form2>();
        QTest::mouseClick(main->Image2, Qt::LeftButton); // Point
        m_editor = Windows::find<Form1>();
        QVERIFY(m_editor);
        m_prompts->onMessage = [this](const ScriptedPrompts::Box &) {
            m_rowsAtBox << m_editor->rows();
            m_titleAtBox << Globals::ListHasTitle;
        };
    }

    void cleanup()
    {
        m_windows.tearDown();
        m_prompts = nullptr;
        m_editor = nullptr;
    }

    void loadBoxesStandOverTheRowsOfTheirStep_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes"); // null: no such file
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("rows"); // after the load
        QTest::newRow("wrong name") << "tools.sr" << QByteArray(">T\r\nA\r\n") << "Incorrect file name or file format"
                                    << QStringList();
        QTest::newRow("damaged") << "damaged.SR" << QByteArray("T\r\nA\r\n") << "Damaged file." << QStringList();
        QTest::newRow("missing") << "gone.SR" << QByteArray() << "Damaged file." << QStringList();
        QTest::newRow("loaded") << "good.SR" << QByteArray(">New title\r\nX.exe /S\r\n\r\nY.msi\r\n")
                                << "First item in the list is title of your list."
                                << QStringList{"New title", "X.exe /S", "", "Y.msi"};
    }

    void loadBoxesStandOverTheRowsOfTheirStep()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        QFETCH(QStringList, rows);
        writeAll(at("earlier.SR"), ">Earlier\r\nA.exe\r\nB.exe\r\n");
        loadThroughEditor(at("earlier.SR"));
        QCOMPARE(controls(m_editor).ListB->ListCount(), 3);
        m_rowsAtBox.clear();
        m_titleAtBox.clear();
        m_prompts->boxes.clear();

        if (!bytes.isNull())
            writeAll(at(name), bytes);
        loadThroughEditor(at(name));
        QCOMPARE(m_prompts->boxes.size(), 1);
        QCOMPARE(m_prompts->boxes[0].text, message);
        // Refused: the list was emptied before the check. Loaded: the rows
        // were cut before the "Information" box.
        QCOMPARE(m_rowsAtBox, QList<QStringList>{rows});
        QCOMPARE(m_titleAtBox, QList<qint16>{1});
        QCOMPARE(m_editor->rows(), rows);
    }

    void cancelledLoadKeepsTheRows()
    {
        writeAll(at("kept.SR"), ">Kept\r\nA.exe\r\n");
        loadThroughEditor(at("kept.SR"));
        m_prompts->files << QString(); // cancel
        click(controls(m_editor).Command7);
        QCOMPARE(m_editor->rows(), (QStringList{"Kept", "A.exe"}));
        QCOMPARE(m_prompts->boxes.size(), 1);
    }

    void replaceQuestionNamesTheFileWritten()
    {
        const QByteArray old(">Old\r\nold.exe\r\n");
        writeAll(at("tools.SR"), old);
        writeAll(at("x.sr"), "someone else's file");
        writeAll(at("mine.SR"), ">Mine\r\nA.exe\r\nB.exe\r\n");
        const QStringList rows{"Mine", "A.exe", "B.exe"};

        // "tools" while tools.SR exists: asked about tools.SR, No keeps all.
        loadThroughEditor(at("mine.SR"));
        m_rowsAtBox.clear();
        m_prompts->files << at("tools");
        m_prompts->answers << false;
        click(controls(m_editor).Command2);
        QCOMPARE(m_prompts->questions.size(), 1);
        QCOMPARE(m_prompts->questions[0].text,
                 at("tools.SR") + QStringLiteral(" already exists.\rDo you want to replace it?"));
        QCOMPARE(m_prompts->questions[0].title, QStringLiteral("Save List"));
        QCOMPARE(m_rowsAtBox, QList<QStringList>{rows});
        QCOMPARE(readAll(at("tools.SR")), old);
        QCOMPARE(m_editor->rows(), rows);

        // Yes replaces tools.SR with the list, and the editor is emptied.
        m_prompts->inputs << "Mine";
        m_prompts->files << at("tools");
        m_prompts->answers << true;
        click(controls(m_editor).Command2);
        QCOMPARE(m_prompts->questions.size(), 2);
        QCOMPARE(readAll(at("tools.SR")), QByteArray(">Mine\r\nMine\r\nA.exe\r\nB.exe\r\n"));
        QCOMPARE(controls(m_editor).ListB->ListCount(), 0);

        // "x.sr" is written as x.sr.SR, which is new: no question, x.sr untouched.
        loadThroughEditor(at("mine.SR"));
        m_prompts->files << at("x.sr");
        click(controls(m_editor).Command2);
        QCOMPARE(m_prompts->questions.size(), 2);
        QCOMPARE(readAll(at("x.sr")), QByteArray("someone else's file"));
        QCOMPARE(readAll(at("x.sr.SR")), readAll(at("mine.SR")));
    }

    void realDialogsAskAboutTheFileWritten()
    {
        // The real file dialog and question box: type "tools" in the dialog,
        // the box names tools.SR, and Escape (No) writes nothing.
        const QByteArray old(">Old\r\nold.exe\r\n");
        writeAll(at("tools.SR"), old);
        writeAll(at("mine.SR"), ">Mine\r\nA.exe\r\n");
        loadThroughEditor(at("mine.SR"));
        Seams::setPrompts(nullptr);
        QString asked;
        bool typed = false;
        std::function<void()> drive;
        drive = [&] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                if (!w->isVisible())
                    continue;
                if (auto *dialog = qobject_cast<QFileDialog *>(w); dialog && !typed) {
                    auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
                    QTest::qWait(500); // the folder is listed and the last name shown
                    edit->clear();
                    QTest::keyClicks(edit, QStringLiteral("tools"));
                    QTest::keyClick(edit, Qt::Key_Return);
                    typed = true;
                } else if (auto *box = qobject_cast<QMessageBox *>(w)) {
                    asked = box->windowTitle() + u'|' + box->text();
                    QTest::keyClick(box, Qt::Key_Escape);
                    return;
                }
            }
            QTimer::singleShot(50, drive);
        };
        QTimer::singleShot(50, drive);
        click(controls(m_editor).Command2);
        QVERIFY(typed);
        QCOMPARE(asked, QStringLiteral("Save List|") + at("tools.SR")
                                + QStringLiteral(" already exists.\nDo you want to replace it?"));
        QCOMPARE(readAll(at("tools.SR")), old);
        QCOMPARE(m_editor->rows(), (QStringList{"Mine", "A.exe"}));
    }

    void failedSaveKeepsTheList()
    {
        writeAll(at("mine.SR"), ">Mine\r\nA.exe\r\n");
        loadThroughEditor(at("mine.SR"));
        m_rowsAtBox.clear();
        m_prompts->boxes.clear();
        m_prompts->files << QStringLiteral("/proc/setupreel-nowhere");
        click(controls(m_editor).Command2);
        QCOMPARE(m_prompts->boxes.size(), 1);
        QVERIFY(m_prompts->boxes[0].text.startsWith("The list could not be saved to /proc/setupreel-nowhere.SR.\r"));
        QCOMPARE(m_editor->rows(), (QStringList{"Mine", "A.exe"}));
        QCOMPARE(m_rowsAtBox, QList<QStringList>{(QStringList{"Mine", "A.exe"})});
        QVERIFY(!QFile::exists("/proc/setupreel-nowhere.SR"));
    }

    void namesThatAreNotUtf8ComeBackAsTheirBytes()
    {
        // Written on a UTF-8 system, naming a file whose name is Latin-1 bytes.
        const QByteArray bytes(">Caf\xC3\xA9\r\n/opt/caf\xE9/setup.sh /S\r\n/opt/\xC3\xA9t\xE9.exe\r\n");
        writeAll(at("latin.SR"), bytes);
        loadThroughEditor(at("latin.SR"));
        QCOMPARE(controls(m_editor).ListB->ListCount(), 3);
        m_prompts->files << at("again");
        click(controls(m_editor).Command2);
        QCOMPARE(readAll(at("again.SR")), bytes);

        loadThroughEditor(at("again.SR"));
        m_prompts->files << at("third");
        click(controls(m_editor).Command2);
        QCOMPARE(readAll(at("third.SR")), bytes);
    }
};

QTEST_MAIN(TstListEditing)
#include "tst_listediting.moc"
