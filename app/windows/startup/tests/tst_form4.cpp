// SPDX-License-Identifier: GPL-3.0-or-later
// The start-up window over folders made by each case: copies of the real
// pictures, control libraries and font, with one thing changed at a time.
#include "CommonDialogControl.h"
#include "ProgressBarControl.h"
#include "ScriptedPrompts.h"
#include "WindowTestFixture.h"
#include "core/common/Folders.h"
#include "core/common/Globals.h"
#include "core/common/Seams.h"
#include "core/controls/ControlHost.h"
#include "windows/install/Form2.h"
#include "windows/startup/Form4.h"
#include "windows/startup/ProgramFont.h"
#include "windows/ui/Program.h"
#include "windows/ui/Windows.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {
const QStringList Controls{QStringLiteral("ShellAndWait.ocx"), QStringLiteral("AnimatedGif.ocx"),
                           QStringLiteral("Quarrydex.ocx"),    QStringLiteral("COMCTL32.OCX"),
                           QStringLiteral("COMDLG32.OCX"),     QStringLiteral("PopupMenu.ocx")};

bool copyInto(const QString &from, const QString &folder, const QString &as = QString())
{
    QDir().mkpath(folder);
    const QString to = folder + QLatin1Char('/') + (as.isEmpty() ? QFileInfo(from).fileName() : as);
    return QFile::copy(from, to);
}
}

class TestForm4 : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_root;
    QString m_app;
    WindowTestFixture m_windows;
    ScriptedPrompts *m_prompts = nullptr; // m_windows' while a test runs

    // A complete installation: pictures in the application folder, controls in
    // its system32, the font in its Fonts folder.
    void makeInstall(const QString &systemName = QStringLiteral("system32"))
    {
        m_root = std::make_unique<QTemporaryDir>();
        QVERIFY(m_root->isValid());
        m_app = m_root->filePath(QStringLiteral("app"));
        const QDir build(QStringLiteral(SETUPREEL_BUILD_APP_DIR));
        const QStringList pictures = build.entryList({QStringLiteral("*.jpg"), QStringLiteral("*.gif")}, QDir::Files);
        QCOMPARE(pictures.size(), 14);
        for (const QString &p : pictures)
            QVERIFY(copyInto(build.filePath(p), m_app));
        for (const QString &c : Controls)
            QVERIFY2(
                    copyInto(QStringLiteral(SETUPREEL_BUILD_SYSTEM_DIR "/") + c, m_app + QLatin1Char('/') + systemName),
                    qPrintable(c));
        QVERIFY(copyInto(build.filePath(QStringLiteral("Fonts/seguibk.ttf")), m_app + QStringLiteral("/Fonts")));
        Seams::setAppDir(m_app);
        qputenv("SETUPREEL_SYSTEM_DIR", (m_app + QLatin1Char('/') + systemName).toUtf8());
    }

    QString file(const QString &relative) const { return m_app + QLatin1Char('/') + relative; }

    void moveFile(const QString &from, const QString &to)
    {
        QDir().mkpath(QFileInfo(file(to)).path());
        QVERIFY2(QFile::rename(file(from), file(to)), qPrintable(from));
    }

    Form4 *runCheck()
    {
        Form4 *w = Windows::show<Form4>();
        if (!QTest::qWaitFor([w] { return w->check().outcome() != SupportCheck::Outcome::Checking; }, 20000))
            qWarning("the start-up check did not end in time");
        return w;
    }

    static QString errorText(int n)
    {
        return QStringLiteral("Some files doesn't exist.\rPlease reinstall.\rError number : %1").arg(n);
    }

    void verifyReady(Form4 *w)
    {
        QCOMPARE(w->check().outcome(), SupportCheck::Outcome::Ready);
        QCOMPARE(w->Label1->caption(), QStringLiteral("Loading successful.\rClick on the next button to skip."));
        QVERIFY(w->Command1->isVisible() && w->Command1->isEnabled());
        QVERIFY(!w->Command2->isVisible());
        QCOMPARE(w->PB1->max(), 1);
        QCOMPARE(w->PB1->value(), 1);
    }

    void verifyFailed(Form4 *w, int stage)
    {
        QCOMPARE(w->check().failedStage(), stage);
        QCOMPARE(w->Label1->caption(), errorText(stage));
        QVERIFY(!w->Command1->isVisible());
        QVERIFY(w->Command2->isVisible() && w->Command2->isEnabled());
    }

