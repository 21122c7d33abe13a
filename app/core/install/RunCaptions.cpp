// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/install/RunCaptions.h"

namespace {
const QChar CR(QLatin1Char('\r'));

QString currentFileText(const QString &line) { return QStringLiteral("The current file :") + CR + line; }
}

void RunCaptions::runStarted(int programCount)
{
    m_programs = programCount;
    m_ended = 0;
    m_display.setButtonsEnabled(false);
    m_display.setCancelVisible(true);
    m_display.setModeText(QStringLiteral("The program mode   :   Installing your programs"));
    m_display.setProgressValue(0);
    m_display.setProgressVisible(true);
    m_display.setProgressMax(programCount);
}

void RunCaptions::programStarting(const ProgramStart &program)
{
    m_line = program.line;
    // A new attempt of the same program only drops the wait's line.
    if (program.attempt == 1)
        m_display.setRemainderText(QStringLiteral("Remainder of programs installing :   ")
                                   + QString::number(m_programs - program.index + 1));
    m_display.setCurrentFileText(currentFileText(program.line));
}

QString anotherInstallationNote(int secondsLeft)
{
    return QStringLiteral("Another installation is in progress: trying again in %1 s").arg(secondsLeft);
}

QString leftoversNote(const QList<LeftoverProcess> &processes)
{
    // A service setup may leave many: the first few say what it is.
    constexpr qsizetype Named = 4;
    QStringList named;
    for (qsizetype i = 0; i < qMin(Named, processes.size()); ++i)
        named << QString::number(processes.at(i).pid) + QLatin1Char(' ') + processes.at(i).commandLine;
    QString note = QStringLiteral("waiting for processes the setup left running: ") + named.join(QStringLiteral(", "));
    if (processes.size() > Named)
        note += QStringLiteral(" and %1 more").arg(processes.size() - Named);
    return note;
}

void RunCaptions::waitingForLeftovers(const QList<LeftoverProcess> &processes)
{
    m_display.setCurrentFileText(currentFileText(m_line) + CR + leftoversNote(processes));
}

void RunCaptions::waitingForAnotherInstallation(int secondsLeft)
{
    m_display.setCurrentFileText(currentFileText(m_line) + CR + anotherInstallationNote(secondsLeft));
}

void RunCaptions::programEnded(const ProgramRecord &) { m_display.setProgressValue(++m_ended); }

void RunCaptions::runEnded(const RunRecord &run)
{
    m_display.setModeText(QStringLiteral("The program mode   :   Installing finished"));
    m_display.setCancelVisible(false);
    m_display.setButtonsEnabled(true);
    m_display.setRemainderText(QStringLiteral("Remainder of programs for installing  :   ")
                               + QString::number(run.programCount - run.programs.size()));
    m_display.setCurrentFileText(QString());
    m_display.setProgressVisible(false);
}

void RunCaptions::cancelPressed()
{
    m_display.setCancelVisible(false);
    m_display.setButtonsEnabled(true);
}
