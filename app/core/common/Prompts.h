// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Every message box, input box and file dialog goes through this interface, so
// the windows run under test with scripted answers.
#include <QString>

class CommonDialogControl;

enum class MsgIcon { None, Critical, Exclamation, Information };
enum class FileDialogMode { Open, Save };

class Prompts
{
public:
    virtual ~Prompts() = default;

    // A modal box with one OK button. Lines of text are joined by "\r".
    // An empty title stands for the program's title.
    virtual void messageBox(const QString &text, const QString &title, MsgIcon icon) = 0;

    // A modal question with Yes and No buttons, No the default: true for Yes.
    // Where a question cannot be shown the answer is No, so nothing is done
    // that the user was not asked about.
    virtual bool questionBox(const QString &text, const QString &title, MsgIcon icon)
    {
        Q_UNUSED(text);
        Q_UNUSED(title);
        Q_UNUSED(icon);
        return false;
    }

    // The input box: what the user typed, or an empty text when cancelled.
    virtual QString inputBox(const QString &prompt, const QString &title, const QString &defaultText = QString()) = 0;

    // Shows a common-dialog control (its filter and file name) for opening or
    // saving. On a choice the control's file name is the chosen path and the
    // result is true; on cancel the result is false and the name is untouched.
    virtual bool showFileDialog(CommonDialogControl *dialog, FileDialogMode mode) = 0;
};
