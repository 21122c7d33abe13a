// SPDX-License-Identifier: GPL-3.0-or-later
// The animated picture as its window meets it: the real AnimatedGif.ocx,
// created by class name and called through its interface.
#include "AnimatedPictureControl.h"
#include "ControlTesting.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QMovie>
#include <QPainter>
#include <QPluginLoader>
#include <QPointer>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

static const QString busyGif = QStringLiteral(SETUPREEL_SOURCE_DIR "/pictures/busy.gif");

static AnimatedPictureControl *typed(QObject *control) { return qobject_cast<AnimatedPictureControl *>(control); }

static bool loadGif(QObject *control, const QString &path, bool stretch)
{
    return typed(control)->LoadGif(path, stretch);
}

static bool isPlaying(QObject *control) { return typed(control)->IsPlaying(); }
static int frameCount(QObject *control) { return typed(control)->FrameCount(); }

// A two-frame 1 x 1 picture without a loop count, 20 ms a frame: it would
// play once and stop.
static QByteArray twoFramesNoLoop()
{
    QByteArray gif("GIF89a\x01\x00\x01\x00\x80\x00\x00"
                   "\x00\x00\x00\xff\xff\xff",
                   19);
    const char frame0[] = "\x21\xf9\x04\x00\x02\x00\x00\x00"
                          "\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00"
                          "\x02\x02\x44\x01\x00";
    const char frame1[] = "\x21\xf9\x04\x00\x02\x00\x00\x00"
                          "\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00"
                          "\x02\x02\x4c\x01\x00";
    gif.append(frame0, sizeof frame0 - 1);
    gif.append(frame1, sizeof frame1 - 1);
    gif.append('\x3b');
    return gif;
}

class TestAnimatedGifControl : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void factoryCreatesByClassName();
    void playsAndTakesFrameSize();
    void screenShowsFrameOverWindow();
    void stretchKeepsOwnSize();
    void unreadableFileShowsNothing();
    void loopsWithoutLoopCount();
    void stillPictureShowsWithoutRunning();
    void hiddenIsPaused();

private:
    QLabel *label() { return qobject_cast<QLabel *>(m_control); }

    QPluginLoader m_loader;
    ControlFactory *m_factory = nullptr;
    QWidget *m_window = nullptr;
    QObject *m_control = nullptr;
    QTemporaryDir m_dir;
};

void TestAnimatedGifControl::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY2(QFile::exists(busyGif), qPrintable(busyGif));
    const QString why = loadControlLibrary(m_loader, QStringLiteral(SETUPREEL_BUILD_SYSTEM_DIR "/AnimatedGif.ocx"),
                                           QStringLiteral("AnimatedGif.AniGif"), &m_factory);
    QVERIFY2(why.isEmpty(), qPrintable(why));
}

void TestAnimatedGifControl::init()
{
    m_window = new QWidget;
    m_window->resize(400, 300);
    m_control = m_factory->create("AnimatedGif.AniGif", m_window);
    QVERIFY(typed(m_control));
    QVERIFY(label());
    label()->setGeometry(10, 10, 200, 100);
}

void TestAnimatedGifControl::cleanup()
{
    delete m_window;
    m_window = nullptr;
    m_control = nullptr;
}

void TestAnimatedGifControl::factoryCreatesByClassName()
{
    QCOMPARE(m_control->parent(), m_window);
    QVERIFY(m_factory->create("animatedgif.ANIGIF", m_window));
    QCOMPARE(m_factory->create("AnimatedGif.AniGifX", m_window), nullptr);
    QCOMPARE(m_factory->create("PopupMenuLib.PopupMenu", m_window), nullptr);
    QCOMPARE(frameCount(m_control), 0);
    QVERIFY(!isPlaying(m_control));
}

void TestAnimatedGifControl::playsAndTakesFrameSize()
{
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    QVERIFY(loadGif(m_control, busyGif, false));
    QCOMPARE(frameCount(m_control), 12);
    QVERIFY(isPlaying(m_control));
    QCOMPARE(label()->size(), QSize(32, 32));
    QVERIFY(!label()->hasScaledContents());

    // Frames move on by themselves and come round again.
    QMovie *movie = label()->movie();
    QVERIFY(movie);
    QSignalSpy frames(movie, &QMovie::frameChanged);
    QTRY_VERIFY_WITH_TIMEOUT(frames.size() >= 14, 5000);
    QList<int> seen;
    for (const QList<QVariant> &args : frames)
        seen << args.at(0).toInt();
    QVERIFY2(seen.contains(11) && seen.lastIndexOf(0) > seen.indexOf(11), "the picture loops");
    QVERIFY(isPlaying(m_control));
    QVERIFY(!label()->grab().toImage().isNull());
}

// What reaches the screen, however the frames get there: the current frame,
// stretched or not, over what the window paints beneath it.
void TestAnimatedGifControl::screenShowsFrameOverWindow()
{
    QPalette palette = m_window->palette();
    palette.setColor(QPalette::Window, QColor(0x20, 0x80, 0xc0));
    m_window->setPalette(palette);
    m_window->setAutoFillBackground(true);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    for (const bool stretch : {false, true}) {
        label()->setGeometry(10, 10, 200, 100);
        QVERIFY(loadGif(m_control, busyGif, stretch));
        QSignalSpy frames(label()->movie(), &QMovie::frameChanged);
        QTRY_VERIFY(frames.size() >= 14); // a whole round played
        const auto onScreen = [this] {
            const QPoint at = label()->mapToGlobal(QPoint(0, 0));
            return m_window->screen()
                    ->grabWindow(0, at.x(), at.y(), label()->width(), label()->height())
                    .toImage()
                    .convertToFormat(QImage::Format_RGB32);
        };
        const auto expected = [this] {
            QImage image(label()->size(), QImage::Format_RGB32);
            image.fill(QColor(0x20, 0x80, 0xc0));
            QPainter p(&image);
            const QPixmap frame = label()->movie()->currentPixmap();
            p.drawPixmap(0, 0, label()->hasScaledContents() ? frame.scaled(label()->size()) : frame);
            return image;
        };
        // The frame may move on between the two looks: until they agree.
        QVERIFY(!label()->movie()->currentPixmap().isNull());
        QTRY_VERIFY_WITH_TIMEOUT(onScreen() == expected(), 3000);
    }
}

