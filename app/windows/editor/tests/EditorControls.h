// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The list editor's controls as a test finds them from outside: by the names
// the window gives them. The hosted ones are null when their library is missing.
#include "AnimatedPictureControl.h"
#include "CommonDialogControl.h"
#include "PopupMenuControl.h"
#include "WindowTestFixture.h"
#include "windows/editor/Form1.h"

#include <QLineEdit>
#include <QPushButton>

struct EditorControls
{
    explicit EditorControls(const Form1 *editor)
        : Command1(controlOf<QPushButton>(editor, "Command1")), Command2(controlOf<QPushButton>(editor, "Command2")),
          Command3(controlOf<QPushButton>(editor, "Command3")), Command4(controlOf<QPushButton>(editor, "Command4")),
          Command5(controlOf<QPushButton>(editor, "Command5")), Command6(controlOf<QPushButton>(editor, "Command6")),
          Command7(controlOf<QPushButton>(editor, "Command7")), Command8(controlOf<QPushButton>(editor, "Command8")),
          ListB(controlOf<VbListBox>(editor, "ListB")), Text1(controlOf<QLineEdit>(editor, "Text1")),
          Text2(controlOf<QLineEdit>(editor, "Text2")), Label1(controlOf<VbLabel>(editor, "Label1")),
          Label2(controlOf<VbLabel>(editor, "Label2")), Label4(controlOf<VbLabel>(editor, "Label4")),
          Label6(controlOf<ClickArea>(editor, "Label6")), Label7(controlOf<ClickArea>(editor, "Label7")),
          Label8(controlOf<ClickArea>(editor, "Label8")),
          AniGif1(qobject_cast<AnimatedPictureControl *>(editor->findChild<QWidget *>("AniGif1"))),
          CD(qobject_cast<CommonDialogControl *>(editor->findChild<QObject *>("CD"))),
          PopupMenu(qobject_cast<PopupMenuControl *>(editor->findChild<QObject *>("PopupMenu")))
    {
    }

    QPushButton *Command1; // Search
    QPushButton *Command2; // Save list
    QPushButton *Command3; // Up item
    QPushButton *Command4; // Exit
    QPushButton *Command5; // Down item
    QPushButton *Command6; // Add item
    QPushButton *Command7; // Load saved list
    QPushButton *Command8; // Open
    VbListBox *ListB;
    QLineEdit *Text1;  // folder to search
    QLineEdit *Text2;  // pattern to search
    VbLabel *Label1;   // hint line
    VbLabel *Label2;   // files found by a search
    VbLabel *Label4;   // count line
    ClickArea *Label6; // About
    ClickArea *Label7; // Help
    ClickArea *Label8; // Minimize
    AnimatedPictureControl *AniGif1;
    CommonDialogControl *CD;
    PopupMenuControl *PopupMenu;
};

inline EditorControls controls(const Form1 *editor) { return EditorControls(editor); }
