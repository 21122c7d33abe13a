// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/install/Dialog2.h"

#include "windows/ui/Navigation.h"
#include "windows/ui/Windows.h"

#include <QPushButton>

Dialog2::Dialog2() : HelpWindow(4440, 240)
{
    Label1 = addLine(QStringLiteral("Button \"Search\" : Search in your path with specified format."), 1440, 1680);
    Label2 = addLine(QStringLiteral("Button \"Add item\" :  For add an item to the current list"), 1680, 1920);
    Label3 = addLine(QStringLiteral("Button \"Save list\" : For save current list to use in next time."), 1920, 2160);
    Label4 = addLine(QStringLiteral("Button \"Load saved list\" : For load your saved list to add or remove an item "
                                    "or other chang."),
                     2160, 2700);
    Label5 = addLine(QStringLiteral("Button \"Open\" :  For select a path from  your hard to search."), 2700, 2940);
    Label6 = addLine(QStringLiteral("Button \"Up item\" & \" Down item\"  : For up or down items in the list."), 2940,
                     3180);
    Label7 = addLine(QStringLiteral("Button : \"Right Mouse Click\" on the list to show menu."), 3180, 3420);
    finishLayout(5850, 3660);

    connect(OKButton, &QPushButton::clicked, this, &Dialog2::OKButton_Click);
}

void Dialog2::OKButton_Click()
{
    Navigation::enableEditor(true);
    close();
}

void Navigation::showEditorHelp() { Windows::show<Dialog2>(); }
