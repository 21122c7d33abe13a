#pragma once
// The list editor "Point To Setup Files": the rows of ListB are the list while
// it is edited; the other editor windows work on them directly.
#include "windows/ui/Controls.h"

#include <QPointer>

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

    // A window opened over the editor goes out of sight and the editor takes
    // clicks again.
    static void returnFrom(QWidget *window);

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
    AnimatedPictureControl *AniGif1; // hosted animated picture
    VbLabel *Label3;
    VbLabel *Label2;   // files found by a search
    VbLabel *Label4;   // count label, search status
    VbLabel *Label1;   // hint line
    ClickArea *Label6; // About
    ClickArea *Label7; // Help
    ClickArea *Label8; // Minimize
    Shape *Shape1;
    QTimer *Timer1;              // refresh tick
    CommonDialogControl *CD;     // hosted file dialog
    PopupMenuControl *PopupMenu; // hosted item popup menu

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

private:
    void createButtons();
    void createListAndLabels();
    // The common dialog, the popup menu and the busy picture; each may be missing.
    void createHostedControls();
    void connectHandlers();
};
