// SPDX-License-Identifier: GPL-3.0-or-later
// The editor's folder search driven as a user would, through the real
// Quarrydex.ocx hosted on the search options window.
#include "AddingFixture.h"
#include "ScriptedPrompts.h"
#include "WindowTestFixture.h"
#include "core/common/Folders.h"
#include "core/common/Globals.h"
#include "windows/adding/Form5.h"
#include "windows/editor/Form1.h"
#include "windows/editor/tests/EditorControls.h"
#include "windows/ui/Program.h"
#include "windows/ui/Windows.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

class TestFolderSearch : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    WindowTestFixture m_windows;
    ScriptedPrompts *m_prompts = nullptr; // m_windows' while a test runs

    void touch(const QString &rel)
    {
        const QString p = m_dir.filePath(rel);
        QDir().mkpath(QFileInfo(p).absolutePath());
        QFile f(p);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }

    Form1 *editorAt(const QString &folder, const QString &pattern)
    {
        Form1 *w = Windows::show<Form1>();
        controls(w).Text1->setText(folder);
        controls(w).Text2->setText(pattern);
        return w;
    }

private slots:
    void initTestCase()
    {
        touch("Setups/a.exe");
        touch("Setups/x/b.EXE");
        touch("Setups/c.exe");
        touch("Other/d.exe");
        touch("Other/e.exe");
    }

    void init() { m_prompts = m_windows.setUp(); }
    void cleanup() { m_windows.tearDown(); }
    void cleanupTestCase() { removeTree(m_dir.path()); }

    void searchesAppendReplaceAndCancel()
    {
        const QString setups = m_dir.filePath("Setups");
        Form1 *w = editorAt(setups, "*.exe");
        Globals::ListHasTitle = 1;
        QTest::mouseClick(controls(w).Command1, Qt::LeftButton); // empty list: at once
        QVERIFY(!Windows::find<Form5>()->isVisible());
        QCOMPARE(w->rows(), QStringList({setups + "/a.exe", setups + "/c.exe", setups + "/x/b.EXE"}));
        QCOMPARE(controls(w).Label2->caption(), QStringLiteral("3  Item(s) found."));
        QCOMPARE(controls(w).Label4->caption(), QStringLiteral("Please Wait...."));
        QCOMPARE(controls(w).Text1->text(), setups); // the control worked on a copy
        QCOMPARE(Globals::ListHasTitle, qint16(0));

        // With rows: the options window; Cancel leaves all as it was.
        QTest::mouseClick(controls(w).Command1, Qt::LeftButton);
        Form5 *f = Windows::find<Form5>();
        QVERIFY(f->isVisible());
        QVERIFY(!w->isEnabled());
        QVERIFY(!f->Option1->isChecked() && !f->Option2->isChecked());
        QTest::mouseClick(f->Command2, Qt::LeftButton);
        QVERIFY(w->isEnabled());
        QCOMPARE(controls(w).ListB->ListCount(), 3);

        // Append: the count goes on from the earlier search.
        controls(w).Text1->setText(m_dir.filePath("Other"));
        QTest::mouseClick(controls(w).Command1, Qt::LeftButton);
        f->Option1->click();
        QTest::mouseClick(f->Command1, Qt::LeftButton);
        QCOMPARE(controls(w).ListB->ListCount(), 5);
        QCOMPARE(controls(w).Label2->caption(), QStringLiteral("5  Item(s) found."));
        QVERIFY(w->isEnabled());
        QVERIFY(!f->isVisible());

        // Replace: the list is emptied first, the count still goes on.
        QTest::mouseClick(controls(w).Command1, Qt::LeftButton);
        QVERIFY(f->Option1->isChecked()); // the choice stays for the next search
        f->Option2->click();
        QTest::mouseClick(f->Command1, Qt::LeftButton);
        QCOMPARE(w->rows(), QStringList({m_dir.filePath("Other/d.exe"), m_dir.filePath("Other/e.exe")}));
        QCOMPARE(controls(w).Label2->caption(), QStringLiteral("7  Item(s) found."));

        // Closing the options window by its frame is Cancel.
        QTest::mouseClick(controls(w).Command1, Qt::LeftButton);
        f->close();
        QVERIFY(w->isEnabled());
        QCOMPARE(controls(w).ListB->ListCount(), 2);
        QVERIFY(m_prompts->boxes.isEmpty());
    }

    void namesThatAreNotUtf8AndLinksThatLeadNowhere()
    {
        // Latin-1 names from an archive made on Windows, and links that
        // cannot be followed beside them: all found, each row the very file.
        const QByteArray top = QFile::encodeName(m_dir.filePath("Mixed"));
        const QByteArray cafe = top + "/caf\xe9";
        for (const QByteArray &folder : {top, cafe, cafe + "/sub\xff"})
            QCOMPARE(::mkdir(folder.constData(), 0755), 0);
        for (const QByteArray &file : {top + "/a.exe", cafe + "/r\xe9sum\xe9.exe", cafe + "/sub\xff/d.exe"}) {
            const int fd = ::open(file.constData(), O_WRONLY | O_CREAT, 0644);
            QVERIFY(fd >= 0);
            ::close(fd);
        }
        QCOMPARE(::symlink("self.exe", (top + "/self.exe").constData()), 0);
        QCOMPARE(::symlink("a.exe/x", (cafe + "/through.exe").constData()), 0);

        Form1 *w = Windows::show<Form1>();
        QTest::mouseDClick(controls(w).Text1, Qt::LeftButton); // empties the box
        QTest::keyClicks(controls(w).Text1, QFile::decodeName(top));
        QTest::mouseDClick(controls(w).Text2, Qt::LeftButton);
        QTest::keyClicks(controls(w).Text2, QStringLiteral("*.exe"));
        QTest::mouseClick(controls(w).Command1, Qt::LeftButton);
        using FileNameCodec::decodeFileName;
        QCOMPARE(w->rows(),
                 QStringList({decodeFileName(top + "/a.exe"), decodeFileName(top + "/self.exe"),
                              decodeFileName(cafe + "/r\xe9sum\xe9.exe"), decodeFileName(cafe + "/through.exe"),
                              decodeFileName(cafe + "/sub\xff/d.exe")}));
        for (const QString &row :
             {controls(w).ListB->List(0), controls(w).ListB->List(2), controls(w).ListB->List(4)}) {
            struct stat st;
            QVERIFY2(::stat(FileNameCodec::encodeFileName(row).constData(), &st) == 0, qPrintable(row));
        }

        // A row's folder pasted into the path box is searched by its bytes.
        QGuiApplication::clipboard()->setText(decodeFileName(cafe));
        QTest::mouseDClick(controls(w).Text1, Qt::LeftButton);
        QTest::keyClick(controls(w).Text1, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(controls(w).Text1->text(), decodeFileName(cafe));
        QTest::mouseClick(controls(w).Command1, Qt::LeftButton);
        Form5 *f = Windows::find<Form5>();
        QVERIFY(f->isVisible());
        f->Option2->click();
        QTest::mouseClick(f->Command1, Qt::LeftButton);
        QCOMPARE(w->rows(),
                 QStringList({decodeFileName(cafe + "/r\xe9sum\xe9.exe"), decodeFileName(cafe + "/through.exe"),
                              decodeFileName(cafe + "/sub\xff/d.exe")}));
        QVERIFY(m_prompts->boxes.isEmpty());
    }

    void nothingFoundKeepsTheCount()
    {
        Form1 *w = editorAt(m_dir.filePath("nowhere"), "*.exe");
        controls(w).Label2->setCaption(QStringLiteral("kept"));
        QTest::mouseClick(controls(w).Command1, Qt::LeftButton);
        QCOMPARE(controls(w).ListB->ListCount(), 0);
        QCOMPARE(controls(w).Label2->caption(), QStringLiteral("kept"));
        QVERIFY(m_prompts->boxes.isEmpty());
    }
};

QTEST_MAIN(TestFolderSearch)
#include "tst_foldersearch.moc"
