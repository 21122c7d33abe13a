// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/adding/Form3.h"

#include "windows/adding/BrowseWidgets.h"
#include "windows/editor/Form1.h"
#include "windows/ui/Navigation.h"
#include "windows/ui/Twips.h"
#include "windows/ui/Windows.h"

#include <QPushButton>

Form3::Form3()
{
    setWindowTitle(QStringLiteral("Select path to search"));
    centreOnScreen(this, 4680, 3495);

    Shape1 = new Shape(this);
    Shape1->setGeometry(twRect(0, 0, 4685, 3500));
    // Drive1 and Dir1 start at the program's current drive and folder.
    Drive1 = new DriveListBox(this);
    Drive1->setGeometry(twRect(120, 240, 4455, 390));
    Dir1 = new FolderListBox(Drive1->roots(), this);
    Dir1->setGeometry(twRect(120, 720, 4455, 2190));
    Command1 = new QPushButton(QStringLiteral("OK"), this);
    Command1->setGeometry(twRect(3240, 3000, 1215, 375));
    Command2 = new QPushButton(QStringLiteral("Cancel"), this);
    Command2->setGeometry(twRect(1680, 3000, 1335, 375));

    setTabOrder(Drive1, Dir1);
    setTabOrder(Dir1, Command1);
    setTabOrder(Command1, Command2);

    connect(Drive1, &DriveListBox::Change, this, &Form3::Drive1_Change);
    connect(Command1, &QPushButton::clicked, this, &Form3::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form3::Command2_Click);
}

void Form3::Form_Load() { setBackground(appPicture(QStringLiteral("\\Dialog1.jpg"))); }

void Form3::Drive1_Change() { followDrive(Drive1, Dir1, QStringLiteral("Open")); }

void Form3::Command1_Click()
{
    if (Form1 *editor = Windows::find<Form1>())
        editor->setSearchFolder(Dir1->path());
    Navigation::returnToEditor(this);
}

void Form3::Command2_Click() { Navigation::returnToEditor(this); }

void Form3::Form_Unload() { Navigation::returnToEditor(this); }

void Navigation::showSearchFolderChooser() { Windows::show<Form3>(); }
