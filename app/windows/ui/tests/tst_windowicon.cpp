// SPDX-License-Identifier: GPL-3.0-or-later
// The program's icon on its windows: every window shown carries it in each
// size of the application folder, the small sizes as drawn for them rather than
// scaled down; a missing or broken icon file costs only its size, and the real
// program without any icon still starts and passes its check.
#include "AppFolderCopy.h"
#include "VirtualDisplay.h"
#include "WindowTestFixture.h"
#include "core/common/Seams.h"
#include "core/startup/WinXpStyle.h"
#include "windows/adding/Additem.h"
#include "windows/adding/Form3.h"
#include "windows/adding/Form5.h"
#include "windows/editor/Form1.h"
#include "windows/editor/Form6.h"
#include "windows/install/Dialog1.h"
#include "windows/install/Dialog2.h"
#include "windows/install/Form2.h"
#include "windows/startup/Form4.h"
#include "windows/startup/frmAbout.h"
#include "windows/ui/Program.h"

#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QList<int> Sizes = {16, 22, 24, 32, 48, 64, 128, 256};
const QString IconFile = QStringLiteral("org.setupreel.Setupreel.png");

QString iconIn(const QString &appDir, int size)
{
    return appDir + QStringLiteral("/icons/") + QString::number(size) + QLatin1Char('/') + IconFile;
}

QList<int> sizesOf(const QIcon &icon)
{
    QList<int> sizes;
    for (const QSize &s : icon.availableSizes()) {
        if (s.width() == s.height())
            sizes << s.width();
    }
    std::sort(sizes.begin(), sizes.end());
    return sizes;
}
}

class TestWindowIcon : public QObject
{
    Q_OBJECT

    WindowTestFixture m_windows;
    QTemporaryDir m_work;

