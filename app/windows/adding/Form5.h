// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The search options window: append the search's results to the list or
// replace it. It hosts the hidden QuarryBox1 that every editor search uses.
#include "windows/ui/Controls.h"

#include <QPointer>

class QPushButton;
class QRadioButton;

class Form5 : public PictureWindow, private SearchMessageSink
{
    Q_OBJECT
public:
    Form5();
    void Form_Load() override;

    VbLabel *Label1;
    Shape *Shape2;
    QRadioButton *Option1;
    QRadioButton *Option2;
    QPushButton *Command2; // Cancel
    QPushButton *Command1; // Search
    QPointer<QWidget> QuarryBox1;
    Shape *Shape1;

    // FindFiles with the editor's path and pattern as they are now, into its
    // list and its "files found" label, counting in SearchFileCount.
    void searchIntoEditor();

public slots:
    void Command1_Click();
    void Command2_Click();
    // The search control's "Unexpected Error" boxes go through the dialog seam.
    void messageBox(const QString &text, const QString &title) override;

protected:
    // Closing by the frame is Cancel; the window stays loaded.
    FrameClose queryUnload() override;
};
