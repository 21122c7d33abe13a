// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/startup/SupportCheck.h"

#include "core/common/Folders.h"

namespace {
enum class Where { App, System, Fonts };

struct Stage
{
    qint16 entryValue; // -1: none (stage 1 leaves CheckStage at 0 while it runs)
    Where where;
    const char *pattern;
    int barMax;
    int first, last; // entries of RequestFiles
    int required;
    qint16 successValue;
};

const Stage Stages[4] = {
        {-1, Where::App, "*.jpg", 6, 1, 6, 6, 1},
        {2, Where::App, "*.gif", 8, 7, 14, 8, 3},
        {4, Where::System, "*.ocx", 5, 15, 20, 6, 5},
        {6, Where::Fonts, "*.ttf", 1, 21, 21, 1, 6},
};

QString withSeparator(const QString &folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}
}

QStringList SupportCheck::requiredNames()
{
    return {
            QStringLiteral("Dialog1.jpg"),      QStringLiteral("Help and Support.jpg"),
            QStringLiteral("LoadedMenu.jpg"),   QStringLiteral("Top Menu2.jpg"),
            QStringLiteral("Begining.jpg"),     QStringLiteral("Good.jpg"),
            QStringLiteral("busy.gif"),         QStringLiteral("Cancel.gif"),
            QStringLiteral("exit.gif"),         QStringLiteral("install.gif"),
            QStringLiteral("Load.gif"),         QStringLiteral("MOBSYNC.gif"),
            QStringLiteral("Point.gif"),        QStringLiteral("Search Drive.gif"),
            QStringLiteral("ShellAndWait.ocx"), QStringLiteral("AnimatedGif.ocx"),
            QStringLiteral("Quarrydex.ocx"),    QStringLiteral("COMCTL32.OCX"),
            QStringLiteral("COMDLG32.OCX"),
            QStringLiteral("PopupMenu.ocx"), // the item popup menu control's library
            QStringLiteral("seguibk.ttf"),
    };
}

QString SupportCheck::waitingText() { return QStringLiteral("Searching for request files.\rPlease wait ...."); }

QString SupportCheck::successText() { return QStringLiteral("Loading successful.\rClick on the next button to skip."); }

QString SupportCheck::failureText(int stage)
{
    return QStringLiteral("Some files doesn't exist.\rPlease reinstall.\rError number : ") + QString::number(stage);
}

SupportCheck::SupportCheck(CheckDisplay &display, const QString &appDir, const QString &systemDir)
    : m_display(display), m_appDir(appDir), m_systemDir(systemDir)
{
}

QString SupportCheck::fontsDir() const { return Folders::fontsDirOf(m_systemDir); }

void SupportCheck::load()
{
    const QStringList names = requiredNames();
    for (int i = 0; i < names.size(); ++i)
        RequestFiles[i + 1] = names[i];
    m_barMax = Stages[0].barMax;
    m_display.setProgressMax(m_barMax);
    m_display.setStatusText(waitingText());
}

void SupportCheck::searchImages()
{
    if (m_imagesSearched)
        return;
    m_imagesSearched = true;
    m_display.search(withSeparator(m_appDir), QStringLiteral("*.jpg"), SearchTotal);
}

int SupportCheck::stageToStart() const
{
    switch (CheckStage) {
    case 0:
        // Stage 1 sets no value of its own: once entered it is never started again.
        return m_stagesRun == 0 ? 1 : 0;
    case 1: return 2;
    case 3: return 3;
    case 5: return 4;
    default: return 0;
    }
}

void SupportCheck::runStage(int stage)
{
    if (stage < 1 || stage > 4 || m_outcome != Outcome::Checking || stage != m_stagesRun + 1)
        return;
    m_stagesRun = stage;
    const Stage &s = Stages[stage - 1];

    if (s.entryValue >= 0)
        CheckStage = s.entryValue;
    if (stage == 1) {
        searchImages();
    } else {
        const QString folder = s.where == Where::App ? m_appDir : s.where == Where::System ? m_systemDir : fontsDir();
        m_display.search(withSeparator(folder), QLatin1String(s.pattern), SearchTotal);
        m_barMax = s.barMax;
        m_display.setProgressMax(m_barMax);
    }

    const QStringList listed = m_display.listedNames();
    for (int i = s.first; i <= s.last; ++i) {
        for (const QString &entry : listed) {
            if (entry.compare(RequestFiles[i], Qt::CaseInsensitive) != 0)
                continue;
            ++FoundCount;
            if (m_barMax > m_barValue) {
                m_display.pause();
                m_display.setProgressValue(++m_barValue);
            }
            break; // a name listed several times counts once
        }
    }

    if (FoundCount == s.required) {
        FoundCount = 0;
        m_display.clearList();
        if (stage < 4) {
            m_barValue = 0;
            m_display.setProgressValue(0);
            CheckStage = s.successValue;
        } else {
            m_display.setStatusText(successText());
            m_display.setNextEnabled(true);
            m_outcome = Outcome::Ready;
        }
    } else {
        m_display.setStatusText(failureText(stage));
        m_display.setNextVisible(false);
        m_display.setExitVisible(true);
        m_failedStage = stage;
        m_outcome = Outcome::Failed;
    }
}
