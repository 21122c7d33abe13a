// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/startup/Form4.h"

#include "ControlContract.h"
#include "FolderSearchControl.h"
#include "ProgressBarControl.h"
#include "core/common/Folders.h"
#include "core/common/Seams.h"
#include "core/controls/ControlHost.h"
#include "core/startup/WinXpStyle.h"
#include "windows/install/Form2.h"
#include "windows/ui/Program.h"
#include "windows/ui/Twips.h"
#include "windows/ui/Windows.h"

#include <QPalette>
#include <QPushButton>
#include <QThread>
#include <QTimer>

namespace {
QTimer *timer(QObject *parent, int interval)
{
    auto *t = new QTimer(parent);
    t->setInterval(interval);
    return t;
}

// Enabling a timer that runs already keeps its interval going.
void enable(QTimer *t)
{
    if (!t->isActive())
        t->start();
}
}

Form4::Form4()
{
    setWindowTitle(QStringLiteral("Searching Reguest Files"));
    centreOnScreen(this, 6000, 4500);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);

    ControlHost &host = ControlHost::instance();
    PB1 = host.create<ProgressBarControl>(ControlClass::ProgressBar, this);
    if (PB1) {
        PB1->widget()->setGeometry(twRect(720, 1920, 1455, 255));
        PB1->setMin(0);
    }

    Label1 = new VbLabel(this);
    Label1->setGeometry(twRect(720, 2280, 3255, 855));

    Command1 = new QPushButton(QStringLiteral("Next"), this);
    Command1->setGeometry(twRect(4560, 3600, 1095, 375));
    Command1->setEnabled(false);
    Command2 = new QPushButton(QStringLiteral("Exit"), this);
    Command2->setGeometry(twRect(4560, 3600, 1095, 375));
    Command2->hide();

    List1 = new VbRowList(this);
    List1->setGeometry(twRect(3720, 1920, 1935, 255));
    List1->hide();

    setTabOrder(Command1, Command2);
    setTabOrder(Command2, List1);
    setTabOrder(List1, Label1);
    if (PB1)
        setTabOrder(Label1, PB1->widget());

    Timer1 = timer(this, 100);
    Timer2 = timer(this, 100);
    Timer3 = timer(this, 100);
    Timer4 = timer(this, 100);
    Timer5 = timer(this, 20);

    connect(Timer1, &QTimer::timeout, this, &Form4::Timer1_Timer);
    connect(Timer2, &QTimer::timeout, this, &Form4::Timer2_Timer);
    connect(Timer3, &QTimer::timeout, this, &Form4::Timer3_Timer);
    connect(Timer4, &QTimer::timeout, this, &Form4::Timer4_Timer);
    connect(Timer5, &QTimer::timeout, this, &Form4::Timer5_Timer);
    connect(Command1, &QPushButton::clicked, this, &Form4::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form4::Command2_Click);

    m_check =
            std::make_unique<SupportCheck>(static_cast<CheckDisplay &>(*this), Folders::appDir(), Folders::systemDir());
}

Form4::~Form4() = default;

void Form4::Form_Initialize()
{
    WinXpStyle::Environment env = WinXpStyle::defaultEnvironment();
    env.endNow = [] { Program::end(); };
    bool restartAfterWrite = true;
    bool forceRewrite = false;
    WinXpStyle::EnsureStyleManifest(restartAfterWrite, forceRewrite, env);
}

void Form4::Form_Load()
{
    // Drawn before anything else and let go at Next: held as it draws fastest.
    setBackground(appPicture(QStringLiteral("\\Begining.jpg"), PictureForm::Screen));
    m_check->load();
    Timer1->start();
    Timer5->start();
}

void Form4::paintEvent(QPaintEvent *event)
{
    PictureWindow::paintEvent(event);
    // The image search and the search control it needs wait until the window
    // is on the screen; stage 1 runs the search itself if it comes first.
    if (!m_painted) {
        m_painted = true;
        QMetaObject::invokeMethod(
                this,
                [this] {
                    emit firstPainted();
                    m_searchingImages = true;
                    m_check->searchImages();
                    m_searchingImages = false;
                },
                Qt::QueuedConnection);
    }
}

