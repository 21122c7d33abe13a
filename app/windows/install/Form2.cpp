// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/install/Form2.h"

#include "CommonDialogControl.h"
#include "ProgressBarControl.h"
#include "core/common/Folders.h"
#include "core/common/Globals.h"
#include "core/common/Prompts.h"
#include "core/controls/ControlHost.h"
#include "core/install/PacedDisplay.h"
#include "core/lists/ListSequences.h"
#include "windows/ui/Navigation.h"
#include "windows/ui/Program.h"
#include "windows/ui/Twips.h"
#include "windows/ui/Windows.h"

namespace {
PictureButton *pictureButton(QWidget *parent, const QString &caption, const QString &tip, int top)
{
    auto *b = new PictureButton(caption, parent);
    b->setGeometry(twRect(6600, top, 2250, 750));
    b->setToolTip(tip);
    return b;
}

VbLabel *label(QWidget *parent, int l, int t, int w, int h)
{
    auto *lbl = new VbLabel(parent);
    lbl->setGeometry(twRect(l, t, w, h));
    return lbl;
}

}

Form2::Form2()
{
    setWindowTitle(Program::title());
    centreOnScreen(this, 9105, 6195);

    Shape1 = new Shape(this);
    Shape1->setGeometry(twRect(0, 0, 9100, 6190));

    Image2 = pictureButton(this, tr("Point"),
                           QStringLiteral("Point to your setup files and save  list of your setup files  for now  "
                                          "installing  or  afterwards"),
                           1080);
    Image3 = pictureButton(this, tr("Load"), QStringLiteral("Load your list of setup files for installing"), 1920);
    Image4 =
            pictureButton(this, tr("Install"), QStringLiteral("Install setup files of your list that is loaded"), 2760);
    Image5 = pictureButton(this, tr("Cancel"), QStringLiteral("Cancel the current installing"), 3600);
    Image1 = pictureButton(this, tr("Exit"), QStringLiteral("Exit"), 4440);
    Image5->hide();

    Label1 = label(this, 720, 1800, 4815, 495);
    Label2 = label(this, 720, 2400, 4815, 375);
    Label4 = label(this, 720, 2760, 4815, 375);
    Label3 = label(this, 720, 3120, 4815, 1335);
    Label5 = label(this, 720, 4440, 4695, 255);

    Label6 = ClickArea::onTopStrip(this, QStringLiteral("About"), 7320);
    Label7 = ClickArea::onTopStrip(this, QStringLiteral("Help"), 7800);
    Label8 = ClickArea::onTopStrip(this, QStringLiteral("Minimize"), 8400);

    ControlHost &host = ControlHost::instance();
    PB1 = host.create<ProgressBarControl>(ControlClass::ProgressBar, this);
    if (PB1) {
        PB1->widget()->setGeometry(twRect(1440, 5400, 6015, 255));
        PB1->widget()->hide();
    }

    // Keyboard order follows the buttons from top to bottom.
    setTabOrder(Image2, Image3);
    setTabOrder(Image3, Image4);
    setTabOrder(Image4, Image5);
    setTabOrder(Image5, Image1);

    connect(Image1, &QAbstractButton::clicked, this, &Form2::Image1_Click);
    connect(Image2, &QAbstractButton::clicked, this, &Form2::Image2_Click);
    connect(Image3, &QAbstractButton::clicked, this, &Form2::Image3_Click);
    connect(Image4, &QAbstractButton::clicked, this, &Form2::Image4_Click);
    connect(Image5, &QAbstractButton::clicked, this, &Form2::Image5_Click);
    connect(Label6, &QAbstractButton::clicked, this, &Form2::Label6_Click);
    connect(Label7, &QAbstractButton::clicked, this, &Form2::Label7_Click);
    connect(Label8, &QAbstractButton::clicked, this, &Form2::Label8_Click);

    m_paced = std::make_unique<PacedDisplay>(static_cast<InstallDisplay &>(*this));
    m_captions = std::make_unique<RunCaptions>(*m_paced);
    m_run = std::make_unique<InstallRun>(static_cast<RunObserver &>(*this), Program::prompts(),
                                         [this](const QString &line) { return m_runAndWait.run(line); });
    m_runAndWait.serve(*m_run, this);
    // A Windows setup that needs a restart: the user is asked whether to
    // restart Wine before the next program.
    m_run->setWineRestart(InstallRun::WineRestartMode::Ask);
}

Form2::~Form2() = default;

QObject *Form2::runAndWaitControl()
{
    if (!m_runAndWaitTried) {
        m_runAndWaitTried = true;
        ShellAndWait1 = ControlHost::instance().create(QStringLiteral("Project1.ShellAndWait"), this);
        m_runAndWait = HostedRunAndWait(ShellAndWait1);
        m_runAndWait.serve(*m_run, this);
    }
    return ShellAndWait1;
}

