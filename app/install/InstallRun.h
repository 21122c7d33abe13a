#pragma once
// The install run: starts the programs of the loaded list one after another and
// waits for each to end. It knows the window only by the display operations below.
#include <QString>
#include <functional>

class Prompts;

class InstallDisplay
{
public:
    virtual ~InstallDisplay() = default;
    virtual void setButtonsEnabled(bool enabled) = 0; // Exit, Point, Load, Install
    virtual void setCancelVisible(bool visible) = 0;
    virtual void setModeText(const QString &text) = 0;        // Label5
    virtual void setRemainderText(const QString &text) = 0;   // Label4
    virtual void setCurrentFileText(const QString &text) = 0; // Label3
    virtual void setProgressVisible(bool visible) = 0;
    virtual void setProgressMax(int max) = 0;
    virtual void setProgressValue(int value) = 0;
};

struct RunError
{
    int number = 0; // 0: the program was started and has ended
    QString description;
};

// Starts one command line and returns when the program has ended.
using RunAndWait = std::function<RunError(const QString &commandLine)>;

class InstallRun
{
public:
    // InstallIndex is 16-bit and Cancel sets it to the program count plus one.
    static constexpr int MaxPrograms = 32766;

    InstallRun(InstallDisplay &display, Prompts &prompts, RunAndWait runAndWait);

    void install(); // Install: the whole run; returns when it has ended
    void cancel();  // Cancel: takes effect when the current program has ended

    bool isRunning() const { return m_running; }

private:
    InstallDisplay &m_display;
    Prompts &m_prompts;
    RunAndWait m_runAndWait;
    bool m_running = false;
};