void Form4::showEvent(QShowEvent *event)
{
    if (m_released) {
        m_released = false;
        setBackground(appPicture(QStringLiteral("\\Begining.jpg"), PictureForm::Screen));
    }
    PictureWindow::showEvent(event);
}

void Form4::createSearchControl()
{
    auto *search = ControlHost::instance().create<FolderSearchControl>(ControlClass::FolderSearch, this);
    if (!search)
        return;
    QWidget *face = search->widget();
    face->setGeometry(twRect(2760, 3720, 735, 615));
    face->hide();
    QuarryBox1 = face;
    if (PB1)
        setTabOrder(PB1->widget(), face);
}

void Form4::Timer5_Timer()
{
    switch (m_check->stageToStart()) {
    case 1: enable(Timer1); break;
    case 2: enable(Timer2); break;
    case 3: enable(Timer3); break;
    case 4: enable(Timer4); break;
    default: break;
    }
}

void Form4::Timer1_Timer() { runStage(Timer1, 1); }
void Form4::Timer2_Timer() { runStage(Timer2, 2); }
void Form4::Timer3_Timer() { runStage(Timer3, 3); }
void Form4::Timer4_Timer() { runStage(Timer4, 4); }

void Form4::runStage(QTimer *t, int stage)
{
    // A message box of the image search lets the stage's timer fire before
    // the search is over: the stage waits for the timer's next turn.
    if (m_searchingImages)
        return;
    // Off before the stage runs: a message box of the search control would
    // otherwise let this timer fire again inside the stage.
    t->stop();
    m_check->runStage(stage);
    if (m_check->outcome() == SupportCheck::Outcome::Checking) {
        // The next stage's timer goes on now rather than at the driver's next tick.
        Timer5_Timer();
    } else {
        // Nothing is left for the driver to start: it sleeps from here on.
        Timer5->stop();
    }
}

void Form4::Command1_Click()
{
    hide();
    // Hidden for the rest of the run: its picture goes at once, its window
    // and the pixels behind it once this click is over, before the main
    // window paints.
    setBackground(QPixmap());
    m_released = true;
    QMetaObject::invokeMethod(
            this,
            [this] {
                if (!isVisible())
                    destroy();
            },
            Qt::QueuedConnection);
    Form2 *main = Windows::show<Form2>();
    const QString list = Program::takeListToOpen();
    if (!list.isEmpty())
        main->loadListFile(list);
}

void Form4::Command2_Click() { Program::end(); }

PictureWindow::FrameClose Form4::queryUnload()
{
    Program::end();
    return FrameClose::Hide;
}

void Form4::search(const QString &folder, const QString &pattern, qint16 &searchTotal)
{
    if (!m_searchControlTried) {
        m_searchControlTried = true;
        createSearchControl();
    }
    QString path = folder;
    QString searchStr = pattern;
    callFindFiles(QuarryBox1, DispId::FindFiles2, path, searchStr, searchTotal, List1, nullptr);
}

QStringList Form4::listedNames() const { return List1->rows(); }
void Form4::clearList() { List1->Clear(); }

void Form4::setProgressMax(int max)
{
    if (PB1)
        PB1->setMax(max);
}

void Form4::setProgressValue(int value)
{
    if (PB1)
        PB1->setValue(value);
}

void Form4::setStatusText(const QString &text) { Label1->setCaption(text); }
void Form4::setNextEnabled(bool enabled) { Command1->setEnabled(enabled); }
void Form4::setNextVisible(bool visible) { Command1->setVisible(visible); }
void Form4::setExitVisible(bool visible) { Command2->setVisible(visible); }

void Form4::pause()
{
    // The window does not respond during a stage; a plain sleep keeps it so.
    const int ms = Seams::pauseMs();
    if (ms > 0)
        QThread::msleep(ms);
}
