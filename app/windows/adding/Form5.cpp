// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/adding/Form5.h"

#include "ControlContract.h"
#include "FolderSearchControl.h"
#include "core/common/Globals.h"
#include "core/common/Prompts.h"
#include "core/controls/ControlHost.h"
#include "windows/editor/Form1.h"
#include "windows/ui/Navigation.h"
#include "windows/ui/Program.h"
#include "windows/ui/Twips.h"
#include "windows/ui/Windows.h"

#include <QPushButton>
#include <QRadioButton>

Form5::Form5()
{
    setWindowTitle(QStringLiteral("Form5"));
    centreOnScreen(this, 4710, 3135);
    Shape1 = new Shape(this);
    Shape1->setGeometry(twRect(0, 0, 4695, 3135));
    Label1 = new VbLabel(this);
    Label1->setCaption(QStringLiteral("How do you want to search ?"));
    Label1->setGeometry(twRect(120, 240, 3255, 615));
    Shape2 = new Shape(this);
    Shape2->setGeometry(twRect(120, 960, 4455, 1000));
    Option1 = new QRadioButton(QStringLiteral("Add result of the search to end the current list"), this);
    Option1->setGeometry(twRect(240, 1080, 4215, 270));
    Option2 = new QRadioButton(QStringLiteral("Clear current list and search in new list"), this);
    Option2->setGeometry(twRect(240, 1560, 4215, 270));
    for (QRadioButton *option : {Option1, Option2})
        option->resize(qMax(option->width(), option->sizeHint().width()), option->height());
    Command2 = new QPushButton(QStringLiteral("Cancel"), this);
    Command2->setGeometry(twRect(1200, 2400, 1095, 375));
    Command1 = new QPushButton(QStringLiteral("Search"), this);
    Command1->setGeometry(twRect(2520, 2400, 1095, 375));
    setTabOrder(Command1, Option1);
    setTabOrder(Option1, Option2);
    setTabOrder(Option2, Command2);

    if (auto *search = ControlHost::instance().create<FolderSearchControl>(ControlClass::FolderSearch, this)) {
        search->setMessageSink(this);
        QuarryBox1 = search->widget();
        QuarryBox1->setGeometry(twRect(3720, 2400, 735, 735));
        QuarryBox1->hide();
    }
    connect(Command1, &QPushButton::clicked, this, &Form5::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form5::Command2_Click);
}

void Form5::Form_Load()
{
    setBackground(appPicture(QStringLiteral("\\dialog1.jpg")));
    Command1->setFocus();
}

void Form5::searchIntoEditor()
{
    Form1 *editor = Windows::find<Form1>();
    if (editor && QuarryBox1)
        editor->searchWith(QuarryBox1);
}

void Navigation::showSearchOptions() { Windows::show<Form5>(); }

void Navigation::searchIntoEditor() { Windows::load<Form5>()->searchIntoEditor(); }

void Form5::Command1_Click()
{
    Form1 *editor = Windows::find<Form1>();
    if (editor && Option2->isChecked())
        editor->clearRows();
    Globals::ListHasTitle = 0;
    if (editor)
        editor->setSearchStatus(QStringLiteral("Please Wait...."));
    searchIntoEditor();
    Navigation::returnToEditor(this);
}

void Form5::Command2_Click() { Navigation::returnToEditor(this); }

void Form5::messageBox(const QString &text, const QString &title)
{
    Program::prompts().messageBox(text, title, MsgIcon::Exclamation);
}

PictureWindow::FrameClose Form5::queryUnload()
{
    Command2_Click();
    return FrameClose::Hide;
}
