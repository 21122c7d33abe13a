// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The list editor "Point To Setup Files": the rows of ListB are the list while
// it is edited; the other editor windows work on them through what they ask of
// the editor below, never on its controls.
#include "windows/ui/Controls.h"

#include <QStringList>

class AnimatedPictureControl;
class CommonDialogControl;
class PopupMenuControl;
class QLineEdit;
class QPushButton;
class QTimer;

class Form1 : public PictureWindow
{
    Q_OBJECT
public:
    Form1();
    ~Form1() override;

    void Form_Load() override;
    // Exit, by its button or the frame: the rows go and the main window shows.
    void Form_Unload() override;

    // The list's rows, top to bottom.
    QStringList rows() const;
    // The rows replaced; no row is selected afterwards.
    void setRows(const QStringList &rows);
    void appendRow(const QString &row);
    void clearRows();
    // The selected row's index, -1 for none, and its text.
    int selectedRow() const;
    QString selectedRowText() const;
    // Each does nothing while no row is selected.
    void changeSelectedRow(const QString &text);
    void removeSelectedRow();
    // Moves the selected row to line `target` (lines count from 1).
    void sendSelectedRowToLine(double target);
    // One space and the switch behind every program row.
    void addSwitchToAll(const QString &switchText);

    // The folder the search looks in.
    QString searchFolder() const;
    void setSearchFolder(const QString &folder);
    // The count line, while a search runs.
    void setSearchStatus(const QString &text);
    // The folder search with the folder and pattern as they are now, into the
    // list and its "files found" line, counting in SearchFileCount.
    void searchWith(QObject *searchControl);

public slots:
    void ListB_Click();
    void ListB_DblClick();
    void ListB_MouseUp(const QPoint &globalPos);
    void Command3_Click();
    void Command5_Click();
    void Timer1_Timer();
    void Command6_Click();
    void Command2_Click();
    void Command7_Click();
    void Command4_Click();
    void Command1_Click();
    void Command8_Click();
    void Text1_DblClick();
    void Text2_DblClick();
    void Label6_Click();
    void Label7_Click();
    void Label8_Click();
    void PopupMenu_Selected(const QString &key);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QPushButton *Command1; // Search
    QPushButton *Command6; // Add item
    QPushButton *Command2; // Save list
    QPushButton *Command7; // Load saved list
    QPushButton *Command4; // Exit
    QPushButton *Command8; // Open
    QPushButton *Command3; // Up item
    QPushButton *Command5; // Down item
    VbListBox *ListB;
    QLineEdit *Text1; // folder to search
    QLineEdit *Text2; // pattern to search
    QLabel *Image1;
    AnimatedPictureControl *AniGif1 = nullptr; // hosted animated picture
    VbLabel *Label3;
    VbLabel *Label2;   // files found by a search
    VbLabel *Label4;   // count label, search status
    VbLabel *Label1;   // hint line
    ClickArea *Label6; // About
    ClickArea *Label7; // Help
    ClickArea *Label8; // Minimize
    Shape *Shape1;
    QTimer *Timer1;                        // refresh, due after a change
    CommonDialogControl *CD = nullptr;     // hosted file dialog
    PopupMenuControl *PopupMenu = nullptr; // hosted item popup menu

    void createButtons();
    void nameControls();
    void createListAndLabels();
    // The common dialog, the popup menu and the busy picture; each may be missing.
    void createHostedControls();
    void connectHandlers();
    // The refresh at the next turn of the event loop, once however many
    // changes come before it.
    void refreshSoon();
};
