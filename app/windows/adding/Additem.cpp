// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/adding/Additem.h"

#include "core/adding/BrowseLogic.h"
#include "core/adding/FileInfoText.h"
#include "core/common/FileSystemObject.h"
#include "windows/adding/BrowseWidgets.h"
#include "windows/editor/Form1.h"
#include "windows/ui/Navigation.h"
#include "windows/ui/Twips.h"
#include "windows/ui/Windows.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

namespace {
constexpr int WindowWidth = 4695;

VbLabel *label(QWidget *parent, const QString &caption, int l, int t, int w, int h)
{
    auto *lbl = new VbLabel(parent);
    lbl->setCaption(caption);
    lbl->setGeometry(twRect(l, t, w, h));
    return lbl;
}

QLabel *image(QWidget *parent, int l, int t, int w, int h)
{
    auto *img = new QLabel(parent);
    img->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    img->setGeometry(twRect(l, t, w, h));
    return img;
}

QPushButton *button(QWidget *parent, const QString &caption, int l, int t, int w, int h)
{
    auto *b = new QPushButton(caption, parent);
    b->setGeometry(twRect(l, t, w, h));
    return b;
}
}

Additem::Additem()
{
    setWindowTitle(QStringLiteral("Select path to search"));
    centreOnScreen(this, WindowWidth, 9255);

    // Pictures and the frame lie below every control.
    Image2 = image(this, 0, 3480, 4695, 2895);
    Image1 = image(this, 0, 6360, 4695, 2895);
    Shape1 = new Shape(this);
    Shape1->setGeometry(twRect(0, 0, 4695, 9255));
    createManualControls();
    createBrowseControls();
    setTabOrder(Drive1, Dir1);
    setTabOrder(Dir1, Command1);
    setTabOrder(Command1, File1);
    setTabOrder(File1, Combo1);
    setTabOrder(Combo1, Option1);
    setTabOrder(Option1, Option2);
    setTabOrder(Option2, Text1);
    setTabOrder(Text1, Command2);
    setTabOrder(Command2, Command3);
    connectHandlers();
}

void Additem::createManualControls()
{
    Label3 = label(this, QStringLiteral("How do you want to add?"), 120, 120, 3735, 255);
    Option1 = new QRadioButton(QStringLiteral("Add manually"), this);
    Option1->setGeometry(twRect(240, 600, 4215, 270));
    Option2 = new QRadioButton(QStringLiteral("Add with showing list of drives,directory,files"), this);
    Option2->setGeometry(twRect(240, 840, 4215, 270));
    Text1 = new QLineEdit(this);
    Text1->setGeometry(twRect(240, 1150, 4215, 390));
    Command3 = button(this, QStringLiteral("Cancel"), 2280, 1560, 975, 270);
    Command2 = button(this, QStringLiteral("Add"), 3360, 1560, 975, 270);
    Text1->hide();
    Command3->hide();
    Command2->hide();
}

void Additem::createBrowseControls()
{
    Drive1 = new DriveListBox(this);
    Drive1->setGeometry(twRect(120, 1860, 4455, 390));
    Dir1 = new FolderListBox(Drive1->roots(), this);
    Dir1->setGeometry(twRect(120, 2250, 4455, 2190));
    Label1 = label(this, QStringLiteral("Double click on the file to add"), 120, 4410, 2895, 375);
    File1 = new FileListBox(this);
    File1->setGeometry(twRect(120, 4680, 4455, 3060));
    Label2 = label(this, QString(), 120, 7800, 4455, 855);
    Combo1 = new QComboBox(this);
    Combo1->setEditable(true);
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    Combo1->setCompleter(nullptr); // what is typed is the pattern, nothing is filled in
    Combo1->setGeometry(twRect(120, 8760, 3135, 390));
    Command1 = button(this, QStringLiteral("Cancel"), 3360, 8760, 1215, 375);
}

