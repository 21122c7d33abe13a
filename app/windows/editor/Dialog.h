// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The switch dialog "Change, remove,add a switch to item": changes or removes
// the selected row, or adds a switch to every program row.
#include "windows/ui/Controls.h"

class QLineEdit;
class QPushButton;
class QRadioButton;

class Dialog : public PictureWindow
{
    Q_OBJECT
public:
    Dialog();
    void Form_Load() override;
    // However the dialog closes: the editor takes clicks again.
    void Form_Unload() override;

    QPushButton *OKButton;
    QPushButton *Command1; // Remove
    QPushButton *CancelButton;
    VbLabel *Label2;
    QRadioButton *Option1;
    QLineEdit *Text1;
    QRadioButton *Option2;
    QLineEdit *Text2;
    QLabel *Image1;
    QLabel *Image2;
    QLabel *Image3;
    Shape *Shape1;

public slots:
    void OKButton_Click();
    void Command1_Click();
    void CancelButton_Click();
    void Option1_Click();
    void Option2_Click();
};
