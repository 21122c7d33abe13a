// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/editor/Form1.h"

#include "AnimatedPictureControl.h"
#include "CommonDialogControl.h"
#include "ControlContract.h"
#include "PopupMenuControl.h"
#include "core/common/Folders.h"
#include "core/common/Globals.h"
#include "core/common/Prompts.h"
#include "core/controls/ControlHost.h"
#include "core/editor/EditorLogic.h"
#include "core/lists/ListSequences.h"
#include "windows/editor/Dialog.h"
#include "windows/editor/Form6.h"
#include "windows/ui/Navigation.h"
#include "windows/ui/Program.h"
#include "windows/ui/Twips.h"
#include "windows/ui/Windows.h"

#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

namespace {
QPushButton *button(QWidget *parent, const QString &caption, const QString &tip, int l, int t, int w, int h)
{
    auto *b = new QPushButton(caption, parent);
    b->setGeometry(twRect(l, t, w, h));
    b->setToolTip(tip);
    return b;
}

VbLabel *label(QWidget *parent, const QString &caption, int l, int t, int w, int h)
{
    auto *lbl = new VbLabel(parent);
    lbl->setWordWrap(false);
    lbl->setCaption(caption);
    lbl->setGeometry(twRect(l, t, w, h));
    return lbl;
}

void setIfChanged(VbLabel *label, const QString &text)
{
    if (label->caption() != text)
        label->setCaption(text);
}
}

Form1::Form1()
{
    setWindowTitle(QStringLiteral("Point To Setup Files"));
    centreOnScreen(this, 9105, 6195);

    Shape1 = new Shape(this);
    Shape1->setGeometry(twRect(0, 0, 9100, 6190));
    createButtons();
    createListAndLabels();
    createHostedControls();
    // The refresh runs once after each change it mirrors (rows, selection, the
    // title flag, a search), at the next turn of the event loop: an idle
    // editor wakes for nothing but its animated picture.
    Timer1 = new QTimer(this);
    Timer1->setSingleShot(true);
    Timer1->setInterval(0);
    nameControls();
    connectHandlers();
}

void Form1::nameControls()
{
    // Found by these names, as by the user, from outside the window.
    const QList<QPair<QObject *, const char *>> named{
            {Command1, "Command1"},
            {Command6, "Command6"},
            {Command2, "Command2"},
            {Command7, "Command7"},
            {Command4, "Command4"},
            {Command8, "Command8"},
            {Command3, "Command3"},
            {Command5, "Command5"},
            {ListB, "ListB"},
            {Text1, "Text1"},
            {Text2, "Text2"},
            {Image1, "Image1"},
            {AniGif1 ? AniGif1->widget() : nullptr, "AniGif1"},
            {Label3, "Label3"},
            {Label2, "Label2"},
            {Label4, "Label4"},
            {Label1, "Label1"},
            {Label6, "Label6"},
            {Label7, "Label7"},
            {Label8, "Label8"},
            {Shape1, "Shape1"},
            {Timer1, "Timer1"},
            {dynamic_cast<QObject *>(CD), "CD"},
            {dynamic_cast<QObject *>(PopupMenu), "PopupMenu"},
    };
    for (const auto &[control, name] : named) {
        if (control) // a hosted control may be missing
            control->setObjectName(QLatin1String(name));
    }
}

void Form1::createButtons()
{
    Command1 = button(this, QStringLiteral("Search"),
                      QStringLiteral("Button \"Search\" : Search in your path with specified format"), 7440, 1080, 1335,
                      255);
    Command6 =
            button(this, QStringLiteral("Add item"),
                   QStringLiteral("Button \"Add item\" :  For add an item to the current list"), 7440, 1320, 1335, 255);
    Command2 = button(this, QStringLiteral("Save list"),
                      QStringLiteral("Button \"Save list\" : For save current list to use in next time"), 7440, 1560,
                      1335, 255);
    Command7 = button(
            this, QStringLiteral("Load saved list"),
            QStringLiteral(
                    "Button \"Load saved list\" : For load your saved list to add or remove an item or other chang"),
            7440, 1800, 1335, 255);
    Command4 = button(this, QStringLiteral("Exit"), QString(), 7440, 2040, 1335, 255);
    Command8 = button(this, QStringLiteral("Open"),
                      QStringLiteral("Button \"Open\" :  For select a path from  your hard to search"), 6360, 1340, 735,
                      310);
    Command3 = button(this, QStringLiteral("Up item"), QStringLiteral("Button \"Up item\"  : For up items in the list"),
                      6360, 4920, 1215, 270);
    Command5 = button(this, QStringLiteral("Down  item"),
                      QStringLiteral("Button \" Down item\"  : For down items in the list"), 7560, 4920, 1215, 270);

    // The buttons are as small as the layout gives; their captions must fit.
    for (QPushButton *b : {Command1, Command6, Command2, Command7, Command4, Command8, Command3, Command5})
        b->setStyleSheet(QStringLiteral("QPushButton { padding: 0px 1px; }"));
}

