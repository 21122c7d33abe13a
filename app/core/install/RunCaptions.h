// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window's captions for the install run: the run's events as the
// texts, buttons and bar the window shows, through InstallDisplay.
#include "core/install/RunObserver.h"

#include <QString>

class InstallDisplay
{
public:
    virtual ~InstallDisplay() = default;
    virtual void setButtonsEnabled(bool enabled) = 0; // Exit, Point, Load, Install
    virtual void setCancelVisible(bool visible) = 0;
    virtual void setModeText(const QString &text) = 0;        // Label5
    virtual void setRemainderText(const QString &text) = 0;   // Label4
    virtual void setCurrentFileText(const QString &text) = 0; // Label3
    virtual void setProgressVisible(bool visible) = 0;
    virtual void setProgressMax(int max) = 0;
    virtual void setProgressValue(int value) = 0;
};

class RunCaptions final : public RunObserver
{
public:
    explicit RunCaptions(InstallDisplay &display) : m_display(display) {}

    void runStarted(int programCount) override;
    void programStarting(const ProgramStart &program) override;
    void waitingForAnotherInstallation(int secondsLeft) override;
    void waitingForLeftovers(const QList<LeftoverProcess> &processes) override;
    void programEnded(const ProgramRecord &program) override;
    void runEnded(const RunRecord &run) override;
    void cancelPressed() override;

private:
    InstallDisplay &m_display;
    int m_programs = 0;
    int m_ended = 0;
    QString m_line; // the current program's
};
