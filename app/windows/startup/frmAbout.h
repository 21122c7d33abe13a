// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The about box: title, version, description, the author's addresses, and the
// buttons OK, Update (the web site) and System Info.
#include "windows/ui/Controls.h"

class QPushButton;

class frmAbout : public PictureWindow
{
    Q_OBJECT
public:
    frmAbout();
    void Form_Load() override;
    // However the about box closes: both main windows take clicks again.
    void Form_Unload() override;

    static QString webAddress();  // "https://setupreel.example.org"
    static QString mailAddress(); // "support@setupreel.example.org"

    QLabel *picIcon;
    VbLabel *lblTitle;
    VbLabel *lblVersion;
    VbLabel *lblDescription;
    QWidget *Line1[2]; // grey, then white
    VbLabel *lblDisclaimer;
    QPushButton *cmdOK;
    QPushButton *Command1; // Update
    QPushButton *cmdSysInfo;
    Shape *Shape1;

    // Starts the system information tool, or says that there is none.
    void StartSysInfo();

public slots:
    void cmdOK_Click();
    void Command1_Click();
    void cmdSysInfo_Click();

protected:
    void keyPressEvent(QKeyEvent *event) override;
};