private slots:
    void initTestCase()
    {
        // The controls the window hosts come from the build; each case's own
        // system folder is only what the check searches.
        qputenv("SETUPREEL_SYSTEM_DIR", SETUPREEL_BUILD_SYSTEM_DIR);
        QVERIFY2(!ControlHost::instance().fileOf(QStringLiteral("Quarrylib.QuarryBox")).isEmpty(),
                 "Quarrydex.ocx is in the build's system folder");
    }

    void init() { m_prompts = m_windows.setUp(); }

    void cleanup()
    {
        m_windows.tearDown();
        m_root.reset();
    }

    void opensAsDesignedAndPassesWithEverythingPresent()
    {
        makeInstall();
        QFile::copy(file(QStringLiteral("Good.jpg")), file(QStringLiteral("unrelated.jpg"))); // extras change nothing
        Form4 *w = Windows::show<Form4>();
        QVERIFY(w->Timer1->isActive() && !w->Timer2->isActive());
        // The image search of its load follows the first paint.
        QVERIFY(QTest::qWaitFor([w] { return w->check().imagesSearched(); }, 20000));
        QVERIFY(w->check().SearchTotal >= 7);
        QCOMPARE(w->check().outcome(), SupportCheck::Outcome::Checking);
        QCOMPARE(w->windowTitle(), QStringLiteral("Searching Reguest Files"));
        QCOMPARE(w->size(), QSize(400, 300));
        QCOMPARE(w->palette().color(QPalette::Window), QColor(Qt::white));
        QVERIFY2(!w->background().isNull(), "Begining.jpg");
        QVERIFY2(w->PB1, "the progress bar comes from COMCTL32.OCX");
        QCOMPARE(w->PB1->widget()->geometry(), QRect(48, 128, 97, 17));
        QCOMPARE(w->PB1->max(), 6);
        QCOMPARE(w->Label1->caption(), QStringLiteral("Searching for request files.\rPlease wait ...."));
        QCOMPARE(w->Command1->geometry(), w->Command2->geometry());
        QVERIFY(w->Command1->isVisible() && !w->Command1->isEnabled());
        QVERIFY(!w->Command2->isVisible());
        QVERIFY(!w->List1->isVisible());
        QVERIFY2(w->QuarryBox1, "the search control comes from Quarrydex.ocx");
        QVERIFY(!qobject_cast<QWidget *>(w->QuarryBox1.data())->isVisible());
        QCOMPARE(w->Timer5->interval(), 20);
        QCOMPARE(w->Timer2->interval(), 100);

        QVERIFY(QTest::qWaitFor([w] { return w->check().outcome() != SupportCheck::Outcome::Checking; }, 20000));
        verifyReady(w);
        QCOMPARE(w->List1->ListCount(), 0);
        QVERIFY(w->check().SearchTotal >= 22);
        for (QTimer *t : {w->Timer1, w->Timer2, w->Timer3, w->Timer4})
            QVERIFY(!t->isActive());

        QTest::mouseClick(w->Command1, Qt::LeftButton);
        QVERIFY(!w->isVisible());
        QVERIFY(Windows::find<Form4>() == w); // hidden, still loaded
        Form2 *main = Windows::find<Form2>();
        QVERIFY(main && main->isVisible());
        QCOMPARE(m_windows.ended(), 0);
    }

    // A list named on the command line: Next shows the main window with it
    // loaded, through Load's own checks and messages.
    void aListNamedAtStartIsLoadedAfterNext()
    {
        makeInstall();
        const QString good = m_root->filePath(QStringLiteral("Tools.SR"));
        const QString damaged = m_root->filePath(QStringLiteral("damaged.SR"));
        for (const auto &[path, bytes] : {std::pair{good, QByteArray(">Tools\r\na.exe\r\nb.exe /S\r\n")},
                                          std::pair{damaged, QByteArray("Tools\r\na.exe\r\n")}}) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        }
        for (const QString &list : {damaged, good}) {
            Globals::reset();
            Program::setListToOpen(list);
            Form4 *w = Windows::show<Form4>();
            QVERIFY(QTest::qWaitFor([w] { return w->check().outcome() != SupportCheck::Outcome::Checking; }, 20000));
            verifyReady(w);
            QTest::mouseClick(w->Command1, Qt::LeftButton);
            Form2 *main = Windows::find<Form2>();
            QVERIFY(main && main->isVisible());
            QVERIFY(Program::takeListToOpen().isEmpty()); // taken once
            if (list == damaged) {
                QCOMPARE(m_prompts->boxes.size(), 1);
                QCOMPARE(m_prompts->boxes[0].text, QStringLiteral("It isn't currect file"));
                QCOMPARE(m_prompts->boxes[0].title, QStringLiteral("File format"));
                QVERIFY(Globals::LoadedListText.isEmpty());
                QCOMPARE(main->Label1->caption(), QString());
            } else {
                QCOMPARE(m_prompts->boxes.size(), 1); // nothing more said
                QCOMPARE(main->Label1->caption(), QStringLiteral("Title of your list :    Tools"));
                QCOMPARE(main->Label2->caption(), QStringLiteral("Number of programs in the list :   2"));
                QCOMPARE(Globals::LoadedLineCount, QStringLiteral("3"));
                // The next Load's dialog starts at the named list.
                QCOMPARE(main->CD1->fileName(), good);
            }
            Windows::unloadAll();
        }
    }

    void aMissingPictureStopsAtStageOne()
    {
        makeInstall();
        QVERIFY(QFile::remove(file(QStringLiteral("Good.jpg"))));
        Form4 *w = runCheck();
        verifyFailed(w, 1);
        QTest::qWait(400); // nothing more runs
        QCOMPARE(w->check().CheckStage, qint16(0));
        QCOMPARE(w->Label1->caption(), errorText(1));
        QVERIFY(!w->List1->rows().filter(QStringLiteral(".gif")).size()); // the GIF search never ran
        QCOMPARE(w->PB1->max(), 6);
        QCOMPARE(w->PB1->value(), 5);
        QTest::mouseClick(w->Command2, Qt::LeftButton);
        QCOMPARE(m_windows.ended(), 1);
        QVERIFY(!Windows::find<Form2>());
    }

    void aMissingControlLibraryIsErrorThree()
    {
        makeInstall();
        QVERIFY(QFile::remove(file(QStringLiteral("system32/COMDLG32.OCX"))));
        verifyFailed(runCheck(), 3);
    }

    void filesInSubfoldersInAnyCaseAndTwiceCount()
    {
        makeInstall();
        moveFile(QStringLiteral("Top Menu2.jpg"), QStringLiteral("deep/er/Top Menu2.jpg"));
        moveFile(QStringLiteral("Good.jpg"), QStringLiteral("good.JPG"));
        moveFile(QStringLiteral("Search Drive.gif"), QStringLiteral("gifs/SEARCH DRIVE.GIF"));
        moveFile(QStringLiteral("system32/COMCTL32.OCX"), QStringLiteral("system32/old/comctl32.ocx"));
        moveFile(QStringLiteral("Fonts/seguibk.ttf"), QStringLiteral("Fonts/truetype/SeguiBk.TTF"));
        // The same names again elsewhere: each counts once.
        QVERIFY(copyInto(file(QStringLiteral("Dialog1.jpg")), file(QStringLiteral("a"))));
        QVERIFY(copyInto(file(QStringLiteral("Dialog1.jpg")), file(QStringLiteral("b/c"))));
        QVERIFY(copyInto(file(QStringLiteral("busy.gif")), file(QStringLiteral("a"))));
        QVERIFY(copyInto(file(QStringLiteral("system32/PopupMenu.ocx")), file(QStringLiteral("system32/spare"))));
        verifyReady(runCheck());
    }

    void aSystemFolderOfAnotherNameLengthMissesTheFont()
    {
        makeInstall(QStringLiteral("sys"));
        QCOMPARE(Folders::fontsDir(), m_root->path() + QStringLiteral("Fonts"));
        verifyFailed(runCheck(), 4);
    }

    void theProgramFontIsRegisteredFromTheFontsFolder()
    {
        makeInstall();
        QCOMPARE(registerProgramFont(), QStringLiteral("DejaVu Sans"));
        const QFont before = QApplication::font();
        Program::applyWindowFont(QStringLiteral("DejaVu Sans"));
        QCOMPARE(QApplication::font().families(),
                 QStringList({QStringLiteral("Segoe UI"), QStringLiteral("DejaVu Sans")}));
        QApplication::setFont(before);
        QVERIFY(QFile::remove(file(QStringLiteral("Fonts/seguibk.ttf"))));
        QCOMPARE(registerProgramFont(), QString());
    }

    void closingByTheFrameEndsTheProgram()
    {
        makeInstall();
        Form4 *w = runCheck();
        verifyReady(w);
        QCloseEvent close;
        QCoreApplication::sendEvent(w, &close);
        QCOMPARE(m_windows.ended(), 1);
        QVERIFY(!Windows::find<Form2>());
    }
};

QTEST_MAIN(TestForm4)
#include "tst_form4.moc"
