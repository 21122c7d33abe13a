// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The start-up check of the 21 support files in four stages: JPEG images, GIF
// images, control libraries, font. The window drives it with its timers and
// lends it its list, bar, label, buttons and search control.
#include <QString>
#include <QStringList>
#include <QtGlobal>

class CheckDisplay
{
public:
    virtual ~CheckDisplay() = default;
    // Appends to the list the bare name of every file under folder that
    // matches pattern; searchTotal counts them.
    virtual void search(const QString &folder, const QString &pattern, qint16 &searchTotal) = 0;
    virtual QStringList listedNames() const = 0;
    virtual void clearList() = 0;
    virtual void setProgressMax(int max) = 0;
    virtual void setProgressValue(int value) = 0;
    virtual void setStatusText(const QString &text) = 0;
    virtual void setNextEnabled(bool enabled) = 0;
    virtual void setNextVisible(bool visible) = 0;
    virtual void setExitVisible(bool visible) = 0;
    // Spaces out the steps of the bar.
    virtual void pause() = 0;
};

class SupportCheck
{
public:
    enum class Outcome { Checking, Ready, Failed };

    SupportCheck(CheckDisplay &display, const QString &appDir, const QString &systemDir);

    // The load step, what the window shows first: the names, the bar's first
    // maximum and the waiting text.
    void load();

    // The load step's image search, once; the window runs it after its first
    // paint, and stage 1 runs it first when it has not run yet.
    void searchImages();
    bool imagesSearched() const { return m_imagesSearched; }

    // The driver's tick: the stage whose timer is to be enabled now (1 to 4),
    // 0 for none.
    int stageToStart() const;

    // Runs one stage whole. Only the next stage in order runs; nothing runs
    // after a failed stage or the final success.
    void runStage(int stage);

    Outcome outcome() const { return m_outcome; }
    int failedStage() const { return m_failedStage; }
    QString fontsDir() const;

    // The required names of entries 1 to 21; 0 and 22 stay empty.
    QString RequestFiles[23];
    qint16 FoundCount = 0;
    qint16 CheckStage = 0;
    qint16 SearchTotal = 0;

    static QStringList requiredNames();
    static QString waitingText();
    static QString successText();
    static QString failureText(int stage);

private:
    CheckDisplay &m_display;
    QString m_appDir;
    QString m_systemDir;
    int m_barMax = 0;
    int m_barValue = 0;
    int m_stagesRun = 0; // the highest stage entered
    int m_failedStage = 0;
    bool m_imagesSearched = false;
    Outcome m_outcome = Outcome::Checking;
};
