// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The help window of the main window.
#include "windows/install/HelpWindow.h"

class Dialog1 : public HelpWindow
{
    Q_OBJECT
public:
    Dialog1();

    VbLabel *Label1;
    VbLabel *Label2;
    VbLabel *Label3;
    VbLabel *Label4;

public slots:
    void OKButton_Click();
};