CommonDialogControl *Form2::commonDialog()
{
    if (!m_commonDialogTried) {
        m_commonDialogTried = true;
        CD1 = ControlHost::instance().create<CommonDialogControl>(ControlClass::CommonDialog, this);
        if (CD1) // the demo lists lie beside the program
            CD1->setInitDir(Folders::appDir() + QStringLiteral("/examples"));
    }
    return CD1;
}

void Navigation::showMainWindow() { Windows::show<Form2>(); }

void Navigation::enableMainWindow(bool enabled) { Windows::setEnabled<Form2>(enabled); }

void Form2::Form_Load()
{
    setBackground(appPicture(QStringLiteral("\\Top Menu2.jpg")));
    Image1->setPicture(appPicture(QStringLiteral("\\Exit.gif")));
    Image2->setPicture(appPicture(QStringLiteral("\\Point.gif")));
    Image3->setPicture(appPicture(QStringLiteral("\\Load.gif")));
    Image4->setPicture(appPicture(QStringLiteral("\\Install.gif")));
    Image5->setPicture(appPicture(QStringLiteral("\\Cancel.gif")));
    for (VbLabel *l : {Label1, Label2, Label3, Label4, Label5})
        l->setCaption(QString());
}

void Form2::Image1_Click() { Program::end(); }

void Form2::Image2_Click()
{
    hide();
    Navigation::showEditor();
}

void Form2::Image3_Click() { showLoaded(ListSequences::loadForInstalling(Program::prompts(), commonDialog())); }

void Form2::loadListFile(const QString &path)
{
    if (commonDialog())
        CD1->setFileName(path);
    showLoaded(ListSequences::loadFileForInstalling(path, Program::prompts()));
}

void Form2::showLoaded(const ListSequences::InstallLoad &load)
{
    if (!load.loaded)
        return;
    Label4->setCaption(QString());
    Label5->setCaption(QString());
    setBackground(appPicture(QStringLiteral("\\LoadedMenu.jpg")));
    Label1->setCaption(QStringLiteral("Title of your list :    ") + load.title);
    Globals::LoadedListText = load.text;
    Globals::LoadedLineCount = QString::number(load.lineCount);
    m_list = LoadedList::fromText(CD1 ? CD1->fileName() : QString(), load.text, load.lineCount);
    Label2->setCaption(QStringLiteral("Number of programs in the list :   ") + QString::number(load.lineCount - 1));
}

void Form2::Image4_Click()
{
    runAndWaitControl();
    m_run->install(m_list);
}

void Form2::Image5_Click()
{
    // Past the last program: the other windows see the run as ended.
    Globals::InstallIndex = qint16(Globals::LoadedLineCount.toInt());
    m_run->cancel();
}

void Form2::Label6_Click()
{
    Navigation::showAbout();
    setEnabled(false);
}

void Form2::Label7_Click()
{
    Navigation::showMainHelp();
    setEnabled(false);
}

void Form2::Label8_Click() { setWindowState(windowState() | Qt::WindowMinimized); }

PictureWindow::FrameClose Form2::queryUnload()
{
    // Exit takes no click during a run, nor while the help window or the about
    // box holds the window disabled; closing then would end the run unseen and
    // leave the rest of the list unstarted.
    if (!Image1->isEnabled())
        return FrameClose::Refuse;
    Program::end();
    return FrameClose::Hide;
}

void Form2::setButtonsEnabled(bool enabled)
{
    for (PictureButton *b : {Image2, Image3, Image4, Image1})
        b->setEnabled(enabled);
}

void Form2::setCancelVisible(bool visible) { Image5->setVisible(visible); }
void Form2::setModeText(const QString &text) { Label5->setCaption(text); }
void Form2::setRemainderText(const QString &text) { Label4->setCaption(text); }
void Form2::setCurrentFileText(const QString &text) { Label3->setCaption(text); }

void Form2::setProgressVisible(bool visible)
{
    if (PB1)
        PB1->widget()->setVisible(visible);
}

void Form2::setProgressMax(int max)
{
    if (PB1)
        PB1->setMax(max);
}

void Form2::setProgressValue(int value)
{
    if (PB1)
        PB1->setValue(value);
}

void Form2::runStarted(int programCount) { m_captions->runStarted(programCount); }

void Form2::programStarting(const ProgramStart &program)
{
    Globals::InstallIndex = qint16(program.index);
    m_captions->programStarting(program);
}

void Form2::waitingForAnotherInstallation(int secondsLeft) { m_captions->waitingForAnotherInstallation(secondsLeft); }
void Form2::waitingForLeftovers(const QList<LeftoverProcess> &processes) { m_captions->waitingForLeftovers(processes); }
void Form2::programEnded(const ProgramRecord &program) { m_captions->programEnded(program); }
void Form2::runEnded(const RunRecord &run) { m_captions->runEnded(run); }
void Form2::cancelPressed() { m_captions->cancelPressed(); }
