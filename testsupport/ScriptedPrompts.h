// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Dialog answers given by the test, and a record of every box shown.
#include "core/common/Prompts.h"

#include <QList>
#include <QQueue>
#include <QString>

#include <functional>

class ScriptedPrompts : public Prompts
{
public:
    struct Box
    {
        QString text;
        QString title;
        MsgIcon icon;
    };

    // What the next input boxes answer ("" is a cancel).
    QQueue<QString> inputs;
    // What the next file dialogs choose; an empty text is a cancel.
    QQueue<QString> files;
    // What the next Yes/No questions answer; none left answers No.
    QQueue<bool> answers;
    // Runs while a message box is "open" (to act during a modal box).
    std::function<void(const Box &)> onMessage;

    QList<Box> boxes;
    QList<Box> questions;      // every Yes/No question asked, also passed to onMessage
    QStringList inputPrompts;  // "prompt|title"
    QStringList inputDefaults; // the text each input box started with
    QList<FileDialogMode> dialogModes;
    QStringList dialogFilters;
    // Questions, input boxes and file dialogs that came when no answer was left.
    int unexpected = 0;

    void messageBox(const QString &text, const QString &title, MsgIcon icon) override;
    bool questionBox(const QString &text, const QString &title, MsgIcon icon) override;
    QString inputBox(const QString &prompt, const QString &title, const QString &defaultText) override;
    bool showFileDialog(CommonDialogControl *dialog, FileDialogMode mode) override;
};
