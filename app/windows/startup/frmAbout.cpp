// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/startup/frmAbout.h"

#include "core/common/Prompts.h"
#include "core/common/Seams.h"
#include "core/startup/SysInfo.h"
#include "windows/ui/Navigation.h"
#include "windows/ui/Program.h"
#include "windows/ui/Twips.h"
#include "windows/ui/Windows.h"

#include <QDesktopServices>
#include <QKeyEvent>
#include <QPushButton>
#include <QUrl>

namespace {
bool openUrl(const QUrl &url)
{
    const auto &standIn = Seams::openAddress();
    return standIn ? standIn(url) : QDesktopServices::openUrl(url);
}

VbLabel *label(QWidget *parent, int l, int t, int w, int h)
{
    auto *lbl = new VbLabel(parent);
    lbl->setGeometry(twRect(l, t, w, h));
    return lbl;
}

QPushButton *button(QWidget *parent, const QString &caption, int l, int t, int w, int h)
{
    auto *b = new QPushButton(caption, parent);
    b->setGeometry(twRect(l, t, w, h));
    return b;
}

QWidget *line(QWidget *parent, const QColor &colour, int x1, int x2, int y)
{
    auto *l = new QWidget(parent);
    l->setAttribute(Qt::WA_TransparentForMouseEvents);
    l->setAutoFillBackground(true);
    QPalette pal = l->palette();
    pal.setColor(QPalette::Window, colour);
    l->setPalette(pal);
    l->setGeometry(tw(x1), tw(y), tw(x2) - tw(x1) + 1, 1);
    return l;
}
}

frmAbout::frmAbout()
{
    centreOnScreen(this, 5850, 3780);

    Shape1 = new Shape(this);
    Shape1->setGeometry(twRect(0, 0, 5850, 3780));

    picIcon = new QLabel(this);
    picIcon->setGeometry(twRect(120, 120, 1095, 975));
    picIcon->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    lblTitle = label(this, 1050, 240, 3885, 480);
    lblVersion = label(this, 1050, 720, 3885, 225);
    // Smaller than the window's font, whichever font stands for Segoe UI.
    lblVersion->setFont(Program::windowFont(9));
    lblDescription = label(this, 1050, 960, 4605, 1650);
    lblDescription->setCaption(
            QStringLiteral("The program can help you in installing your programs and you can install them easy "
                           "with out going to their folder.also the program can help you if you have a lot of "
                           "microsoft windows update files and you don't will installing them manually."));

    Line1[0] = line(this, QColor(0x80, 0x80, 0x80), 120, 5760, 2445);
    Line1[1] = line(this, Qt::white, 105, 5654, 2460);

    lblDisclaimer = label(this, 120, 2520, 5295, 1185);

    // The buttons lie over the note's right end.
    cmdOK = button(this, QStringLiteral("OK"), 4440, 2520, 1380, 390);
    cmdOK->setDefault(true);
    Command1 = button(this, QStringLiteral("Update"), 4440, 2880, 1380, 375);
    Command1->setToolTip(webAddress());
    cmdSysInfo = button(this, QStringLiteral("&System Info..."), 4440, 3240, 1380, 390);

    setTabOrder(cmdOK, Command1);
    setTabOrder(Command1, cmdSysInfo);

    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    connect(Command1, &QPushButton::clicked, this, &frmAbout::Command1_Click);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);
}

// The reserved example domain stands in for the project's own addresses.
QString frmAbout::webAddress() { return QStringLiteral("https://setupreel.example.org"); }
QString frmAbout::mailAddress() { return QStringLiteral("support@setupreel.example.org"); }

void frmAbout::Form_Load()
{
    // A missing picture leaves its place empty; the start-up check reports it.
    setBackground(appPicture(QStringLiteral("\\Dialog1.jpg")));
    picIcon->setPixmap(appPicture(QStringLiteral("\\Good.jpg")));
    setWindowTitle(QStringLiteral("About ") + Program::title());
    lblVersion->setCaption(QStringLiteral("Version %1.%2.%3")
                                   .arg(SETUPREEL_VERSION_MAJOR)
                                   .arg(SETUPREEL_VERSION_MINOR)
                                   .arg(SETUPREEL_VERSION_PATCH));
    lblDisclaimer->setCaption(QStringLiteral("Use this program at your own risk.\r"
                                             "Check a list before you install it.\r"
                                             "Web : ")
                              + webAddress() + QStringLiteral("\rMail : ") + mailAddress());
    lblTitle->setCaption(Program::title());
    cmdOK->setFocus();
}

void frmAbout::cmdOK_Click()
{
    Navigation::enableMainWindow(true);
    Navigation::enableEditor(true);
    close();
}

void frmAbout::Command1_Click() { openUrl(QUrl(webAddress())); }

void frmAbout::cmdSysInfo_Click() { StartSysInfo(); }

void frmAbout::StartSysInfo()
{
    const QString path = SysInfo::toolPath();
    if (!path.isEmpty() && Seams::startProgram(path))
        return;
    Program::prompts().messageBox(QStringLiteral("System Information Is Unavailable At This Time"), Program::title(),
                                  MsgIcon::None);
}

void frmAbout::Form_Unload()
{
    Navigation::enableEditor(true);
    Navigation::enableMainWindow(true);
}

void Navigation::showAbout() { Windows::show<frmAbout>(); }

void frmAbout::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Enter presses the button that has the focus, else the default one.
        if (auto *focused = qobject_cast<QPushButton *>(focusWidget()); focused && focused->isEnabled())
            focused->click();
        else
            cmdOK->click();
        event->accept();
        return;
    case Qt::Key_Escape:
        cmdOK->click();
        event->accept();
        return;
    default: PictureWindow::keyPressEvent(event);
    }
}
