// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "AnimatedPictureControl.h"
#include "ControlFactory.h"

#include <QLabel>
#include <QPointer>

#include <memory>

class QMovie;
class ServerPicture;

// Plays an animated picture, looping. Without stretch it takes the picture's
// frame size; with stretch the frames are scaled to the control's own size.
// Plays only while it is visible, so a hidden one costs no processor time.
// On X11 the X server shows the frames (ServerPicture): each is taken once, as
// Qt paints that place of the window with the frame in it, and no frame is
// repainted through Qt's backing store after that. Frames are taken again
// after the control was hidden, moved, resized or restyled.
class AniGif : public QLabel, public AnimatedPictureControl
{
    Q_OBJECT
    Q_INTERFACES(AnimatedPictureControl)
public:
    explicit AniGif(QWidget *parent = nullptr);
    ~AniGif() override;

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
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void unload();
    bool animates() const;
    void play();
    void showFrame(int frame);
    bool startServerPicture();
    void stopServerPicture();

    QPointer<QMovie> m_movie;
    int m_frames = 0;
    bool m_failed = false;
    std::unique_ptr<ServerPicture> m_server;
    QPointer<QWidget> m_serverParent; // whose window holds the server's
    // Tried and not possible for this picture here: Qt paints every frame.
    bool m_serverRefused = false;
};

class AniGifFactory : public QObject, public ControlFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID ControlFactory_iid FILE "animatedgif.json")
    Q_INTERFACES(ControlFactory)
public:
    QObject *create(const QString &className, QWidget *parent) override;
};
