// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The help window of the list editor.
#include "windows/install/HelpWindow.h"

class Dialog2 : public HelpWindow
{
    Q_OBJECT
public:
    Dialog2();

    VbLabel *Label1;
    VbLabel *Label2;
    VbLabel *Label3;
    VbLabel *Label4;
    VbLabel *Label5;
    VbLabel *Label6;
    VbLabel *Label7;

public slots:
    void OKButton_Click();
};
