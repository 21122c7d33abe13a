#pragma once
// The side-by-side manifest beside the program that gives its windows the
// themed common controls. A manifest only counts when a process starts, so
// after writing one the program can start itself again and end this instance.
#include <QString>
#include <QStringList>
#include <functional>

namespace WinXpStyle {

// Everything the routine reaches outside itself; tests replace any of it.
struct Environment
{
    QString appDir;        // folder the manifest goes to
    QString programName;   // program file name without extension
    QString programFile;   // the file a restart starts
    QStringList arguments; // this instance's arguments, without the program
    QString version;       // "1.0.0.0"
    QString description;   // the program's file description
    // Starts a new instance without waiting; false when it could not start.
    std::function<bool(const QString &program, const QStringList &arguments)> startNewInstance;
    // Ends this instance at once.
    std::function<void()> endNow;
};

// The running program's own: application folder, file name, the arguments it
// was started with, its version and description; starting detached and ending
// at once.
Environment defaultEnvironment();

// Qt takes its own options (-platform, -style, ...) out of argv when the
// application object is built; call this before that so a restart hands the
// new instance exactly what this one was given.
void rememberArguments(int argc, char **argv);

// The 22 lines with their placeholders, CR LF after each.
QString templateText();

// The template with EXENAME, EXEVERSION and EXEDESCRIBTION replaced, in that order.
QString manifestText(const QString &exeName, const QString &version, const QString &description);

// "<name>.exe.manifest" in the given folder.
QString manifestPath(const QString &appDir, const QString &programName);

// The themed common controls need no initialising here; kept so the start-up
// sequence reads as it does on the original platform.
void InitCommonControls();

// True when a manifest was present on entry (rewritten or not), false when this
// call created it. With RestartAfterWrite, ForceRewrite is set to false first,
// and a successful write starts a new instance and ends this one.
bool EnsureStyleManifest(bool &RestartAfterWrite, bool &ForceRewrite);
bool EnsureStyleManifest(bool &RestartAfterWrite, bool &ForceRewrite, const Environment &env);

}
