// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window: Point, Load, Install, Cancel, Exit and the top-strip areas.
#include "core/install/HostedRunAndWait.h"
#include "core/install/InstallRun.h"
#include "core/install/RunCaptions.h"
#include "core/lists/ListSequences.h"
#include "windows/ui/Controls.h"

#include <QPointer>

#include <memory>
#include <optional>

class CommonDialogControl;
class PacedDisplay;
class ProgressBarControl;
class QProgressBar;

class Form2 : public PictureWindow, private InstallDisplay, private RunObserver
{
    Q_OBJECT
public:
    Form2();
    ~Form2() override;

    void Form_Load() override;

    Shape *Shape1;
    PictureButton *Image1; // Exit
    PictureButton *Image2; // Point
    PictureButton *Image3; // Load
    PictureButton *Image4; // Install
    PictureButton *Image5; // Cancel
    VbLabel *Label1;
    VbLabel *Label2;
    VbLabel *Label3;
    VbLabel *Label4;
    VbLabel *Label5;
    ClickArea *Label6;       // About
    ClickArea *Label7;       // Help
    ClickArea *Label8;       // Minimize
    ProgressBarControl *PB1; // hosted progress bar
    // Hosted controls that only Install and Load use: their libraries are
    // loaded at first use; null before, and when a library is missing.
    QPointer<QObject> ShellAndWait1;    // run-and-wait control
    CommonDialogControl *CD1 = nullptr; // open dialog

    // ShellAndWait1 and CD1, created on the first call.
    QObject *runAndWaitControl();
    CommonDialogControl *commonDialog();

    InstallRun &installRun() { return *m_run; }

    // Load for a file already chosen (named on the command line): the same
    // checks and messages, and the dialog starts there next time.
    void loadListFile(const QString &path);

public slots:
    void Image1_Click();
    void Image2_Click();
    void Image3_Click();
    void Image4_Click();
    void Image5_Click();
    void Label6_Click();
    void Label7_Click();
    void Label8_Click();

protected:
    // The frame's close is Exit, while Exit takes clicks.
    FrameClose queryUnload() override;

private:
    // InstallDisplay
    void setButtonsEnabled(bool enabled) override;
    void setCancelVisible(bool visible) override;
    void setModeText(const QString &text) override;
    void setRemainderText(const QString &text) override;
    void setCurrentFileText(const QString &text) override;
    void setProgressVisible(bool visible) override;
    void setProgressMax(int max) override;
    void setProgressValue(int value) override;

    // RunObserver: the captions, and the step the other windows read.
    void runStarted(int programCount) override;
    void programStarting(const ProgramStart &program) override;
    void waitingForAnotherInstallation(int secondsLeft) override;
    void waitingForLeftovers(const QList<LeftoverProcess> &processes) override;
    void programEnded(const ProgramRecord &program) override;
    void runEnded(const RunRecord &run) override;
    void cancelPressed() override;

    void showLoaded(const ListSequences::InstallLoad &load);

    std::unique_ptr<PacedDisplay> m_paced;
    std::unique_ptr<RunCaptions> m_captions;
    HostedRunAndWait m_runAndWait;
    std::unique_ptr<InstallRun> m_run;
    std::optional<LoadedList> m_list; // the list Install runs
    bool m_runAndWaitTried = false;
    bool m_commonDialogTried = false;
};