void TestAnimatedGifControl::stretchKeepsOwnSize()
{
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    QVERIFY(loadGif(m_control, busyGif, true));
    QCOMPARE(label()->size(), QSize(200, 100));
    QVERIFY(label()->hasScaledContents());
    QVERIFY(isPlaying(m_control));

    // Loading again without stretch replaces the picture and takes its size.
    QVERIFY(loadGif(m_control, busyGif, false));
    QCOMPARE(label()->size(), QSize(32, 32));
    QVERIFY(!label()->hasScaledContents());
    QCOMPARE(label()->findChildren<QMovie *>().size(), 1);
}

void TestAnimatedGifControl::unreadableFileShowsNothing()
{
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    QVERIFY(loadGif(m_control, busyGif, false));
    QVERIFY(isPlaying(m_control));

    // A failed load also takes the earlier picture away.
    QVERIFY(!loadGif(m_control, m_dir.path() + "/busy.gif", false));
    QVERIFY(!isPlaying(m_control));
    QCOMPARE(frameCount(m_control), 0);
    QCOMPARE(label()->movie(), nullptr);
    QVERIFY(label()->pixmap().isNull());
    QVERIFY(label()->findChildren<QMovie *>().isEmpty());

    const QString text = m_dir.path() + "/notes.gif";
    QFile f(text);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("not a picture at all\n");
    f.close();
    QVERIFY(!loadGif(m_control, text, false));
    QVERIFY(!loadGif(m_control, QString(), false));
    QVERIFY(!loadGif(m_control, m_dir.path(), false));
    QCOMPARE(label()->movie(), nullptr);

    // Cut short after the header and colours: no frame to show.
    QFile cut(m_dir.path() + "/cut.gif");
    QVERIFY(cut.open(QIODevice::WriteOnly));
    cut.write(twoFramesNoLoop().left(19));
    cut.close();
    QVERIFY(!loadGif(m_control, cut.fileName(), false));
    QCOMPARE(label()->movie(), nullptr);
}

void TestAnimatedGifControl::loopsWithoutLoopCount()
{
    const QString path = m_dir.path() + "/twice.gif";
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(twoFramesNoLoop());
    f.close();

    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    QVERIFY(loadGif(m_control, path, false));
    QCOMPARE(frameCount(m_control), 2);
    QCOMPARE(label()->size(), QSize(1, 1));
    QCOMPARE(label()->movie()->loopCount(), 0);
    QSignalSpy frames(label()->movie(), &QMovie::frameChanged);
    // Played once it would show two frames and stop.
    QTRY_VERIFY_WITH_TIMEOUT(frames.size() >= 6, 5000);
}

void TestAnimatedGifControl::stillPictureShowsWithoutRunning()
{
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    const QString still = QStringLiteral(SETUPREEL_SOURCE_DIR "/pictures/Point.gif");
    QVERIFY(loadGif(m_control, still, false));
    QCOMPARE(frameCount(m_control), 1);
    QCOMPARE(label()->size(), QImage(still).size());
    QVERIFY(!label()->movie()->currentPixmap().isNull());
    // Nothing to advance: no timer keeps stepping through the one frame.
    QSignalSpy frames(label()->movie(), &QMovie::frameChanged);
    QSignalSpy starts(label()->movie(), &QMovie::started);
    QTest::qWait(350);
    QVERIFY(!isPlaying(m_control));
    QCOMPARE(frames.size() + starts.size(), 0);
}

void TestAnimatedGifControl::hiddenIsPaused()
{
    // Loaded before its window shows, the way a window loads its pictures.
    QVERIFY(loadGif(m_control, busyGif, false));
    QVERIFY(!isPlaying(m_control));
    QMovie *movie = label()->movie();
    QSignalSpy frames(movie, &QMovie::frameChanged);
    QTest::qWait(300);
    QCOMPARE(frames.size(), 0);

    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    QVERIFY(isPlaying(m_control));
    QTRY_VERIFY(frames.size() >= 2);

    // The control itself hidden.
    label()->hide();
    QVERIFY(!isPlaying(m_control));
    QCOMPARE(movie->state(), QMovie::Paused);
    int at = frames.size();
    QTest::qWait(300); // more than three frames' time
    QCOMPARE(frames.size(), at);
    label()->show();
    QVERIFY(isPlaying(m_control));
    QTRY_VERIFY(frames.size() > at + 1);

    // Its window hidden.
    m_window->hide();
    QVERIFY(!isPlaying(m_control));
    at = frames.size();
    QTest::qWait(300);
    QCOMPARE(frames.size(), at);
    m_window->show();
    QVERIFY(isPlaying(m_control));
    QTRY_VERIFY(frames.size() > at + 1);

    // Its window minimized, as the editor's Minimize does.
    m_window->setWindowState(m_window->windowState() | Qt::WindowMinimized);
    QVERIFY(!isPlaying(m_control));
    m_window->setWindowState(m_window->windowState() & ~Qt::WindowMinimized);
    QVERIFY(isPlaying(m_control));
}

QTEST_MAIN(TestAnimatedGifControl)
#include "tst_animatedgif_control.moc"
