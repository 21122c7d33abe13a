// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/install/Dialog1.h"

#include "windows/ui/Navigation.h"
#include "windows/ui/Windows.h"

#include <QPushButton>

Dialog1::Dialog1() : HelpWindow(4440, 3360)
{
    Label1 = addLine(QStringLiteral("Button \"Point\" : Point to your setup files and save  list of your setup "
                                    "files  for now  installing  or afterwards."),
                     1440, 2040);
    Label2 = addLine(QStringLiteral("Button \"Load\" : Load your list of setup files. for installing"), 2040, 2640);
    Label3 = addLine(QStringLiteral("Button \"Install\" : Install setup files of your list that is loaded."), 2640,
                     3120);
    // The last line wraps left of OK.
    Label4 = addLine(QStringLiteral("Button \"Cancel\" : Cancel the current installing."), 3120, 3840, 4380);
    finishLayout(5850, 3900);

    connect(OKButton, &QPushButton::clicked, this, &Dialog1::OKButton_Click);
}

void Dialog1::OKButton_Click()
{
    Navigation::enableMainWindow(true);
    Navigation::enableEditor(true);
    close();
}

void Navigation::showMainHelp() { Windows::show<Dialog1>(); }