void Form1::createListAndLabels()
{
    ListB = new VbListBox(this);
    ListB->setGeometry(twRect(240, 2400, 8535, 2220));

    Text1 = new QLineEdit(this);
    Text1->setGeometry(twRect(1440, 1320, 4815, 315));
    Text2 = new QLineEdit(this);
    Text2->setGeometry(twRect(1440, 1680, 4815, 315));
    Text1->installEventFilter(this);
    Text2->installEventFilter(this);

    Image1 = new QLabel(this);
    Image1->setGeometry(twRect(240, 1080, 1050, 1050));

    Label3 = label(this, QStringLiteral("Files found:"), 240, 2160, 1095, 255);
    Label2 = label(this, QString(), 1320, 2160, 2055, 255);
    Label4 = label(this, QString(), 240, 5280, 3495, 255);
    Label1 = label(this, QString(), 240, 5520, 6255, 255);

    Label6 = ClickArea::onTopStrip(this, QStringLiteral("About"), 7440);
    Label7 = ClickArea::onTopStrip(this, QStringLiteral("Help"), 7920);
    Label8 = ClickArea::onTopStrip(this, QStringLiteral("Minimize"), 8280);
}

void Form1::createHostedControls()
{
    ControlHost &host = ControlHost::instance();
    CD = host.create<CommonDialogControl>(ControlClass::CommonDialog, this);
    PopupMenu = host.create<PopupMenuControl>(ControlClass::PopupMenu, this);
    AniGif1 = host.create<AnimatedPictureControl>(ControlClass::AnimatedPicture, this);
    if (AniGif1)
        AniGif1->widget()->setGeometry(twRect(6480, 1710, 480, 480));
}

void Form1::connectHandlers()
{
    connect(ListB, &VbListBox::listIndexChanged, this, &Form1::ListB_Click);
    connect(ListB, &VbListBox::listIndexChanged, this, &Form1::refreshSoon);
    // Every way rows come or go, Clear and RemoveItem included, passes the model.
    QAbstractItemModel *rowsModel = ListB->model();
    connect(rowsModel, &QAbstractItemModel::rowsInserted, this, &Form1::refreshSoon);
    connect(rowsModel, &QAbstractItemModel::rowsRemoved, this, &Form1::refreshSoon);
    connect(rowsModel, &QAbstractItemModel::modelReset, this, &Form1::refreshSoon);
    connect(rowsModel, &QAbstractItemModel::layoutChanged, this, &Form1::refreshSoon);
    connect(ListB, &QListWidget::itemDoubleClicked, this, &Form1::ListB_DblClick);
    connect(ListB, &VbListBox::rightButtonReleased, this, &Form1::ListB_MouseUp);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(Command5, &QPushButton::clicked, this, &Form1::Command5_Click);
    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
    connect(Command6, &QPushButton::clicked, this, &Form1::Command6_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(Command7, &QPushButton::clicked, this, &Form1::Command7_Click);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command8, &QPushButton::clicked, this, &Form1::Command8_Click);
    connect(Label6, &QAbstractButton::clicked, this, &Form1::Label6_Click);
    connect(Label7, &QAbstractButton::clicked, this, &Form1::Label7_Click);
    connect(Label8, &QAbstractButton::clicked, this, &Form1::Label8_Click);
    if (PopupMenu)
        PopupMenu->onItemSelected(this, [this](const QString &key) { PopupMenu_Selected(key); });
}

Form1::~Form1()
{
    // The rows' model and list go after this part of the window: they must
    // not ask it to refresh on the way.
    ListB->model()->disconnect(this);
    ListB->disconnect(this);
}

