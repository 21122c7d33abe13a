// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/install/PacedDisplay.h"

PacedDisplay::PacedDisplay(InstallDisplay &shown) : m_shown(shown)
{
    m_due.setSingleShot(true);
    QObject::connect(&m_due, &QTimer::timeout, [this] { flush(); });
}

void PacedDisplay::paced()
{
    if (m_due.isActive())
        return;
    // After a quiet frame at the next turn of the event loop, so that what the
    // run sets together (remainder, file, bar) is shown together; else when
    // the frame is over.
    const qint64 since = m_lastShown.isValid() ? m_lastShown.elapsed() : FrameMs;
    m_due.start(since >= FrameMs ? 0 : int(FrameMs - since));
}

void PacedDisplay::flush()
{
    m_due.stop();
    m_lastShown.start();
    // In the order the run gives them.
    if (m_remainder)
        m_shown.setRemainderText(*std::exchange(m_remainder, std::nullopt));
    if (m_currentFile)
        m_shown.setCurrentFileText(*std::exchange(m_currentFile, std::nullopt));
    if (m_progress)
        m_shown.setProgressValue(*std::exchange(m_progress, std::nullopt));
}

void PacedDisplay::setRemainderText(const QString &text)
{
    m_remainder = text;
    paced();
}

void PacedDisplay::setCurrentFileText(const QString &text)
{
    m_currentFile = text;
    paced();
}

void PacedDisplay::setProgressValue(int value)
{
    m_progress = value;
    paced();
}

void PacedDisplay::setButtonsEnabled(bool enabled)
{
    flush();
    m_shown.setButtonsEnabled(enabled);
}

void PacedDisplay::setCancelVisible(bool visible)
{
    flush();
    m_shown.setCancelVisible(visible);
}

void PacedDisplay::setModeText(const QString &text)
{
    flush();
    m_shown.setModeText(text);
}

void PacedDisplay::setProgressVisible(bool visible)
{
    flush();
    m_shown.setProgressVisible(visible);
}

void PacedDisplay::setProgressMax(int max)
{
    flush();
    m_shown.setProgressMax(max);
}
