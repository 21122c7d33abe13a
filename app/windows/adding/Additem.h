// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The add-item dialog: appends setup programs to the list editor's rows, typed
// by hand or picked from the drive, folder and file lists. Its buttons only
// hide it, so the next showing finds it as it was left.
#include "windows/ui/Controls.h"

class DriveListBox;
class FileListBox;
class FolderListBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

class Additem : public PictureWindow
{
    Q_OBJECT
public:
    Additem();
    void Form_Load() override;
    // Closed by the frame: hidden, the editor enabled, and unloaded.
    void Form_Unload() override;

    VbLabel *Label3;
    QRadioButton *Option1; // Add manually
    QRadioButton *Option2; // browse
    QLineEdit *Text1;
    QPushButton *Command3; // Cancel (manual)
    QPushButton *Command2; // Add
    DriveListBox *Drive1;
    FolderListBox *Dir1;
    VbLabel *Label1;
    FileListBox *File1;
    VbLabel *Label2;       // information on the clicked file
    QComboBox *Combo1;     // pattern of File1
    QPushButton *Command1; // Cancel (browse)
    Shape *Shape1;
    QLabel *Image2;
    QLabel *Image1;

public slots:
    void Option1_Click();
    void Option2_Click();
    void Combo1_Change();
    void Combo1_Click();
    void Drive1_Change();
    void Dir1_Change();
    void File1_Click();
    void File1_DblClick();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();

protected:
    void showEvent(QShowEvent *event) override;

private:
    // The question, its options and the typed path with Add and Cancel.
    void createManualControls();
    // The drive, folder and file lists, the file information and the pattern.
    void createBrowseControls();
    void connectHandlers();
    void placeWindow(int topTwips, int heightTwips);
};
