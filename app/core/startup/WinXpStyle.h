// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The side-by-side manifest beside the program that gives its windows the
// themed common controls. A manifest only counts when a process starts, so
// after writing one the program can start itself again and end this instance.
#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

namespace WinXpStyle {

// Everything the routine reaches outside itself; tests replace any of it.
struct Environment
{
    QString appDir;      // folder the manifest goes to
    QString programName; // program file name without extension
    QString programFile; // the file a restart starts
    // This instance's arguments, without the program, as the bytes it was
    // given: an argument that is not valid UTF-8 reaches the new one unchanged.
    QList<QByteArray> arguments;
    QString version;     // "1.0.0.0"
    QString description; // the program's file description
    // Starts a new instance without waiting; false when it could not start.
    std::function<bool(const QString &program, const QList<QByteArray> &arguments)> startNewInstance;
    // Ends this instance at once.
    std::function<void()> endNow;
};

// The running program's own: application folder, file name, the arguments it
// was started with, its version and description; starting without waiting and
// ending at once. Names that are not valid UTF-8 are kept as FileNameCodec
// keeps them.
Environment defaultEnvironment();

// Starts the program with these argument bytes exactly, without waiting and
// without a shell; false when it could not be started.
bool startProgram(const QString &program, const QList<QByteArray> &arguments);

// Writes the bytes to the path whole or not at all: a temporary beside it is
// written, flushed and synced to disk, then renamed over the path; on any
// failure the temporary is removed and the path is left as it was.
bool writeWholeFile(const QString &path, const QByteArray &bytes);

// Qt takes its own options (-platform, -style, ...) out of argv when the
// application object is built, and decodes the rest as UTF-8; call this before
// that so a restart hands the new instance exactly the bytes this one was given.
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
