// The program's icon on its windows: every window shown carries it in each
// size of the application folder, the small sizes as drawn for them rather than
// scaled down; a missing or broken icon file costs only its size, and the real
// program without any icon still starts and passes its check.
#include "AppFolderCopy.h"
#include "WindowTestFixture.h"
#include "adding/Additem.h"
#include "adding/Form3.h"
#include "adding/Form5.h"
#include "editor/Form1.h"
#include "editor/Form6.h"
#include "install/Dialog1.h"
#include "install/Dialog2.h"
#include "install/Form2.h"
#include "startup/Form4.h"
#include "startup/WinXpStyle.h"
#include "startup/frmAbout.h"

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

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
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
    void initTestCase()
    {
        QVERIFY(m_work.isValid());
        WindowTestFixture::setUpOnce();
    }

    void init() { m_windows.setUp(); }

    void cleanup()
    {
        m_windows.tearDown();
        Folders::setAppDir(QStringLiteral(SETUPREEL_BUILD_APP_DIR));
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
        const QList<QWidget *> shown = {Windows::show<Form4>(), Windows::show<Form2>(), Windows::find<Form1>(),
                                        Windows::show<Dialog1>(),  Windows::show<frmAbout>(), Windows::show<Additem>(),
                                        Windows::show<Form3>(),    Windows::show<Form5>(),    Windows::show<Form6>(),
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
        Folders::setAppDir(folder);

        Program::applyWindowIcon();
        Form2 *main = Windows::show<Form2>();
        QCOMPARE(sizesOf(main->windowIcon()), (QList<int>{22, 24, 64, 128, 256}));
        // The window itself is as ever: its pictures came from the same folder.
        QVERIFY(!main->Image2->picture().isNull());
    }

    void withNoIconAtAllTheWindowsKeepTheSystemsIcon()
    {
        const QString folder = m_work.filePath(QStringLiteral("no-icons"));
        QVERIFY(copyAppFolder(QStringLiteral(SETUPREEL_BUILD_APP_DIR), folder));
        QVERIFY(QDir(folder + QStringLiteral("/icons")).removeRecursively());
        Folders::setAppDir(folder);

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
                                                             QStringLiteral("Setupreel")).toUtf8();
        QVERIFY(WinXpStyle::writeWholeFile(WinXpStyle::manifestPath(folder, QStringLiteral("setupreel")), manifest));

        const QString report = m_work.filePath(QStringLiteral("program.report"));
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("SETUPREEL_SYSTEM_DIR"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("SETUPREEL_REPORT_FILE"), report);
        env.insert(QStringLiteral("SETUPREEL_PAUSE_MS"), QStringLiteral("0"));
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.start(folder + QStringLiteral("/setupreel"), QStringList());
        QVERIFY(program.waitForStarted());
        const bool ready = QTest::qWaitFor([&] { return readAll(report).split('\n').contains("Form4 ready"); }, 20000);
        const bool running = program.state() == QProcess::Running;
        program.terminate();
        if (!program.waitForFinished(5000)) {
            program.kill();
            program.waitForFinished(5000);
        }
        QVERIFY2(ready, (readAll(report) + program.readAll()).constData());
        QVERIFY(running);
    }
};

QTEST_MAIN(TestWindowIcon)
#include "tst_windowicon.moc"
