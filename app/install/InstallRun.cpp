#include "install/InstallRun.h"

#include "common/Globals.h"
#include "common/Prompts.h"
#include "lists/ListFile.h"

namespace {
const QChar CR(QLatin1Char('\r'));

// The program line whose carriage return is the first one at or after from.
// Cut by the list's own ListItemAt, so the run starts exactly the line the list
// shows; handing it the text from here on keeps each step short on long lists.
QString itemAt(const QString &text, qsizetype from)
{
    const QString rest = QString::fromRawData(text.constData() + from, text.size() - from);
    const QString item = ListFile::ListItemAt(rest, 1);
    return QString(item.constData(), item.size()); // a copy: rest is only borrowed
}
}

InstallRun::InstallRun(InstallDisplay &display, Prompts &prompts, RunAndWait runAndWait)
    : m_display(display), m_prompts(prompts), m_runAndWait(std::move(runAndWait))
{
}

void InstallRun::install()
{
    if (Globals::LoadedListText.isEmpty()) {
        m_prompts.messageBox(QStringLiteral("You didn't load any list. !"),
                             QStringLiteral("Installing"), MsgIcon::Exclamation);
        return;
    }
    // After Cancel the buttons are back while the current program still runs;
    // a second run must not start inside the first.
    if (m_running) {
        m_prompts.messageBox(QStringLiteral("The cancelled run is still waiting for its current program to end.")
                                 + CR + QStringLiteral("Click Install again when it has ended."),
                             QStringLiteral("Installing"), MsgIcon::Information);
        return;
    }
    const int programs = Globals::LoadedLineCount.toInt() - 1;
    if (programs > MaxPrograms) {
        m_prompts.messageBox(QStringLiteral("This list holds %1 programs.").arg(programs) + CR
                                 + QStringLiteral("One run can install at most %1.").arg(MaxPrograms),
                             QStringLiteral("Installing"), MsgIcon::Exclamation);
        return;
    }
    m_running = true;
    // The run cuts its items from the list as it was when Install was pressed.
    const QString text = Globals::LoadedListText;

    m_display.setButtonsEnabled(false);
    m_display.setCancelVisible(true);
    m_display.setModeText(QStringLiteral("The program mode   :   Installing your programs"));

    qsizetype searchPos = 0; // 0-based here
    int progress = 0;
    m_display.setProgressValue(progress);
    m_display.setProgressVisible(true);
    m_display.setProgressMax(qMax(programs, 0));
    int remaining = programs;

    if (programs >= 1) {
        Globals::InstallIndex = 1;
        while (true) {
            const qsizetype p1 = text.indexOf(CR, searchPos);
            const QString item = itemAt(text, searchPos);

            m_display.setRemainderText(QStringLiteral("Remainder of programs installing :   ")
                                       + QString::number(remaining));
            m_display.setCurrentFileText(QStringLiteral("The current file :") + CR + item);

            const RunError error = m_runAndWait(item);
            if (error.number != 0) {
                m_prompts.messageBox(QString::number(error.number) + CR
                                         + QStringLiteral("An error appears.") + CR
                                         + QStringLiteral("Click on the button to continue.") + CR
                                         + error.description,
                                     QStringLiteral("Error"), MsgIcon::Exclamation);
            }

            m_display.setProgressValue(++progress);
            searchPos = p1 < 0 ? text.size() : p1 + 1;
            --remaining;
            const int next = int(Globals::InstallIndex) + 1;
            if (next > programs)
                break;
            Globals::InstallIndex = qint16(next);
        }
    }

    m_display.setModeText(QStringLiteral("The program mode   :   Installing finished"));
    m_display.setCancelVisible(false);
    m_display.setButtonsEnabled(true);
    m_display.setRemainderText(QStringLiteral("Remainder of programs for installing  :   ")
                               + QString::number(remaining));
    m_display.setCurrentFileText(QString());
    m_display.setProgressVisible(false);
    m_running = false;
}

void InstallRun::cancel()
{
    m_display.setCancelVisible(false);
    m_display.setButtonsEnabled(true);
    Globals::InstallIndex = qint16(Globals::LoadedLineCount.toInt());
}
