// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The animated picture (AnimatedGif.ocx, "AnimatedGif.AniGif") as its window
// calls it.
#include <QLatin1String>
#include <QString>
#include <QtPlugin>

class QWidget;

namespace ControlClass {
inline constexpr QLatin1String AnimatedPicture("AnimatedGif.AniGif");
}

class AnimatedPictureControl
{
public:
    virtual ~AnimatedPictureControl() = default;

    // Plays the picture at path, looping; false, and nothing shown, when the
    // file cannot be read as a picture. Without stretch the control takes the
    // frame size, with it the frames are scaled to the control's size.
    virtual bool LoadGif(const QString &path, bool stretch) = 0;
    // Frames are being advanced right now (never while hidden).
    virtual bool IsPlaying() const = 0;
    // Frames of the loaded picture; 0 when none is loaded, -1 when its format
    // does not tell.
    virtual int FrameCount() const = 0;

    // The picture itself, for its window to place.
    virtual QWidget *widget() = 0;
};

#define AnimatedPictureControl_iid "org.setupreel.AnimatedPictureControl/1.0"
Q_DECLARE_INTERFACE(AnimatedPictureControl, AnimatedPictureControl_iid)