void Form1::Form_Load()
{
    if (PopupMenu) {
        const QList<QPair<QString, QString>> entries{
                {QStringLiteral("> Add new item"), QStringLiteral("ADD")},
                {QStringLiteral("-"), QStringLiteral("Line0")},
                {QStringLiteral("> Send selected item to other line    "), QStringLiteral("SIL")},
                {QStringLiteral("-"), QStringLiteral("Line1")},
                {QStringLiteral("> Change selected item      "), QStringLiteral("CRI")},
                {QStringLiteral("-"), QStringLiteral("Line2")},
                {QStringLiteral("> Remove selected item"), QStringLiteral("REM")},
                {QStringLiteral("-"), QStringLiteral("Line3")},
                {QStringLiteral("> Clear current list                  "), QStringLiteral("CLE")},
        };
        for (const auto &entry : entries)
            PopupMenu->AddItem(entry.first, entry.second);
    }
    Image1->setPixmap(appPicture(QStringLiteral("\\Search Drive.gif")));
    setBackground(appPicture(QStringLiteral("\\Top Menu2.jpg")));
    Text1->setText(QStringLiteral("Input path that you want to search in here (Double click to clear)"));
    Text2->setText(QStringLiteral("Input format that you want to search in here (Double click to clear)"));
    // Show the prompts from their start.
    Text1->setCursorPosition(0);
    Text2->setCursorPosition(0);
    Command3->setEnabled(false);
    Command5->setEnabled(false);
    if (AniGif1)
        AniGif1->LoadGif(Folders::appFile(QStringLiteral("\\busy.gif")), false);
    Timer1->start();
}

void Form1::ListB_Click()
{
    Globals::ItemClicked = 1;
    const EditorLogic::Buttons b = EditorLogic::afterSelectionChange(ListB->ListIndex(), ListB->ListCount());
    Command3->setEnabled(b.up);
    Command5->setEnabled(b.down);
}

void Form1::ListB_DblClick() { Windows::show<Dialog>(); }

void Form1::ListB_MouseUp(const QPoint &)
{
    if (PopupMenu)
        PopupMenu->PopupAtCursor();
}

void Form1::Command3_Click()
{
    const int i = ListB->ListIndex();
    if (i < 0)
        return; // no row selected: nothing to move
    if (i == 0) {
        Command3->setEnabled(false);
        return;
    }
    const QString above = ListB->List(i - 1);
    ListB->setList(i - 1, ListB->List(i));
    ListB->setList(i, above);
    ListB->setListIndex(i - 1);
}

void Form1::Command5_Click()
{
    const int i = ListB->ListIndex();
    const int n = ListB->ListCount();
    if (i < 0)
        return;
    if (i == n - 1) {
        Command5->setEnabled(false);
        return;
    }
    const QString below = ListB->List(i + 1);
    ListB->setList(i + 1, ListB->List(i));
    ListB->setList(i, below);
    ListB->setListIndex(i + 1);
}

void Form1::refreshSoon()
{
    if (!Timer1->isActive())
        Timer1->start();
}

void Form1::Timer1_Timer()
{
    const EditorLogic::Tick tick = EditorLogic::refresh({Command3->isEnabled(), Command5->isEnabled()},
                                                        ListB->ListCount(), ListB->ListIndex(), Globals::ListHasTitle);
    if (!tick.buttons.up && Command3->isEnabled())
        Command3->setEnabled(false);
    if (!tick.buttons.down && Command5->isEnabled())
        Command5->setEnabled(false);
    if (tick.clearFoundText)
        setIfChanged(Label2, QString());
    setIfChanged(Label1, tick.hint);
    setIfChanged(Label4, tick.countText);
}

void Form1::Command6_Click() { Navigation::showAddItem(); }

void Form1::Command2_Click()
{
    ListSequences::ListBoxRows rows(ListB);
    ListSequences::saveList(rows, Program::prompts(), CD);
    refreshSoon(); // the title flag is off now, whatever happened
}

void Form1::Command7_Click()
{
    ListSequences::ListBoxRows rows(ListB);
    ListSequences::loadSavedList(rows, Program::prompts(), CD);
    refreshSoon();
}

void Form1::Command4_Click() { unload(); }

void Form1::Form_Unload()
{
    Globals::ListHasTitle = 0;
    Timer1->stop();
    hide();
    Navigation::showMainWindow();
}

