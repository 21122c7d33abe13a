#include "ScriptedPrompts.h"

#include <QObject>
#include <QVariant>

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
    return !answers.isEmpty() && answers.dequeue();
}

QString ScriptedPrompts::inputBox(const QString &prompt, const QString &title, const QString &)
{
    inputPrompts.append(prompt + QLatin1Char('|') + title);
    return inputs.isEmpty() ? QString() : inputs.dequeue();
}

bool ScriptedPrompts::showFileDialog(QObject *dialog, FileDialogMode mode)
{
    dialogModes.append(mode);
    dialogFilters.append(dialog ? dialog->property("Filter").toString() : QString());
    const QString choice = files.isEmpty() ? QString() : files.dequeue();
    if (choice.isEmpty() || !dialog)
        return false;
    dialog->setProperty("FileName", choice);
    return true;
}
