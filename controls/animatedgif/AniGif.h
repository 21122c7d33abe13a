#pragma once
#include "AnimatedPictureControl.h"
#include "ControlFactory.h"

#include <QLabel>
#include <QPointer>

class QMovie;

// Plays an animated picture, looping. Without stretch it takes the picture's
// frame size; with stretch the frames are scaled to the control's own size.
// Plays only while it is visible, so a hidden one costs no processor time.
class AniGif : public QLabel, public AnimatedPictureControl
{
    Q_OBJECT
    Q_INTERFACES(AnimatedPictureControl)
public:
    explicit AniGif(QWidget *parent = nullptr);

    // False, and nothing shown, when the file cannot be read as a picture.
    bool LoadGif(const QString &path, bool stretch) override;
    // Frames are being advanced right now (not while hidden).
    bool IsPlaying() const override;
    // Frames of the loaded picture; 0 when none is loaded, -1 when its format
    // does not tell.
    int FrameCount() const override;
    QWidget *widget() override { return this; }

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void unload();
    bool animates() const;
    void play();

    QPointer<QMovie> m_movie;
    int m_frames = 0;
    bool m_failed = false;
};

class AniGifFactory : public QObject, public ControlFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID ControlFactory_iid FILE "animatedgif.json")
    Q_INTERFACES(ControlFactory)
public:
    QObject *create(const QString &className, QWidget *parent) override;
};