void Additem::connectHandlers()
{
    onChosen(Option1, this, [this] { Option1_Click(); });
    onChosen(Option2, this, [this] { Option2_Click(); });
    connect(Combo1, &QComboBox::editTextChanged, this, &Additem::Combo1_Change);
    connect(Combo1, &QComboBox::activated, this, &Additem::Combo1_Click);
    connect(Drive1, &DriveListBox::Change, this, &Additem::Drive1_Change);
    connect(Dir1, &FolderListBox::Change, this, &Additem::Dir1_Change);
    connect(File1, &QListWidget::itemClicked, this, &Additem::File1_Click);
    connect(File1, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0)
            File1_Click();
    });
    connect(File1, &QListWidget::itemDoubleClicked, this, &Additem::File1_DblClick);
    connect(File1, &FileListBox::activatedByKey, this, &Additem::File1_DblClick);
    connect(Command1, &QPushButton::clicked, this, &Additem::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Additem::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Additem::Command3_Click);
}

void Additem::Form_Load()
{
    Navigation::enableEditor(false);
    Option2->setChecked(true); // runs the browse layout
    Combo1->clear();
    Combo1->addItems({QStringLiteral("*.EXE;*.MSI;*.BAT"), QStringLiteral("*.EXE"), QStringLiteral("*.MSI"),
                      QStringLiteral("*.BAT"), QStringLiteral("*.*")});
    Combo1->setCurrentIndex(0);
    File1->setPattern(Combo1->currentText());
    // A missing picture leaves the pictures empty and loading goes on.
    const QPixmap picture = appPicture(QStringLiteral("\\Dialog1.jpg"));
    setBackground(picture);
    Image1->setPixmap(picture);
    Image2->setPixmap(picture);
    File1->setPath(Dir1->path());
    Dir1->setPath(Browsing::currentFolderOf(Drive1->drive(), Drive1->roots(), Browsing::currentFolder()));
}

void Additem::placeWindow(int topTwips, int heightTwips)
{
    setFixedSize(twSize(WindowWidth, heightTwips));
    const QScreen *shown = screen() ? screen() : QGuiApplication::primaryScreen();
    const int screenTop = shown ? shown->geometry().top() : 0;
    move(x(), screenTop + tw(topTwips));
}

void Additem::Option1_Click()
{
    placeWindow(4575, 1860);
    Shape1->setGeometry(twRect(0, 0, 4695, 1850));
    Text1->show();
    Command2->show();
    Command3->show();
}

void Additem::Option2_Click()
{
    Shape1->setGeometry(twRect(0, 0, 4695, 9255));
    placeWindow(1000, 9255);
    Text1->hide();
    Command2->hide();
    Command3->hide();
}

void Additem::Combo1_Change() { File1->setPattern(Combo1->currentText()); }

void Additem::Combo1_Click() { File1->setPattern(Combo1->currentText()); }

void Additem::Drive1_Change() { followDrive(Drive1, Dir1, QStringLiteral("Add item")); }

void Additem::Dir1_Change() { File1->setPath(Dir1->path()); }

void Additem::File1_Click()
{
    const QString name = File1->fileName();
    if (name.isEmpty())
        return;
    const auto bytes = FileSystemObject::instance().fileSize(Browsing::joinPath(Dir1->path(), name));
    Label2->setCaption(FileInfoText::caption(name, bytes));
}

void Additem::File1_DblClick()
{
    const QString name = File1->fileName();
    if (name.isEmpty())
        return;
    if (Form1 *editor = Windows::find<Form1>())
        editor->appendRow(Browsing::joinPath(Dir1->path(), name));
}

void Additem::Command1_Click() { Navigation::returnToEditor(this); }

void Additem::Command2_Click()
{
    if (Form1 *editor = Windows::find<Form1>())
        editor->appendRow(Text1->text());
    Navigation::returnToEditor(this);
}

void Additem::Command3_Click() { Navigation::returnToEditor(this); }

void Additem::Form_Unload() { Navigation::returnToEditor(this); }

void Navigation::showAddItem() { Windows::show<Additem>(); }

void Additem::showEvent(QShowEvent *event)
{
    PictureWindow::showEvent(event);
    Navigation::enableEditor(false);
}
