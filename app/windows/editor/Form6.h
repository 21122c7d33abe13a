// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The send-to-line window: moves the selected row to the typed line. Hidden,
// not unloaded, when it closes, so the typed text stays.
#include "windows/ui/Controls.h"

class QLineEdit;
class QPushButton;

class Form6 : public PictureWindow
{
    Q_OBJECT
public:
    Form6();
    void Form_Load() override;

    VbLabel *Label1;
    QLineEdit *Text3;
    VbLabel *Label2;
    QPushButton *Command1; // Cancel
    Shape *Shape1;

public slots:
    void Text3_KeyPress(int key);
    void Command1_Click();

protected:
    void showEvent(QShowEvent *event) override;
    // Closing by the frame is Cancel; the window stays loaded.
    FrameClose queryUnload() override;
    bool eventFilter(QObject *watched, QEvent *event) override;
};
