// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The help windows' common look: a picture, one line per button of a main
// window with thin lines between them, and OK.
#include "windows/ui/Controls.h"

#include <QList>

class QPushButton;

class HelpWindow : public PictureWindow
{
    Q_OBJECT
public:
    void Form_Load() override;
    // However the window closes: both main windows take clicks again.
    void Form_Unload() override;

    QLabel *Image1;
    QPushButton *OKButton;
    Shape *Shape1;
    QList<QWidget *> Lines; // the thin lines between the help lines

    // The help lines from top to bottom.
    const QList<VbLabel *> &helpLabels() const { return m_labels; }

protected:
    HelpWindow(int okLeft, int okTop);

    // A help line at its top; it may use the room down to nextTop (and, when
    // given, stay left of maxRight), and grows wider where its text needs it.
    VbLabel *addLine(const QString &text, int top, int nextTop, int maxRight = 0);
    // Sizes the window around the lines (at least the given client size).
    void finishLayout(int widthTwips, int heightTwips);

private:
    QList<VbLabel *> m_labels;
};
