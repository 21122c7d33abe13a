// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shows the install run's per-program news (remainder, current file, bar value)
// at most once a frame (25 a second: nobody reads a file name shown shorter):
// a list of programs that end at once would otherwise spend more time painting
// the window than starting them. What arrives is kept and shown at the next
// turn of the event loop, or, within a frame of the last showing, when the
// frame is over; so any program that runs longer than a frame is always on
// screen. Every other change first shows what is kept, then itself, at once.
#include "core/install/RunCaptions.h"

#include <QElapsedTimer>
#include <QTimer>

#include <optional>

class PacedDisplay : public InstallDisplay
{
public:
    static constexpr int FrameMs = 40;

    explicit PacedDisplay(InstallDisplay &shown);

    void setButtonsEnabled(bool enabled) override;
    void setCancelVisible(bool visible) override;
    void setModeText(const QString &text) override;
    void setRemainderText(const QString &text) override;
    void setCurrentFileText(const QString &text) override;
    void setProgressVisible(bool visible) override;
    void setProgressMax(int max) override;
    void setProgressValue(int value) override;

    // Shows what is kept now.
    void flush();

private:
    void paced();

    InstallDisplay &m_shown;
    QElapsedTimer m_lastShown;
    QTimer m_due;
    std::optional<QString> m_remainder, m_currentFile;
    std::optional<int> m_progress;
};