    // Every size the window's icon offers, and its 16 px as the committed
    // drawing for 16 px, pixel for pixel.
    static void expectFullIcon(const QWidget *window)
    {
        QVERIFY2(window->isVisible(), window->metaObject()->className());
        const QIcon icon = window->windowIcon();
        QVERIFY2(!icon.isNull(), window->metaObject()->className());
        QCOMPARE(sizesOf(icon), Sizes);
        const QImage drawn(QStringLiteral(SETUPREEL_SOURCE_DIR "/pictures/icons/16/") + IconFile);
        QVERIFY(!drawn.isNull());
        // Pixmaps keep their colours premultiplied: compare both so.
        QCOMPARE(icon.pixmap(QSize(16, 16)).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
                 drawn.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    }

private slots:
    void initTestCase() { QVERIFY(m_work.isValid()); }

    void init() { m_windows.setUp(); }

    void cleanup()
    {
        m_windows.tearDown();
        QApplication::setWindowIcon(QIcon());
    }

    void everyWindowShownCarriesTheIconInEverySize()
    {
        Program::applyWindowIcon();
        // Point opens the list editor; the other windows are shown as their
        // openers show them.
        Windows::show<Form2>();
        QTest::mouseClick(Windows::find<Form2>()->Image2, Qt::LeftButton);
        QVERIFY(Windows::find<Form1>());
        const QList<QWidget *> shown = {Windows::show<Form4>(),   Windows::show<Form2>(),    Windows::find<Form1>(),
                                        Windows::show<Dialog1>(), Windows::show<frmAbout>(), Windows::show<Additem>(),
                                        Windows::show<Form3>(),   Windows::show<Form5>(),    Windows::show<Form6>(),
                                        Windows::show<Dialog2>()};
        for (const QWidget *window : shown) {
            expectFullIcon(window);
            if (QTest::currentTestFailed())
                return;
        }
    }

    void aMissingOrBrokenIconFileCostsOnlyItsSize()
    {
        const QString folder = m_work.filePath(QStringLiteral("some-icons"));
        QVERIFY(copyAppFolder(QStringLiteral(SETUPREEL_BUILD_APP_DIR), folder));
        QVERIFY(QFile::remove(iconIn(folder, 16)));
        QVERIFY(QDir(QFileInfo(iconIn(folder, 48)).path()).removeRecursively());
        QFile broken(iconIn(folder, 32));
        QVERIFY(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
        broken.write("\x89PNG\r\n\x1a\n not a picture after all");
        broken.close();
        Seams::setAppDir(folder);

        Program::applyWindowIcon();
        Form2 *main = Windows::show<Form2>();
        QCOMPARE(sizesOf(main->windowIcon()), (QList<int>{22, 24, 64, 128, 256}));
        // The window itself is as ever: its pictures came from the same folder.
        QVERIFY(!main->Image2->picture().isNull());
    }

    // Installed, the icons are only in the desktop's theme, and read there.
    void anInstalledCopyReadsItsIconsFromTheTheme()
    {
        const QString prefix = m_work.filePath(QStringLiteral("usr"));
        QProcess install;
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start(
                QStringLiteral(SETUPREEL_CMAKE),
                {QStringLiteral("--install"), QStringLiteral(SETUPREEL_BUILD_DIR), QStringLiteral("--prefix"), prefix});
        QVERIFY(install.waitForFinished(120000));
        QVERIFY2(install.exitCode() == 0, install.readAll().constData());
        const QString appDir = prefix + QStringLiteral("/lib/setupreel");
        QVERIFY(QFileInfo::exists(appDir + QStringLiteral("/setupreel")));
        QVERIFY(!QFileInfo::exists(appDir + QStringLiteral("/icons")));
        Seams::setAppDir(appDir);

        Program::applyWindowIcon();
        expectFullIcon(Windows::show<Form2>());
    }

    void withNoIconAtAllTheWindowsKeepTheSystemsIcon()
    {
        const QString folder = m_work.filePath(QStringLiteral("no-icons"));
        QVERIFY(copyAppFolder(QStringLiteral(SETUPREEL_BUILD_APP_DIR), folder));
        QVERIFY(QDir(folder + QStringLiteral("/icons")).removeRecursively());
        Seams::setAppDir(folder);

        Program::applyWindowIcon();
        QVERIFY(QApplication::windowIcon().availableSizes().isEmpty());
        QVERIFY(Windows::show<Form2>()->isVisible());
    }

    // The real program from a folder without its icons: the start-up check
    // still passes and the program keeps running.
    void theProgramWithoutItsIconStillStarts()
    {
        const QString folder = m_work.filePath(QStringLiteral("program"));
        QVERIFY(copyAppFolder(QStringLiteral(SETUPREEL_BUILD_APP_DIR), folder));
        QVERIFY(QDir(folder + QStringLiteral("/icons")).removeRecursively());
        // With its manifest in place the program does not restart itself.
        const QByteArray manifest = WinXpStyle::manifestText(QStringLiteral("setupreel"), QStringLiteral("1.0.0.0"),
                                                             QStringLiteral("Setupreel"))
                                            .toUtf8();
        QVERIFY(WinXpStyle::writeWholeFile(WinXpStyle::manifestPath(folder, QStringLiteral("setupreel")), manifest));

        VirtualDisplay display;
        const QString whyNot = display.start();
        if (!whyNot.isEmpty())
            QSKIP(qPrintable(whyNot));
        QProcess program;
        program.setProcessEnvironment(display.environment());
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.start(folder + QStringLiteral("/setupreel"), QStringList());
        QVERIFY(program.waitForStarted());
        auto end = qScopeGuard([&] {
            program.terminate();
            if (!program.waitForFinished(5000)) {
                program.kill();
                program.waitForFinished(5000);
            }
        });
        // The check passed when Next (4560, 3600 twips) leads into the main window.
        const QString startUp = display.waitForWindow(QStringLiteral("Searching Reguest Files"));
        QVERIFY2(!startUp.isEmpty(), program.readAll().constData());
        QCOMPARE(display.processOf(startUp), program.processId());
        QVERIFY2(display.clickUntil(startUp, 340, 252,
                                    [&] { return !display.windows(QStringLiteral("Setupreel")).isEmpty(); }),
                 program.readAll().constData());
        QCOMPARE(program.state(), QProcess::Running);
    }
};

QTEST_MAIN(TestWindowIcon)
#include "tst_windowicon.moc"
