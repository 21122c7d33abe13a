// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "core/common/Prompts.h"

// The real dialogs: Qt message boxes, the input box and the common-dialog
// control's own ShowOpen and ShowSave.
class WidgetPrompts : public Prompts
{
public:
    void messageBox(const QString &text, const QString &title, MsgIcon icon) override;
    bool questionBox(const QString &text, const QString &title, MsgIcon icon) override;
    QString inputBox(const QString &prompt, const QString &title, const QString &defaultText) override;
    bool showFileDialog(CommonDialogControl *dialog, FileDialogMode mode) override;

    // The least width a window needs for its whole title in a window manager's
    // title bar: the title in a bold title-bar font, and room for the frame's
    // icon and buttons.
    static int widthForTitle(const QString &title);
};
