// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The search path chooser: picks the folder of the folder search by browsing
// drives and folders. OK and Cancel only hide it, so the next Open shows it
// where it was left.
#include "windows/ui/Controls.h"

class DriveListBox;
class FolderListBox;
class QPushButton;

class Form3 : public PictureWindow
{
    Q_OBJECT
public:
    Form3();
    void Form_Load() override;
    // Closed by the frame: hidden, the editor enabled, and unloaded.
    void Form_Unload() override;

    DriveListBox *Drive1;
    FolderListBox *Dir1;
    QPushButton *Command1; // OK
    QPushButton *Command2; // Cancel
    Shape *Shape1;

public slots:
    void Command1_Click();
    void Command2_Click();
    void Drive1_Change();
};
