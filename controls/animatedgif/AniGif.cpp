#include "AniGif.h"

#include <QMovie>

AniGif::AniGif(QWidget *parent) : QLabel(parent) { setAlignment(Qt::AlignCenter); }

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
}

QObject *AniGifFactory::create(const QString &className, QWidget *parent)
{
    if (className.compare(ControlClass::AnimatedPicture, Qt::CaseInsensitive) != 0)
        return nullptr;
    return new AniGif(parent);
}
