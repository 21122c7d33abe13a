// SPDX-License-Identifier: GPL-3.0-or-later
// The about box opened from the main window and the list editor as a user
// opens it: its content, every way of closing it, Update and System Info.
#include "ScriptedPrompts.h"
#include "WindowTestFixture.h"
#include "core/common/Folders.h"
#include "core/common/Globals.h"
#include "core/common/Seams.h"
#include "core/startup/Registry.h"
#include "core/startup/SysInfo.h"
#include "windows/editor/Form1.h"
#include "windows/editor/tests/EditorControls.h"
#include "windows/install/Form2.h"
#include "windows/startup/frmAbout.h"
#include "windows/ui/Program.h"
#include "windows/ui/Windows.h"

#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

class TestAbout : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    WindowTestFixture m_windows;
    ScriptedPrompts *m_prompts = nullptr; // m_windows' while a test runs
    QStringList m_started;
    QList<QUrl> m_opened;
    bool m_startWorks = true;

    static void click(QWidget *w) { QTest::mouseClick(w, Qt::LeftButton); }

    // The about box from the main window, or from the list editor.
    static frmAbout *openFrom(const QString &opener)
    {
        Form2 *main = Windows::show<Form2>();
        if (opener == QLatin1String("Form1")) {
            click(main->Image2); // Point
            click(controls(Windows::find<Form1>()).Label6);
        } else {
            click(main->Label6);
        }
        return Windows::find<frmAbout>();
    }

    void expectUnavailable()
    {
        QCOMPARE(m_prompts->boxes.size(), 1);
        QCOMPARE(m_prompts->boxes[0].text, QStringLiteral("System Information Is Unavailable At This Time"));
        QCOMPARE(m_prompts->boxes[0].title, QStringLiteral("Setupreel"));
        QCOMPARE(m_prompts->boxes[0].icon, MsgIcon::None);
        QVERIFY2(Windows::find<frmAbout>(), "the about box stays open");
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void init()
    {
        m_prompts = m_windows.setUp();
        Registry::instance().clear();
        m_started.clear();
        m_opened.clear();
        m_startWorks = true;
        Seams::setStartProgram([this](const QString &path) {
            m_started << path;
            return m_startWorks;
        });
        Seams::setOpenAddress([this](const QUrl &url) {
            m_opened << url;
            return true;
        });
    }

    void cleanup() { m_windows.tearDown(); }

    void opensAsDesigned()
    {
        frmAbout *about = openFrom(QStringLiteral("Form2"));
        QVERIFY(about);
        QVERIFY(about->isVisible());
        QVERIFY(!Windows::find<Form2>()->isEnabled());
        QCOMPARE(about->windowTitle(), QStringLiteral("About Setupreel"));
        QCOMPARE(about->size(), QSize(390, 252));
        QCOMPARE(about->lblTitle->caption(), QStringLiteral("Setupreel"));
        QCOMPARE(about->lblVersion->caption(), QStringLiteral("Version " SETUPREEL_VERSION));
        QCOMPARE(about->lblVersion->font().pointSizeF(), 9.0);
        QCOMPARE(about->lblDescription->caption(),
                 QStringLiteral(
                         "The program can help you in installing your programs and you can install them easy with "
                         "out going to their folder.also the program can help you if you have a lot of microsoft "
                         "windows update files and you don't will installing them manually."));
        const QStringList note = about->lblDisclaimer->caption().split(QLatin1Char('\r'));
        QCOMPARE(note.size(), 4);
        QVERIFY(note.filter(QStringLiteral("https://setupreel.example.org")).size() == 1);
        QVERIFY(note.filter(QStringLiteral("support@setupreel.example.org")).size() == 1);
        QVERIFY2(!about->background().isNull(), "Dialog1.jpg is in the application folder");
        QVERIFY2(!about->picIcon->pixmap().isNull(), "Good.jpg is in the application folder");
        QCOMPARE(about->cmdSysInfo->text(), QStringLiteral("&System Info..."));
        QCOMPARE(about->cmdOK->geometry(), QRect(296, 168, 92, 26));
        QCOMPARE(about->Line1[0]->geometry().top(), 163);
        QCOMPARE(about->Line1[1]->geometry().top(), 164);
        QVERIFY(about->cmdOK->isDefault());
        QCOMPARE(about->cmdOK->nextInFocusChain(), about->Command1);
    }

    void everyWayOfClosingEnablesBothWindows_data()
    {
        QTest::addColumn<QString>("opener");
        QTest::addColumn<QString>("way");
        for (const char *opener : {"Form2", "Form1"}) {
            for (const char *way : {"OK", "Esc", "Enter", "frame"})
                QTest::addRow("%s, %s", opener, way) << QString::fromLatin1(opener) << QString::fromLatin1(way);
        }
    }

    void everyWayOfClosingEnablesBothWindows()
    {
        QFETCH(QString, opener);
        QFETCH(QString, way);
        QPointer<frmAbout> about = openFrom(opener);
        QVERIFY(about);
        Form2 *main = Windows::find<Form2>();
        Form1 *editor = Windows::find<Form1>();
        QWidget *owner = opener == QLatin1String("Form1") ? static_cast<QWidget *>(editor) : main;
        QVERIFY(!owner->isEnabled());
        // Whoever opened it, both come back.
        main->setEnabled(false);
        if (editor)
            editor->setEnabled(false);

        if (way == QLatin1String("OK")) {
            click(about->cmdOK);
        } else if (way == QLatin1String("frame")) {
            about->close();
        } else {
            QVERIFY(QTest::qWaitForWindowActive(about));
            QCOMPARE(QApplication::focusWidget(), about->cmdOK);
            QTest::keyClick(QApplication::focusWidget(), way == QLatin1String("Esc") ? Qt::Key_Escape : Qt::Key_Return);
        }

        QVERIFY(!Windows::find<frmAbout>());
        QVERIFY(main->isEnabled());
        if (editor)
            QVERIFY(editor->isEnabled());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY2(about.isNull(), "closing unloads the about box");
        QVERIFY(m_opened.isEmpty() && m_started.isEmpty() && m_prompts->boxes.isEmpty());
    }

    void eachOpeningLoadsAfresh()
    {
        frmAbout *about = openFrom(QStringLiteral("Form2"));
        about->lblVersion->setCaption(QString());
        click(about->cmdOK);
        click(Windows::find<Form2>()->Label6);
        about = Windows::find<frmAbout>();
        QVERIFY(about);
        QCOMPARE(about->lblVersion->caption(), QStringLiteral("Version " SETUPREEL_VERSION));
    }

    void updateOpensTheWebSite()
    {
        frmAbout *about = openFrom(QStringLiteral("Form2"));
        click(about->Command1);
        QCOMPARE(m_opened, QList<QUrl>{QUrl(QStringLiteral("https://setupreel.example.org"))});
        QVERIFY(Windows::find<frmAbout>());
        QVERIFY(!Windows::find<Form2>()->isEnabled());
    }

    void enterPressesTheFocusedButton()
    {
        frmAbout *about = openFrom(QStringLiteral("Form2"));
        about->Command1->setFocus();
        QTest::keyClick(about->Command1, Qt::Key_Return);
        QCOMPARE(m_opened.size(), 1);
        QVERIFY(Windows::find<frmAbout>());
    }

    void sysInfoByTryOneWithoutAFileTest()
    {
        const QString tool = QStringLiteral("/opt/not-installed/hardinfo");
        Registry::instance().setString(Reg::HKEY_LOCAL_MACHINE, SysInfo::PathKey, SysInfo::PathValue, tool);
        frmAbout *about = openFrom(QStringLiteral("Form2"));
        click(about->cmdSysInfo);
        QCOMPARE(m_started, QStringList{tool});
        QVERIFY(m_prompts->boxes.isEmpty());
        QVERIFY(Windows::find<frmAbout>());
    }

    void sysInfoByTryTwo_data()
    {
        QTest::addColumn<bool>("fileThere");
        QTest::newRow("file there") << true;
        QTest::newRow("no file") << false;
    }

    void sysInfoByTryTwo()
    {
        QFETCH(bool, fileThere);
        const QString folder = m_dir.filePath(fileThere ? QStringLiteral("with") : QStringLiteral("without"));
        QDir().mkpath(folder);
        const QString file = folder + QStringLiteral("/MSINFO32.EXE");
        if (fileThere) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        Registry::instance().setString(Reg::HKEY_LOCAL_MACHINE, SysInfo::LocationKey, SysInfo::LocationValue, folder);

        frmAbout *about = openFrom(QStringLiteral("Form1"));
        click(about->cmdSysInfo);
        if (fileThere) {
            QCOMPARE(m_started, QStringList{file});
            QVERIFY(m_prompts->boxes.isEmpty());
        } else {
            QVERIFY(m_started.isEmpty());
            expectUnavailable();
        }
    }

    void sysInfoUnavailable_data()
    {
        QTest::addColumn<bool>("registered");
        QTest::newRow("neither key") << false;
        QTest::newRow("tool does not start") << true;
    }

    void sysInfoUnavailable()
    {
        QFETCH(bool, registered);
        if (registered)
            Registry::instance().setString(Reg::HKEY_LOCAL_MACHINE, SysInfo::PathKey, SysInfo::PathValue,
                                           QStringLiteral("/bin/broken"));
        m_startWorks = false;
        frmAbout *about = openFrom(QStringLiteral("Form2"));
        click(about->cmdSysInfo);
        QCOMPARE(m_started.size(), registered ? 1 : 0);
        expectUnavailable();
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
