// SPDX-License-Identifier: GPL-3.0-or-later
#include "ScriptedPrompts.h"

#include "CommonDialogControl.h"

void ScriptedPrompts::messageBox(const QString &text, const QString &title, MsgIcon icon)
{
    const Box box{text, title, icon};
    boxes.append(box);
    if (onMessage)
        onMessage(box);
}

bool ScriptedPrompts::questionBox(const QString &text, const QString &title, MsgIcon icon)
{
    const Box box{text, title, icon};
    questions.append(box);
    if (onMessage)
        onMessage(box);
    if (answers.isEmpty()) {
        ++unexpected;
        return false;
    }
    return answers.dequeue();
}

QString ScriptedPrompts::inputBox(const QString &prompt, const QString &title, const QString &defaultText)
{
    inputPrompts.append(prompt + QLatin1Char('|') + title);
    inputDefaults.append(defaultText);
    if (inputs.isEmpty()) {
        ++unexpected;
        return QString();
    }
    return inputs.dequeue();
}

bool ScriptedPrompts::showFileDialog(CommonDialogControl *dialog, FileDialogMode mode)
{
    dialogModes.append(mode);
    dialogFilters.append(dialog ? dialog->filter() : QString());
    if (files.isEmpty())
        ++unexpected;
    const QString choice = files.isEmpty() ? QString() : files.dequeue();
    if (choice.isEmpty() || !dialog)
        return false;
    dialog->setFileName(choice);
    return true;
}
