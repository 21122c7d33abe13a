// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/editor/Dialog.h"

#include "core/common/Globals.h"
#include "windows/editor/Form1.h"
#include "windows/ui/Twips.h"
#include "windows/ui/Windows.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <limits>

namespace {
QLabel *picture(QWidget *parent, int l, int t, int w, int h)
{
    auto *p = new QLabel(parent);
    p->setGeometry(twRect(l, t, w, h));
    p->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return p;
}
}

Dialog::Dialog()
{
    setWindowTitle(QStringLiteral("Change, remove,add a switch to item"));
    centreOnScreen(this, 5985, 4260);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    // The background pictures lie beneath every other control.
    Image2 = picture(this, 240, 0, 5985, 4260);
    Image3 = picture(this, 240, 1920, 5985, 4260);
    Image1 = picture(this, 4800, 0, 1140, 1020);
    Shape1 = new Shape(this);
    Shape1->setGeometry(twRect(0, 0, 5985, 4260));

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setGeometry(twRect(4560, 1080, 1215, 375));
    Command1 = new QPushButton(QStringLiteral("Remove"), this);
    Command1->setGeometry(twRect(4560, 1560, 1215, 375));
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setGeometry(twRect(4560, 2040, 1215, 375));
    Label2 = new VbLabel(this);
    Label2->setGeometry(twRect(240, 600, 4095, 1695));
    Option1 = new QRadioButton(QStringLiteral("Change selected item"), this);
    Option1->setGeometry(twRect(240, 2520, 2175, 255));
    Text1 = new QLineEdit(this);
    Text1->setGeometry(twRect(240, 2800, 4815, 390));
    Option2 = new QRadioButton(QStringLiteral("Add a switch to all of item(s)"), this);
    Option2->setGeometry(twRect(240, 3240, 2775, 255));
    Text2 = new QLineEdit(this);
    Text2->setGeometry(twRect(240, 3540, 4815, 390));
    Text2->setEnabled(false);
    // A row, and a switch, come back exactly as long as they are.
    for (QLineEdit *box : {Text1, Text2})
        box->setMaxLength(std::numeric_limits<int>::max());
    // The captions must show whole in the program's font.
    for (QRadioButton *option : {Option1, Option2})
        option->resize(qMax(option->width(), option->sizeHint().width()), option->height());

    setTabOrder(OKButton, Command1);
    setTabOrder(Command1, CancelButton);
    setTabOrder(CancelButton, Option1);
    setTabOrder(Option1, Text1);
    setTabOrder(Text1, Option2);
    setTabOrder(Option2, Text2);

    connect(OKButton, &QPushButton::clicked, this, &Dialog::OKButton_Click);
    connect(Command1, &QPushButton::clicked, this, &Dialog::Command1_Click);
    connect(CancelButton, &QPushButton::clicked, this, &Dialog::CancelButton_Click);
    onChosen(Option1, this, [this] { Option1_Click(); });
    onChosen(Option2, this, [this] { Option2_Click(); });
}

void Dialog::Form_Load()
{
    Form1 *editor = Windows::find<Form1>();
    const int selected = editor ? editor->selectedRow() : -1;
    if (Globals::ListHasTitle == 1 && selected == 0)
        Command1->setEnabled(false);
    const QPixmap background = appPicture(QStringLiteral("\\Dialog1.jpg"));
    Image2->setPixmap(background);
    Image3->setPixmap(background);
    Image1->setPixmap(appPicture(QStringLiteral("\\MOBSYNC.gif")));
    Windows::setEnabled<Form1>(false);
    Label2->setCaption(
            QStringLiteral("Note: In some setup files, a switch for hiden installing is included.\r"
                           "Enter that switch for hiden installing to end of your path.\r"
                           "For example : a switch for hiden installing for windows xp updates > [/quiet /norestart]"));
    Option1->setChecked(true);
    Option1_Click();
    // With no row selected the box starts empty and OK changes nothing.
    Text1->setText(editor && selected >= 0 ? editor->selectedRowText() : QString());
    Text1->setCursorPosition(0);
    OKButton->setFocus();
}

void Dialog::Option1_Click()
{
    Text1->setEnabled(true);
    Text2->setEnabled(false);
}

void Dialog::Option2_Click()
{
    Text1->setEnabled(false);
    Text2->setEnabled(true);
}

void Dialog::OKButton_Click()
{
    if (Form1 *editor = Windows::find<Form1>()) {
        if (Option1->isChecked())
            editor->changeSelectedRow(Text1->text());
        else
            editor->addSwitchToAll(Text2->text());
    }
    unload();
}

void Dialog::Command1_Click()
{
    if (Form1 *editor = Windows::find<Form1>())
        editor->removeSelectedRow();
    unload();
}

void Dialog::CancelButton_Click() { unload(); }

void Dialog::Form_Unload() { Windows::setEnabled<Form1>(true); }