void Navigation::showEditor() { Windows::show<Form1>(); }

void Navigation::enableEditor(bool enabled) { Windows::setEnabled<Form1>(enabled); }

void Navigation::returnToEditor(QWidget *window)
{
    window->hide();
    Windows::setEnabled<Form1>(true);
}

void Form1::Command1_Click()
{
    if (ListB->ListCount() != 0) {
        // Rows are there: the options window asks whether to append or replace.
        Navigation::showSearchOptions();
        setEnabled(false);
        return;
    }
    Globals::ListHasTitle = 0;
    setSearchStatus(QStringLiteral("Please Wait...."));
    Navigation::searchIntoEditor();
    refreshSoon();
}

void Form1::Command8_Click()
{
    setEnabled(false);
    Navigation::showSearchFolderChooser();
}

void Form1::Text1_DblClick() { Text1->clear(); }
void Form1::Text2_DblClick() { Text2->clear(); }

void Form1::Label6_Click()
{
    Navigation::showAbout();
    setEnabled(false);
}

void Form1::Label7_Click()
{
    Navigation::showEditorHelp();
    setEnabled(false);
}

void Form1::Label8_Click() { setWindowState(windowState() | Qt::WindowMinimized); }

void Form1::PopupMenu_Selected(const QString &key)
{
    switch (EditorLogic::menuAction(key, Globals::ItemClicked)) {
    case EditorLogic::MenuAction::SendToLine: Windows::show<Form6>(); break;
    case EditorLogic::MenuAction::ChangeItem: Windows::show<Dialog>(); break;
    case EditorLogic::MenuAction::ClearList: clearRows(); break;
    case EditorLogic::MenuAction::RemoveItem: removeSelectedRow(); break;
    case EditorLogic::MenuAction::AddItem: Command6_Click(); break;
    case EditorLogic::MenuAction::None: break;
    }
}

QStringList Form1::rows() const { return ListB->rows(); }
void Form1::setRows(const QStringList &rows) { ListB->setRows(rows); }
void Form1::appendRow(const QString &row) { ListB->AddItem(row); }
void Form1::clearRows() { ListB->Clear(); }
int Form1::selectedRow() const { return ListB->ListIndex(); }
QString Form1::selectedRowText() const { return ListB->List(ListB->ListIndex()); }

void Form1::changeSelectedRow(const QString &text)
{
    if (ListB->ListIndex() >= 0)
        ListB->setList(ListB->ListIndex(), text);
}

void Form1::removeSelectedRow() { ListB->RemoveItem(ListB->ListIndex()); }

void Form1::sendSelectedRowToLine(double target)
{
    QStringList rows = ListB->rows();
    if (EditorLogic::MoveRowToLine(rows, ListB->ListIndex(), target))
        ListB->setRows(rows);
}

void Form1::addSwitchToAll(const QString &switchText)
{
    QStringList rows = ListB->rows();
    EditorLogic::addSwitchToAll(rows, switchText, Globals::ListHasTitle);
    // Row by row: the selection stays where it is.
    for (int i = 0; i < rows.size(); ++i)
        ListB->setList(i, rows[i]);
}

QString Form1::searchFolder() const { return Text1->text(); }
void Form1::setSearchFolder(const QString &folder) { Text1->setText(folder); }
void Form1::setSearchStatus(const QString &text)
{
    Label4->setCaption(text);
    // The count line takes over again once the search has given the rows.
    refreshSoon();
}

void Form1::searchWith(QObject *searchControl)
{
    // Copies: the separator the control appends never reaches the text boxes.
    QString path = Text1->text();
    QString pattern = Text2->text();
    callFindFiles(searchControl, DispId::FindFiles, path, pattern, Globals::SearchFileCount, ListB, Label2);
    refreshSoon();
}

void Form1::changeEvent(QEvent *event)
{
    PictureWindow::changeEvent(event);
    // A window closing hands the editor back enabled; it may have changed the
    // title flag on the way (the search options' OK).
    if (event->type() == QEvent::EnabledChange)
        refreshSoon();
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonDblClick) {
        if (watched == Text1)
            Text1_DblClick();
        else if (watched == Text2)
            Text2_DblClick();
    }
    return PictureWindow::eventFilter(watched, event);
}
