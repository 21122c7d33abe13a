// SPDX-License-Identifier: GPL-3.0-or-later
#include "AniGif.h"

#include "ServerPicture.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMovie>

namespace {
// The most one picture's frames may take on the X server; a larger one is
// painted by Qt.
constexpr qint64 MaxServerBytes = qint64(32) * 1024 * 1024;
} // namespace

AniGif::AniGif(QWidget *parent) : QLabel(parent) { setAlignment(Qt::AlignCenter); }

AniGif::~AniGif() = default;

bool AniGif::LoadGif(const QString &path, bool stretch)
{
    unload();
    auto *movie = new QMovie(path, QByteArray(), this);
    // Frames are decoded once and kept: an idle window then spends next to
    // nothing on its animation.
    movie->setCacheMode(QMovie::CacheAll);
    // The first frame proves the file is a picture and gives its size.
    if (!movie->isValid() || !movie->jumpToFrame(0) || movie->currentImage().isNull()) {
        delete movie;
        return false;
    }
    m_movie = movie;
    m_frames = movie->frameCount();
    m_failed = false;

    // A picture with no loop count of its own would stop after one pass.
    // Queued: the movie is still inside its own frame step when it finishes.
    connect(
            movie, &QMovie::finished, this,
            [this, movie] {
                if (movie == m_movie && !m_failed && isVisible())
                    play();
            },
            Qt::QueuedConnection);
    // A broken frame ends the animation where it is rather than retrying forever.
    connect(movie, &QMovie::error, this, [this] { m_failed = true; });
    connect(movie, &QMovie::frameChanged, this, &AniGif::showFrame);

    setScaledContents(stretch);
    if (!stretch)
        resize(movie->currentImage().size());
    setMovie(movie);
    if (isVisible())
        play();
    return true;
}

void AniGif::unload()
{
    stopServerPicture();
    m_serverRefused = false;
    QLabel::clear();
    delete m_movie.data();
    m_frames = 0;
    m_failed = false;
}

bool AniGif::animates() const
{
    // A still picture has nothing to advance; running it would only spin.
    return m_movie && !m_failed && m_frames != 1;
}

void AniGif::play()
{
    if (!animates())
        return;
    if (m_movie->state() == QMovie::Paused)
        m_movie->setPaused(false);
    else if (m_movie->state() == QMovie::NotRunning)
        m_movie->start();
}

bool AniGif::IsPlaying() const { return m_movie && m_movie->state() == QMovie::Running; }

int AniGif::FrameCount() const { return m_frames; }

void AniGif::showEvent(QShowEvent *event)
{
    QLabel::showEvent(event);
    play();
}

void AniGif::hideEvent(QHideEvent *event)
{
    QLabel::hideEvent(event);
    if (m_movie && m_movie->state() == QMovie::Running)
        m_movie->setPaused(true);
    stopServerPicture();
}

// Frames taken from another place, size or look are not what Qt would paint
// now: the next frame starts again.
void AniGif::moveEvent(QMoveEvent *event)
{
    QLabel::moveEvent(event);
    stopServerPicture();
}

void AniGif::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    stopServerPicture();
}

void AniGif::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    switch (event->type()) {
    case QEvent::ParentChange:
    case QEvent::PaletteChange:
    case QEvent::StyleChange:
    case QEvent::EnabledChange: stopServerPicture(); break;
    default: break;
    }
}

bool AniGif::eventFilter(QObject *watched, QEvent *event)
{
    // The parent's window made anew took the server's with it.
    if (watched == m_serverParent && event->type() == QEvent::WinIdChange)
        stopServerPicture();
    return QLabel::eventFilter(watched, event);
}

void AniGif::showFrame(int frame)
{
    if (!isVisible() || (!m_server && !startServerPicture()))
        return; // QLabel paints it
    if (!m_server->hasFrame(frame)) {
        // Exactly what Qt paints at this place of the window, this frame
        // included, painted as into Qt's backing store for X11: its format,
        // and its size (shapes cut by the edge of a smaller image round
        // otherwise).
        QWidget *top = window();
        const QRect here(mapTo(top, QPoint(0, 0)), size());
        QImage shown(top->size(), QImage::Format_ARGB32_Premultiplied);
        shown.fill(Qt::transparent);
        top->render(&shown, here.topLeft(), QRegion(here));
        if (!m_server->addFrame(frame, shown.copy(here).convertToFormat(QImage::Format_RGB32))) {
            m_serverRefused = true;
            stopServerPicture();
            return;
        }
    }
    m_server->showFrame(frame);
}

bool AniGif::startServerPicture()
{
    if (m_serverRefused || !m_movie)
        return false;
    // The server's window sits in the parent's own window, so every move of
    // this control is a move of it.
    QWidget *parent = parentWidget();
    const qint64 bytes = qint64(width()) * height() * 4 * m_frames;
    if (QGuiApplication::platformName() == QLatin1String("xcb") && parent && parent->internalWinId()
        && qFuzzyCompare(devicePixelRatioF(), 1.0) && m_frames > 1 && bytes <= MaxServerBytes)
        m_server = ServerPicture::create(std::uint32_t(parent->internalWinId()), geometry());
    if (!m_server) {
        m_serverRefused = true;
        return false;
    }
    m_serverParent = parent;
    parent->installEventFilter(this);
    // No repaint of the label for each frame: the server shows them.
    disconnect(m_movie, &QMovie::updated, this, nullptr);
    return true;
}

void AniGif::stopServerPicture()
{
    if (!m_server)
        return;
    m_server.reset();
    if (m_serverParent)
        m_serverParent->removeEventFilter(this);
    m_serverParent = nullptr;
    // QLabel paints the frames again, from the one shown now.
    if (m_movie) {
        setMovie(m_movie);
        update();
    }
}

QObject *AniGifFactory::create(const QString &className, QWidget *parent)
{
    if (className.compare(ControlClass::AnimatedPicture, Qt::CaseInsensitive) != 0)
        return nullptr;
    return new AniGif(parent);
}
