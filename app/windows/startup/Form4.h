// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The start-up window "Searching Reguest Files": checks the support files in
// four timed stages and then offers "Next" into the main window, or only "Exit".
#include "core/startup/SupportCheck.h"
#include "windows/ui/Controls.h"

#include <QPointer>

#include <memory>

class ProgressBarControl;
class QPushButton;
class QTimer;

class Form4 : public PictureWindow, private CheckDisplay
{
    Q_OBJECT
public:
    Form4();
    ~Form4() override;

    // Runs before the window is created: writes the style manifest when it is
    // missing, and then starts a new instance and ends this one.
    static void Form_Initialize();

    void Form_Load() override;

    ProgressBarControl *PB1; // hosted progress bar
    VbLabel *Label1;
    QPushButton *Command1; // Next
    QPushButton *Command2; // Exit
    VbRowList *List1;
    QPointer<QObject> QuarryBox1; // hosted search control
    QTimer *Timer1;
    QTimer *Timer2;
    QTimer *Timer3;
    QTimer *Timer4;
    QTimer *Timer5; // driver

    SupportCheck &check() { return *m_check; }

signals:
    // The window is on the screen: what it does not draw may load now.
    void firstPainted();

public slots:
    void Timer1_Timer();
    void Timer2_Timer();
    void Timer3_Timer();
    void Timer4_Timer();
    void Timer5_Timer();
    void Command1_Click();
    void Command2_Click();

protected:
    // Closing by the frame ends the program, as "Exit".
    FrameClose queryUnload() override;
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    // CheckDisplay
    void search(const QString &folder, const QString &pattern, qint16 &searchTotal) override;
    QStringList listedNames() const override;
    void clearList() override;
    void setProgressMax(int max) override;
    void setProgressValue(int value) override;
    void setStatusText(const QString &text) override;
    void setNextEnabled(bool enabled) override;
    void setNextVisible(bool visible) override;
    void setExitVisible(bool visible) override;
    void pause() override;

    void runStage(QTimer *timer, int stage);
    // QuarryBox1, made on the first search.
    void createSearchControl();

    std::unique_ptr<SupportCheck> m_check;
    bool m_painted = false;
    bool m_released = false; // picture and window let go after "Next"
    bool m_searchingImages = false;
    bool m_searchControlTried = false;
};
